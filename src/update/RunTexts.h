#pragma once

namespace update {

// The messages of an update run, German and English, indexed by language
// (0 German, 1 English). Latin-1. Texts that exist in German only carry the
// same text twice. "\r\n" is a line break; the markers NAME, DATEI and
// COM X are filled in by FillPlaceholders.
enum class RunText {
  NoDeviceFound,
  SecondFailure,
  BslHintSuffix,
  CaptionInfo,
  CaptionError,
  Programming,
  StoringData,
  BottlexNotInUpdateMode,
  WrongDevice,
  WrongDeviceDetail,
  NoDigitalSensor,
  InstrumentNewerBox,
  InstrumentNewerDetail,
  SameVersion,
  SensorWarning,
  StepNotAvailable,
  BootLoaderFrameSeen,
  BootLoaderByteSeen,
  DurationEstimate,
  DownloadSucceeded,
  LoaderNotAvailable,
  LoaderError,
  kCount
};

const char* Text(RunText id, int language);

}  // namespace update
