#include "update/RunTexts.h"

#include <array>
#include <cstddef>

#include "update/Latin1Literal.h"

namespace update {

namespace {

struct TextPair {
  const char* german;
  const char* english;
};

constexpr std::array<TextPair, static_cast<size_t>(RunText::kCount)> kRunTexts{{
    // NoDeviceFound
    {u8"Kein Gerät gefunden !!\r\nIst das Gerät auch richtig angeschlossen und eingeschalten ?\r"
     u8"Automatische Suche wiederholen mit Ok"_latin1,
     "No device found !!\r\nIs the meter correctly connected an switched on?\rRepeat automatic search with "
     "Ok"},
    // SecondFailure
    {"Kein NAME gefunden !!\r\nProgramm wird abgebrochen !!", "No NAME found !!\r\nProgram is aborted !!"},
    // BslHintSuffix
    {u8"Bestätigen Sie dies danach mit dem Ok-Button!\r\n"_latin1, "Confirm with the Ok-button!\r\n"},
    // CaptionInfo, CaptionError
    {"Info", "Info"},
    {"Fehler", "Error"},
    // Programming
    {"NAME wird programmiert !!\r\n\r\n", "Programming NAME !!\r\n\r\n"},
    // StoringData
    {"Neue Daten werden gespeichert !!\r\nBitte warten ...\r\n", "Store new data !!\r\nPlease wait ...\r\n"},
    // BottlexNotInUpdateMode: German only
    {"kein Bottlex erkannt!!\rim Bottlex unter Service->Update-Mode aktivieren.",
     "kein Bottlex erkannt!!\rim Bottlex unter Service->Update-Mode aktivieren."},
    // WrongDevice, WrongDeviceDetail
    {u8"Falsches Gerät angeschlossen !!"_latin1, "Wrong device connected !!"},
    {u8"Der Download ist für ein NAME !\r\nSie haben ein falsches Gerät angeschlossen oder verwenden ein "
     u8"falsches Downloadprogramm."_latin1,
     "Download is for an NAME !\r\nWrong device connected or wrong download program used."},
    // NoDigitalSensor: German only
    {"kein digitaler Sensor angeschlossen ?\r\n\r\nTrotzdem fortfahren ?",
     "kein digitaler Sensor angeschlossen ?\r\n\r\nTrotzdem fortfahren ?"},
    // InstrumentNewerBox, InstrumentNewerDetail
    {u8"keine gültige Software-Version !!"_latin1, "No valid software version !!"},
    {u8"Die Software-VersionX in Ihrem Gerät ist aktueller als die, die das Downloadprogramm anbietet."_latin1,
     "The software versionX in your device is more up to date then the download program can provide."},
    // SameVersion
    {u8"Die aktuelle Software-VersionX ist schon im Gerät.\r\nWollen Sie trotzdem den Download fortsetzen ?"_latin1,
     "The latest software versionX is already in device.\r\nDo you want to continue the download "
     "nevertheless?"},
    // SensorWarning
    {u8"Die Software für die Sensoridentifizierung kann über die RS232 Schnittstelle nicht aktuallisiert "
     u8"werden! (nur über USB)\r\nWollen Sie trotzdem den Download für die Gerätesoftware fortsetzen ?"_latin1,
     "The software for sensor identification cannot be actualized via RS232 Interface! (Only via USB)\r\n"
     "Do you want to continue the download for the instruments software nevertheless?"},
    // StepNotAvailable: the run stops at a step this version does not have
    // yet; CODE is the step's number.
    {u8"Der Schritt CODE ist in dieser Version noch nicht verfügbar. Der Lauf wird beendet; "
     u8"neuer Versuch mit Ok.\r\n"_latin1,
     "Step CODE is not available in this version yet. The run ends here; try again with Ok.\r\n"},
    // BootLoaderFrameSeen, BootLoaderByteSeen: CODE is the loader's text or byte.
    {u8"NAME wartet im Boot-Loader (CODE). Das Programmieren aus dem Boot-Loader ist in dieser Version "
     u8"noch nicht verfügbar.\r\n"_latin1,
     "NAME waits in its boot loader (CODE). Programming from the boot loader is not available in this "
     "version yet.\r\n"},
    {u8"Ein Gerät hat sich aus dem Boot-Loader gemeldet (Byte CODE). Das Programmieren aus dem Boot-Loader "
     u8"ist in dieser Version noch nicht verfügbar.\r\n"_latin1,
     "An instrument answered from its boot loader (byte CODE). Programming from the boot loader is not "
     "available in this version yet.\r\n"},
    // DurationEstimate: the first X becomes the minutes.
    {"Der Download kann bis zu X Minuten dauern!\r\n\r\n", "The download may last up to X minutes !\r\n\r\n"},
    // DownloadSucceeded
    {u8"--------------------\r\nDownload erfolgreich ausgeführt !\r\n\r\nTrennen Sie das NAME von der "
     u8"Schnittstelle COM X.\r\n\r\nBeenden Sie das Windows-Programm unter Datei/Beenden."_latin1,
     "--------------------\r\nDownload successfully completed !\r\n\r\nDisconnect the NAME from the COM X "
     "port.\r\n\r\nExit the Windows program under File/Exit."},
    // LoaderNotAvailable, LoaderError: the bootstrap loaders' error box
    {u8"Bootloader im Zielgerät nicht verfügbar!!  Programmierung wurde abgebrochen."_latin1,
     "bootloader in target not available!!  Programming abort."},
    {"Fehler im Bootloader !!  Programmierung wurde abgebrochen.",
     "Error in bootloader !!  Programming abort."},
}};

}  // namespace

const char* Text(RunText id, int language) {
  const TextPair& pair = kRunTexts[static_cast<size_t>(id)];
  return language == 1 ? pair.english : pair.german;
}

}  // namespace update
