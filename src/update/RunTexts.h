#pragma once

#include "core/BilingualText.h"
#include "update/Latin1Literal.h"

// The texts the update layer shows, German and English, Latin-1. "\r\n" is
// a line break; the markers NAME, DATEI and COM X are filled in by
// FillPlaceholders, X and CODE where a text says so.
namespace update::texts {

using core::BilingualText;

// --- start-up; the language is not known yet, so these are German only
inline constexpr auto kConfigFile1Missing =
    BilingualText::GermanOnly("Konfigurationsdatei 1 nicht vorhanden!!Programm wird beendet");
inline constexpr auto kConfigFile2Missing =
    BilingualText::GermanOnly("Konfigurationsdatei 2 nicht vorhanden!!Programm wird beendet");
inline constexpr auto kCaptionConfigMissing = BilingualText::GermanOnly("Error");

// --- captions of the message boxes
inline constexpr BilingualText kCaptionInfo{"Info", "Info"};
inline constexpr BilingualText kCaptionError{"Fehler", "Error"};

// --- the window
inline constexpr BilingualText kUpdateReady{"Update [beendet]", "Update [ready]"};
// What NAME stands for while no instrument is known.
inline constexpr BilingualText kDefaultDeviceName{u8"Gerät"_latin1, "device"};

// --- the device search
inline constexpr BilingualText kNoDeviceFound{
    u8"Kein Gerät gefunden !!\r\nIst das Gerät auch richtig angeschlossen und eingeschalten ?\r"
    u8"Automatische Suche wiederholen mit Ok"_latin1,
    "No device found !!\r\nIs the meter correctly connected an switched on?\rRepeat automatic search with "
    "Ok"};
inline constexpr BilingualText kSecondFailure{"Kein NAME gefunden !!\r\nProgramm wird abgebrochen !!",
                                              "No NAME found !!\r\nProgram is aborted !!"};
// Appended to the second line of the package's abort text.
inline constexpr BilingualText kBslHintSuffix{u8"Bestätigen Sie dies danach mit dem Ok-Button!\r\n"_latin1,
                                              "Confirm with the Ok-button!\r\n"};
inline constexpr auto kBottlexNotInUpdateMode =
    BilingualText::GermanOnly("kein Bottlex erkannt!!\rim Bottlex unter Service->Update-Mode aktivieren.");

// --- the download decision
inline constexpr BilingualText kWrongDevice{u8"Falsches Gerät angeschlossen !!"_latin1,
                                            "Wrong device connected !!"};
inline constexpr BilingualText kWrongDeviceDetail{
    u8"Der Download ist für ein NAME !\r\nSie haben ein falsches Gerät angeschlossen oder verwenden ein "
    u8"falsches Downloadprogramm."_latin1,
    "Download is for an NAME !\r\nWrong device connected or wrong download program used."};
inline constexpr auto kNoDigitalSensor =
    BilingualText::GermanOnly("kein digitaler Sensor angeschlossen ?\r\n\r\nTrotzdem fortfahren ?");
inline constexpr BilingualText kInstrumentNewerBox{u8"keine gültige Software-Version !!"_latin1,
                                                   "No valid software version !!"};
// X: the instrument's version.
inline constexpr BilingualText kInstrumentNewerDetail{
    u8"Die Software-VersionX in Ihrem Gerät ist aktueller als die, die das Downloadprogramm anbietet."_latin1,
    "The software versionX in your device is more up to date then the download program can provide."};
inline constexpr BilingualText kSameVersion{
    u8"Die aktuelle Software-VersionX ist schon im Gerät.\r\nWollen Sie trotzdem den Download fortsetzen ?"_latin1,
    "The latest software versionX is already in device.\r\nDo you want to continue the download "
    "nevertheless?"};
inline constexpr BilingualText kSensorWarning{
    u8"Die Software für die Sensoridentifizierung kann über die RS232 Schnittstelle nicht aktuallisiert "
    u8"werden! (nur über USB)\r\nWollen Sie trotzdem den Download für die Gerätesoftware fortsetzen ?"_latin1,
    "The software for sensor identification cannot be actualized via RS232 Interface! (Only via USB)\r\n"
    "Do you want to continue the download for the instruments software nevertheless?"};

// --- the download
inline constexpr BilingualText kProgramming{"NAME wird programmiert !!\r\n\r\n",
                                            "Programming NAME !!\r\n\r\n"};
inline constexpr BilingualText kStoringData{"Neue Daten werden gespeichert !!\r\nBitte warten ...\r\n",
                                            "Store new data !!\r\nPlease wait ...\r\n"};
// X: the minutes.
inline constexpr BilingualText kDurationEstimate{"Der Download kann bis zu X Minuten dauern!\r\n\r\n",
                                                 "The download may last up to X minutes !\r\n\r\n"};
inline constexpr BilingualText kDownloadSucceeded{
    u8"--------------------\r\nDownload erfolgreich ausgeführt !\r\n\r\nTrennen Sie das NAME von der "
    u8"Schnittstelle COM X.\r\n\r\nBeenden Sie das Windows-Programm unter Datei/Beenden."_latin1,
    "--------------------\r\nDownload successfully completed !\r\n\r\nDisconnect the NAME from the COM X "
    "port.\r\n\r\nExit the Windows program under File/Exit."};
// The bootstrap loaders' error box.
inline constexpr BilingualText kLoaderNotAvailable{
    u8"Bootloader im Zielgerät nicht verfügbar!!  Programmierung wurde abgebrochen."_latin1,
    "bootloader in target not available!!  Programming abort."};
inline constexpr BilingualText kLoaderError{"Fehler im Bootloader !!  Programmierung wurde abgebrochen.",
                                            "Error in bootloader !!  Programming abort."};

// --- the extra files; CODE is the file's name as the package names it. These
// boxes name a file and do not pass through FillPlaceholders.
inline constexpr BilingualText kExtraFile{"Die Zusatzdatei ", "The extra file "};
// Follows the reason of a file that is too large; CODE: the limit.
inline constexpr BilingualText kExtraFileLimit{u8" (höchstens CODE Bytes)"_latin1, " (at most CODE bytes)"};
inline constexpr BilingualText kExtraFileNoAnswer{
    u8"Das Gerät antwortet nicht mehr beim Empfang der Zusatzdatei CODE. Die Übertragung wurde "
    u8"abgebrochen."_latin1,
    "The instrument stopped answering while receiving the extra file CODE. The transfer was aborted."};
inline constexpr BilingualText kExtraFileRefused{u8"Das Gerät hat die Zusatzdatei CODE abgelehnt."_latin1,
                                                 "The instrument refused the extra file CODE."};
inline constexpr BilingualText kExtraFileCancelled{
    u8"Die Übertragung der Zusatzdatei CODE wurde abgebrochen."_latin1,
    "The transfer of the extra file CODE was cancelled."};

// --- steps this version does not have yet; CODE is the step's number, or
// the loader's text or byte
inline constexpr BilingualText kStepNotAvailable{
    u8"Der Schritt CODE ist in dieser Version noch nicht verfügbar. Der Lauf wird beendet; "
    u8"neuer Versuch mit Ok.\r\n"_latin1,
    "Step CODE is not available in this version yet. The run ends here; try again with Ok.\r\n"};
inline constexpr BilingualText kBootLoaderFrameSeen{
    u8"NAME wartet im Boot-Loader (CODE). Das Programmieren aus dem Boot-Loader ist in dieser Version "
    u8"noch nicht verfügbar.\r\n"_latin1,
    "NAME waits in its boot loader (CODE). Programming from the boot loader is not available in this "
    "version yet.\r\n"};
inline constexpr BilingualText kBootLoaderByteSeen{
    u8"Ein Gerät hat sich aus dem Boot-Loader gemeldet (Byte CODE). Das Programmieren aus dem Boot-Loader "
    u8"ist in dieser Version noch nicht verfügbar.\r\n"_latin1,
    "An instrument answered from its boot loader (byte CODE). Programming from the boot loader is not "
    "available in this version yet.\r\n"};

}  // namespace update::texts
