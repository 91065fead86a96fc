#include "programmers/T_BSL430.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/EventHandler.h"
#include "programmers/BslFrames.h"
#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

namespace programmers {
namespace {

constexpr uint8_t kFiller = 0x58;  // "X": a byte the loader ignores
constexpr const char* kAsk[3] = {"A.5577\r\n", "A.5555\r\n", "A.5555\r\n"};
constexpr const char* kHandOver[3] = {"A.5588#QT48\r\n", "A.5566#QT48\r\n", "A.5567#QT48\r\n"};
constexpr uint32_t kPurgeRx = 0x0008;  // PURGE_RXCLEAR

size_t BlockEnd(const ImageBlock16& b) {
  return size_t{b.address} + b.DataLength();
}

}  // namespace

T_BSL430::T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                   serial::TComPort& port)
    : T_BSL430(form, delay, deviceRecord, port, RunConstants{kFileLimit, 8000, 2000}) {}

T_BSL430::T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                   serial::TComPort& port, const RunConstants& constants)
    : TProgrammerTyp(form, delay, deviceRecord, port), m_run(constants) {}

T_BSL430::~T_BSL430() {
  if (m_subscribed) m_form.Events().Unsubscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
}

int32_t T_BSL430::ReadHexWord(const char* text) {
  if (!text) return 0;
  while (*text == ' ') ++text;
  return static_cast<int32_t>(std::strtoul(text, nullptr, 16) & 0xFFFF);
}

bool T_BSL430::SendCommand(const std::string& text) {
  m_port.Write(text.c_str(), -1, false);
  m_form.LogLine(text);
  return true;
}

template <class Image>
bool T_BSL430::LoadAnyImage(const std::string& fileName, Image& image, size_t limit) {
  std::string content, error;
  if (!ReadPackageFile(fileName, limit, content, error)) {
    m_form.ShowErrorBox(error, "Error");
    return false;
  }
  ReadTiTxt(content, image);
  // The patch is a RAM program: it brings no reset vector.
  const bool patch = static_cast<const void*>(&image) == &m_patchImage;
  const ImageRefusal refusal =
      CheckImageForProgramming(image, patch ? ImageUse::kRamProgram : ImageUse::kFirmware);
  if (refusal != ImageRefusal::kNone) {
    m_form.ShowErrorBox(ImageRefusalText(refusal, fileName, m_form.Language(), image), "Error");
    return false;
  }
  return true;
}

bool T_BSL430::LoadImage(const std::string& fileName, FirmwareImage16& image, size_t limit) {
  return LoadAnyImage(fileName, image, limit);
}

bool T_BSL430::LoadImage(const std::string& fileName, FirmwareImage32& image, size_t limit) {
  return LoadAnyImage(fileName, image, limit);
}

bool T_BSL430::ReadImage(const std::string& fileName) {
  if (!LoadImage(fileName, m_image, m_run.fileLimit)) return false;
  m_lastBlock = m_image.LastIndex;
  m_firstUpper = m_image.FirstUpper;
  m_lastUpper = m_image.LastUpper;
  return true;
}

bool T_BSL430::Program(const std::string& fileName) {
  m_loaderMode = std::clamp(m_deviceRecord.LoaderMode, 0, 2);
  m_askVector = m_deviceRecord.AskResetVector;
  m_form.ReportProgress(0, 0);
  m_blockIndex = 0;
  m_failed = false;
  // A file that cannot be used fails the run before anything is sent.
  if (!ReadImage(fileName)) return false;
  m_progressMax = 8 + 4 * m_lastBlock + 4;
  m_form.ReportProgress(2, m_progressMax);

  m_form.Events().Subscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
  m_subscribed = true;
  m_port.SaveLastV24Parameter();
  m_timerSlot = m_form.Slots().StartSlot(kGuardMs);
  m_failed = false;
  m_finished = false;
  m_form.ReportProgress(10, -1);

  if (m_deviceRecord.AlreadyInLoader)
    StartInLoader();
  else
    SendCommand("A.1000\r\n");

  RunEventLoop(m_finished);

  m_form.ReportProgress(10, -1);
  if (m_deviceRecord.RestoreSlowParameters && !m_failed)
    m_port.ChangeV24Parameter(serial::B__9600, serial::S_2, serial::NoParity, true);
  else
    m_port.LoadLastV24Parameter();
  Wait(m_run.restoreWaitMs);
  m_form.ReportProgress(1, 0);
  m_form.Events().Unsubscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
  m_subscribed = false;
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  if (m_failed) ShowError();
  return !m_failed;
}

void T_BSL430::StartInLoader() {
  const LoaderStateRecord& table = m_deviceRecord.LoaderState;
  if (table.tableKnown) {
    // What the last run left in the chip: after a failure past the vector
    // erase the old reset vector no longer opens the loader.
    m_password = table.vectorTable;
    m_passwordFromRecord = true;
    m_vectorWord = m_password[30] | (m_password[31] << 8);
    m_vectorKnown = true;
  } else if (m_deviceRecord.ResetVectorKnown) {
    SetPasswordFromVector(m_deviceRecord.ResetVector & 0xFFFF);
    m_vectorKnown = true;
  } else {
    const bool second = m_firstUpper >= 0 || m_deviceRecord.DeviceText.find("23774") != std::string::npos ||
                        m_deviceRecord.DeviceNumber == 62007;
    SetPasswordFromVector(ReadHexWord(second ? kDefaultVector2 : kDefaultVector1));
  }
  // Where the record cannot know (the tool was restarted since), the chip
  // may hold an erased table: each refusal of one password tries the other.
  // A 2xx erases itself on a wrong password, so the erased table is right
  // after the first refusal; a 1xx/4xx refuses without harm. A table the
  // record knows is what the chip holds: a refusal of it is noise on the
  // line and gets the same password again, and a 2xx is not erased by a
  // guess.
  m_otherPassword.fill(0xFF);
  m_hasOtherPassword = !table.tableKnown && m_password != m_otherPassword;
  EnterLoader(m_deviceRecord.SyncFirst);
}

void T_BSL430::SetPasswordFromVector(int32_t word) {
  m_vectorWord = word;
  m_password.fill(kPasswordFill);
  m_password[30] = static_cast<uint8_t>(word);
  m_password[31] = static_cast<uint8_t>(word >> 8);
}

std::vector<uint8_t> T_BSL430::PasswordPayload() const {
  // AL AH LL LH carry nothing for this command.
  std::vector<uint8_t> payload(4, kPasswordFill);
  payload.insert(payload.end(), m_password.begin(), m_password.end());
  return payload;
}

void T_BSL430::ShowError() {
  if (m_errorStep > 15) m_errorStep = 16;
  m_form.ShowErrorBox(m_form.ErrorText(m_errorStep), "Error");
  m_errorStepSaved = m_errorStep;
}

const char* T_BSL430::DefaultVectorText() const {
  return m_firstUpper >= 0 || m_deviceRecord.DeviceNumber == 62007 ? kDefaultVector2 : kDefaultVector1;
}

core::Event T_BSL430::EventHandler(core::EventQueue& /*queue*/, core::Event event) {
  if (event.kind == core::kKeyEvent && event.code == 27) {
    Fail();
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_timerSlot <= 0 || event.code != m_timerSlot) return event;
    if (m_loaderActive) {
      m_rx.clear();
      if (m_rateUnsure) SetLoaderRate(!m_deviceRecord.LoaderState.at38400);
      RetryRule(true);
    } else {
      Fail();
    }
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  switch (event.code) {
    case 10000:
      m_form.Slots().RestartSlot(m_timerSlot);
      if (!m_loaderActive) return event;
      ReadPort();
      return core::ClearEvent();
    case 80:
    case 81:
      OnVectorText(event.text.Text());
      return core::ClearEvent();
    case 10010:
      // The instrument's "!" to the hand-over command: it is in its loader
      // now, and another ask (or hand-over) would only be noise there.
      if (m_vectorKnown) return core::ClearEvent();
      if (m_deviceRecord.ImageByChipId) {
        m_loaderMode = 2;
        if (ChipIdImageSkipsQuestion()) m_askVector = false;
      }
      Wait(1000);
      if (m_askVector)
        SendCommand(kAsk[m_loaderMode]);
      else
        OnVectorText(DefaultVectorText());
      return core::ClearEvent();
    case 10011:
      if (m_vectorKnown && !m_loaderActive) EnterLoader(true);
      return core::ClearEvent();
    case 10012:
      Fail();
      m_errorStep = 0;
      return core::ClearEvent();
    default:
      return event;
  }
}

void T_BSL430::OnVectorText(const char* text) {
  SetPasswordFromVector(ReadHexWord(text));
  m_vectorKnown = true;
  m_deviceRecord.ResetVector = m_vectorWord;
  m_deviceRecord.ResetVectorKnown = true;
  SendHandOver();
}

void T_BSL430::SendHandOver() {
  SendCommand(kHandOver[m_loaderMode]);
}

void T_BSL430::EnterLoader(bool sync) {
  m_loaderActive = true;
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  // A loader entered by the hand-over starts at 9600; one that a failed run
  // left behind listens at the rate that run switched it to.
  if (!m_deviceRecord.AlreadyInLoader) m_deviceRecord.LoaderState.at38400 = false;
  m_rateUnsure = m_deviceRecord.AlreadyInLoader;
  SetLoaderRate(m_deviceRecord.LoaderState.at38400);
  m_port.ChangeHandShake(serial::NoHandshake);
  Wait(m_run.entryWaitMs);
  // What came before the loader ran (the hand-over answer at the old
  // settings) is noise to the loader protocol.
  m_port.ClearBuffer(kPurgeRx);
  m_rx.clear();
  m_timerSlot = m_form.Slots().StartSlot(kLoaderSlotMs);
  StartLoaderProtocol(sync);
}

void T_BSL430::SetLoaderRate(bool at38400) {
  m_deviceRecord.LoaderState.at38400 = at38400;
  m_port.ChangeV24Parameter(at38400 ? serial::B_38400 : serial::B__9600, serial::S_1, serial::Even, false);
}

void T_BSL430::StartLoaderProtocol(bool sync) {
  if (sync)
    SyncThen(&T_BSL430::StepVersion);
  else
    StepVersion();
}

void T_BSL430::ReadPort() {
  std::vector<uint8_t> buffer(kRxCapacity + 1);
  const size_t room = kRxCapacity - std::min(kRxCapacity, m_rx.size());
  if (room == 0) {
    ReceiveBytes(nullptr, 0);
    return;
  }
  const int32_t n = m_port.Read(buffer.data(), static_cast<uint32_t>(room));
  if (n < 0) return;
  ReceiveBytes(buffer.data(), static_cast<size_t>(n));
}

void T_BSL430::NoteAcknowledged() {
  const uint8_t command = std::exchange(m_sentCommand, 0);
  const std::vector<uint8_t>& p = m_sentPayload;
  if (p.size() < 4) return;
  LoaderStateRecord& table = m_deviceRecord.LoaderState;
  const uint32_t address = p[0] | (p[1] << 8);
  if (command == 0x10 && p.size() == 4 + LoaderStateRecord::kTableSize) {
    table.Accepted(p.data() + 4);
    m_hasOtherPassword = false;  // this one opens it (also after the patch's restart)
  } else if (m_offsetActive) {
    return;  // the upper 64 KiB holds no vectors
  } else if (command == 0x16) {
    table.SegmentErased(address);
  } else if (command == 0x12) {
    table.Written(address, p.data() + 4, p.size() - 4);
  }
}

void T_BSL430::ReceiveBytes(const uint8_t* bytes, size_t count) {
  const size_t room = kRxCapacity - std::min(kRxCapacity, m_rx.size());
  if (bytes) m_rx.insert(m_rx.end(), bytes, bytes + std::min(count, room));
  for (const BslReceipt& r : ScanReceived(m_rx)) {
    if (m_finished) return;
    // An answer in the loader's own framing: it listens at this rate.
    if (r.kind != BslReceipt::Kind::BadFrame) m_rateUnsure = false;
    switch (r.kind) {
      case BslReceipt::Kind::Frame:
        OnFrame(r.frame);
        break;
      case BslReceipt::Kind::BadFrame:
        break;  // the slot's expiry retries
      case BslReceipt::Kind::Ack:
        m_form.ReportProgress(3, 1);
        OnAck();
        break;
      case BslReceipt::Kind::Nak:
        m_form.ReportProgress(3, 1);
        RetryRule(false);
        break;
    }
  }
}

std::vector<BslReceipt> T_BSL430::ScanReceived(std::vector<uint8_t>& buffer) {
  return ScanRomBsl(buffer);
}

void T_BSL430::OnFrame(const std::vector<uint8_t>& frame) {
  m_form.ReportProgress(3, 1);
  if (m_answerStep) (this->*m_answerStep)(frame);
}

void T_BSL430::OnAck() {
  NoteAcknowledged();
  if (m_ackStep) (this->*m_ackStep)();
}

void T_BSL430::RetryRule(bool timeOut) {
  if (!m_nakStep || m_finished) return;
  if (m_nakStep != m_tried1) {
    m_tried1 = m_nakStep;
  } else if (m_nakStep != m_tried2) {
    m_tried2 = m_nakStep;
  } else if (m_nakStep != m_tried3) {
    m_tried3 = m_nakStep;
  } else {
    m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
    Fail();
    return;
  }
  if (!timeOut && m_hasOtherPassword &&
      (m_nakStep == &T_BSL430::StepPassword || m_nakStep == &T_BSL430::StepPatchPassword))
    std::swap(m_password, m_otherPassword);
  // A NAKed sync is sent again at once and keeps the step it leads to, so
  // the retry history counts it and it cannot ping-pong.
  if (m_nakStep == &T_BSL430::NextSegment || m_nakStep == &T_BSL430::SyncAgain)
    (this->*m_nakStep)();
  else if (timeOut)
    SyncThen(m_ackStep ? m_ackStep : m_nakStep);
  else
    SyncThen(m_nakStep);
}

void T_BSL430::SyncThen(Step step) {
  m_ackStep = step;
  m_answerStep = nullptr;
  m_nakStep = &T_BSL430::SyncAgain;
  m_errorStep = 1;
  m_sentCommand = 0;
  const uint8_t sync = 0x80;
  m_port.Write(&sync, 1, false);
}

void T_BSL430::SyncAgain() {
  m_errorStep = 1;
  m_sentCommand = 0;
  const uint8_t sync = 0x80;
  m_port.Write(&sync, 1, false);
}

void T_BSL430::Continue(Step step) {
  if (m_patchLoaded) {
    m_savedStep = step;
    SyncThen(&T_BSL430::StepRunPatch);
  } else {
    SyncThen(step);
  }
}

void T_BSL430::SendFrame(uint8_t command, const std::vector<uint8_t>& payload, int32_t errorStep) {
  m_errorStep = errorStep;
  m_sentCommand = command;
  m_sentPayload = payload;
  const std::vector<uint8_t> frame = RomBslFrame(command, payload);
  m_port.Write(frame.data(), static_cast<int32_t>(frame.size()), false);
}

// --- start-up

void T_BSL430::StepVersion() {
  m_answerStep = &T_BSL430::OnVersionAnswer;
  m_nakStep = &T_BSL430::StepVersionFallback;
  if (!m_ackStep) m_ackStep = &T_BSL430::StepVersion;
  SendFrame(0x1E, {kFiller, kFiller, kFiller, kFiller}, 2);
}

void T_BSL430::StepVersionFallback() {
  if (!m_passwordAccepted) {
    StepPassword();
    return;
  }
  m_answerStep = &T_BSL430::OnVersionAnswer;
  m_nakStep = &T_BSL430::StepVersionFallback;
  SendFrame(0x14, {0xF0, 0x0F, 0x0E, 0x00}, 2);
}

void T_BSL430::OnVersionAnswer(const std::vector<uint8_t>& frame) {
  m_versionKnown = true;
  auto at = [&](size_t i) -> unsigned { return i < frame.size() ? frame[i] : 0; };
  m_chipId = static_cast<int32_t>(at(4) * 256 + at(5));
  char text[16];
  std::snprintf(text, sizeof text, "%X.%2X", at(14), at(15));
  m_versionText = text;
  m_loaderVersion = static_cast<int32_t>(std::lround(std::atof(text) * 100));
  if (m_deviceRecord.ImageByChipId) {
    std::string file = m_form.FindProgDefFile(m_chipId);
    if (file.size() > 4 &&
        (file.find(".txt") != std::string::npos || file.find(".TXT") != std::string::npos)) {
      if (file.back() == '@') {
        file.pop_back();
        m_deviceRecord.KeepSlowRate[1] = true;
      }
      FirmwareImage16 image;
      if (!LoadImage(file, image, kFileLimit)) {
        Fail();
        return;
      }
      m_image = image;
      m_lastBlock = m_image.LastIndex;
      m_firstUpper = m_image.FirstUpper;
      m_lastUpper = m_image.LastUpper;
      if (m_chipId == 62503 && !m_passwordFromRecord) SetPasswordFromVector(ReadHexWord(kDefaultVector1));
    }
  }
  SyncThen(&T_BSL430::StepPassword);
}

void T_BSL430::StepPassword() {
  m_ackStep = &T_BSL430::AfterPassword;
  m_nakStep = &T_BSL430::StepPassword;
  SendFrame(0x10, PasswordPayload(), 4);
}

int32_t T_BSL430::SecondBlockAddress() const {
  return m_image.blocks.size() > 1 ? m_image.blocks[1].address : 0;
}

void T_BSL430::AfterPassword() {
  m_passwordAccepted = true;
  if (!m_versionKnown) {
    SyncThen(&T_BSL430::StepVersion);
    return;
  }
  const int mode = m_loaderMode == 0 ? 0 : 1;
  m_eraseAddress = m_deviceRecord.EraseTop[mode] > 0 ? m_deviceRecord.EraseTop[mode] : 0xFC00;
  m_progressMax += ((m_eraseAddress - SecondBlockAddress()) / 512 + 2) * 2;
  m_form.ReportProgress(2, m_progressMax);
  if (m_loaderVersion == 110 && !m_patchLoaded) {
    LoadPatch();
    return;
  }
  if (m_loaderVersion < 160 || m_deviceRecord.KeepSlowRate[mode])
    SyncThen(&T_BSL430::StepErase);
  else
    SyncThen(&T_BSL430::StepBaudRate);
}

void T_BSL430::StepBaudRate() {
  m_ackStep = &T_BSL430::SwitchTo38400;
  m_nakStep = &T_BSL430::StepBaudRate;
  // The clock divider of the loader's UART differs per family (F1xx E0 87,
  // F2xx 80 8C, F4xx 00 C8). The F1xx parts (chip IDs 0xF1..) get their own:
  // with the F4xx value their loader refuses the change.
  std::vector<uint8_t> payload{0x00, 0xC8, 0x02, kFiller};
  if (m_chipId == 0xF26F || m_chipId == 0xF237) {
    payload = {0x80, 0x8C, 0x02, kFiller};
  } else if ((m_chipId >> 8) == 0xF1) {
    payload = {0xE0, 0x87, 0x02, kFiller};
  }
  SendFrame(0x20, payload, 3);
}

void T_BSL430::SwitchTo38400() {
  Wait(1000);
  SetLoaderRate(true);
  Wait(1000);
  SyncThen(&T_BSL430::StepErase);
}

// --- erase

void T_BSL430::RequestOffset(int32_t offset, Step then) {
  m_requestedOffset = offset;
  m_afterOffset = then;
  StepOffset();
}

void T_BSL430::StepOffset() {
  m_ackStep = &T_BSL430::AfterOffset;
  m_nakStep = &T_BSL430::StepOffset;
  SendFrame(0x21, {0x00, 0x00, static_cast<uint8_t>(m_requestedOffset), kFiller}, 15);
}

void T_BSL430::AfterOffset() {
  m_offsetActive = m_requestedOffset == 1;
  SyncThen(m_afterOffset);
}

void T_BSL430::StepErase() {
  if (m_eraseAddress > 0xFFFF && !m_offsetActive) {
    RequestOffset(1, &T_BSL430::StepErase);
    return;
  }
  if (m_eraseAddress < 0x10000 && m_offsetActive) {
    m_eraseAddress -= 0x200;  // the segment 0xFE00 waits for the vector erase
    RequestOffset(0, &T_BSL430::StepErase);
    return;
  }
  m_ackStep = &T_BSL430::NextSegment;
  m_nakStep = m_eraseAddress < 0x1200 ? &T_BSL430::NextSegment : &T_BSL430::StepErase;
  const int32_t address = m_offsetActive ? m_eraseAddress - 0x10000 : m_eraseAddress;
  SendFrame(0x16, {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0x02, 0xA5}, 5);
}

void T_BSL430::NextSegment() {
  m_eraseAddress -= 0x200;
  if (m_eraseAddress <= 0xE80) {
    m_blockIndex = 0;
    SyncThen(&T_BSL430::StepWrite);
    return;
  }
  const int32_t low = SecondBlockAddress();
  if (m_eraseAddress == low - 256) m_eraseAddress = low;
  if (m_eraseAddress < low) m_eraseAddress = 0x1080;  // 0x1000 is never erased
  SyncThen(&T_BSL430::StepErase);
}

void T_BSL430::StepVectorErase() {
  m_eraseAddress = 0xFFFF;
  m_ackStep = &T_BSL430::VectorSegmentErased;
  m_nakStep = &T_BSL430::StepVectorErase;
  SendFrame(0x16, {0xFF, 0xFF, 0x02, 0xA5}, 6);
}

void T_BSL430::VectorSegmentErased() {
  m_vectorSegmentErased = true;
  Continue(&T_BSL430::StepWrite);
}

// --- write and read back

void T_BSL430::StepWrite() {
  // Past the last block (a marker that stands last): the writing is over.
  if (m_blockIndex > m_lastBlock) {
    m_blockIndex = 0;
    Continue(&T_BSL430::StepReadBack);
    return;
  }
  const ImageBlock16& block = m_image.blocks[static_cast<size_t>(m_blockIndex)];
  if (m_firstUpper < 0) {
    if (BlockEnd(block) >= 0xFE00 && !m_vectorSegmentErased) {
      StepVectorErase();
      return;
    }
  } else {
    if (block.IsMarker()) {
      if (m_offsetActive) {
        RequestOffset(0, &T_BSL430::StepWrite);
        return;
      }
      ++m_blockIndex;
      if (!m_vectorSegmentErased) {
        StepVectorErase();
        return;
      }
      StepWrite();
      return;
    }
    if (m_blockIndex == m_firstUpper && !m_offsetActive) {
      RequestOffset(1, &T_BSL430::StepWrite);
      return;
    }
  }
  m_ackStep = &T_BSL430::NextBlock;
  m_nakStep = &T_BSL430::StepWrite;
  const size_t n = block.DataLength();
  std::vector<uint8_t> payload{static_cast<uint8_t>(block.address), static_cast<uint8_t>(block.address >> 8),
                               static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  payload.insert(payload.end(), block.data.begin(), block.data.begin() + static_cast<std::ptrdiff_t>(n));
  SendFrame(0x12, payload, 8);
}

void T_BSL430::NextBlock() {
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    Continue(&T_BSL430::StepWrite);
  } else {
    m_blockIndex = 0;
    Continue(&T_BSL430::StepReadBack);
  }
}

void T_BSL430::StepReadBack() {
  if (m_blockIndex > m_lastBlock) {
    SyncThen(&T_BSL430::StepStart);
    return;
  }
  const ImageBlock16& block = m_image.blocks[static_cast<size_t>(m_blockIndex)];
  if (m_firstUpper >= 0) {
    if (block.IsMarker()) {
      if (m_offsetActive) {
        RequestOffset(0, &T_BSL430::StepReadBack);
        return;
      }
      ++m_blockIndex;
      StepReadBack();
      return;
    }
    if (m_blockIndex == m_firstUpper && !m_offsetActive) {
      RequestOffset(1, &T_BSL430::StepReadBack);
      return;
    }
  } else if (BlockEnd(block) >= 0xFE00 && m_offsetActive) {
    RequestOffset(0, &T_BSL430::StepReadBack);
    return;
  }
  m_answerStep = &T_BSL430::Compare;
  m_nakStep = &T_BSL430::StepReadBack;
  m_ackStep = &T_BSL430::StepReadBack;
  const size_t n = block.DataLength();
  SendFrame(0x14,
            {static_cast<uint8_t>(block.address), static_cast<uint8_t>(block.address >> 8),
             static_cast<uint8_t>(n), 0x00},
            9);
}

void T_BSL430::Compare(const std::vector<uint8_t>& frame) {
  const ImageBlock16& block = m_image.blocks[static_cast<size_t>(m_blockIndex)];
  const size_t n = frame.size() >= 6 ? frame[2] : 0;
  if (!ReadBackMatches(frame, n, block)) {
    Fail();  // error step 9 stays
    return;
  }
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    Continue(&T_BSL430::StepReadBack);
  } else {
    m_answerStep = nullptr;
    SyncThen(&T_BSL430::StepStart);
  }
}

uint16_t T_BSL430::StartWord() const {
  // The chip itself starts at the reset vector (0xFFFE); take it whenever
  // the image holds it, wherever its block stands.
  for (const ImageBlock16& b : m_image.blocks) {
    if (m_firstUpper >= 0 && &b >= &m_image.blocks[static_cast<size_t>(m_firstUpper)] &&
        &b <= &m_image.blocks[static_cast<size_t>(m_lastUpper)])
      continue;
    if (!b.IsMarker() && b.address <= 0xFFFE && BlockEnd(b) >= 0x10000)
      return static_cast<uint16_t>(b.data[0xFFFE - b.address] | (b.data[0xFFFF - b.address] << 8));
  }
  const ImageBlock16& last = m_image.blocks[static_cast<size_t>(m_lastBlock)];
  const size_t n = last.DataLength();
  if (n < 4) return 0;
  return static_cast<uint16_t>(last.data[n - 4] | (last.data[n - 3] << 8));
}

void T_BSL430::StepStart() {
  Wait(1000);
  m_ackStep = &T_BSL430::Done;
  m_nakStep = &T_BSL430::StepStart;
  const uint16_t word = StartWord();
  SendFrame(0x1A, {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8), kFiller, kFiller}, 10);
}

void T_BSL430::Done() {
  m_loaderActive = false;
  m_deviceRecord.LoaderState.at38400 = false;  // the firmware runs; the loader is gone
  m_form.ReportProgress(10, 100);
  m_finished = true;
}

// --- the patch of loader 1.10

void T_BSL430::LoadPatch() {
  m_patchImage = FirmwareImage16(20);
  if (!LoadImage("Patch.TXT", m_patchImage, kPatchLimit)) {
    Fail();
    return;
  }
  m_patchLast = m_patchImage.LastIndex;
  m_patchIndex = 0;
  m_progressMax = 8 + 8 * m_lastBlock + 4 * m_patchLast + 258;
  m_form.ReportProgress(2, m_progressMax);
  SyncThen(&T_BSL430::StepRestartLoader);
}

void T_BSL430::StepRestartLoader() {
  m_ackStep = &T_BSL430::AfterRestart;
  m_nakStep = &T_BSL430::StepRestartLoader;
  SendFrame(0x1A, {0x22, 0x0C, kFiller, kFiller}, 11);
}

void T_BSL430::AfterRestart() {
  SyncThen(&T_BSL430::StepPatchPassword);
}

void T_BSL430::StepPatchPassword() {
  m_ackStep = &T_BSL430::AfterPatchPassword;
  m_nakStep = &T_BSL430::StepPatchPassword;
  SendFrame(0x10, PasswordPayload(), 4);
}

void T_BSL430::AfterPatchPassword() {
  m_patchIndex = 0;
  SyncThen(&T_BSL430::StepWritePatch);
}

void T_BSL430::StepWritePatch() {
  m_ackStep = &T_BSL430::NextPatchBlock;
  m_nakStep = &T_BSL430::StepWritePatch;
  const ImageBlock16& block = m_patchImage.blocks[static_cast<size_t>(m_patchIndex)];
  const size_t n = block.DataLength();
  std::vector<uint8_t> payload{static_cast<uint8_t>(block.address), static_cast<uint8_t>(block.address >> 8),
                               static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
  payload.insert(payload.end(), block.data.begin(), block.data.begin() + static_cast<std::ptrdiff_t>(n));
  SendFrame(0x12, payload, 13);
}

void T_BSL430::NextPatchBlock() {
  if (m_patchIndex < m_patchLast) {
    ++m_patchIndex;
    SyncThen(&T_BSL430::StepWritePatch);
  } else {
    m_patchIndex = 0;
    SyncThen(&T_BSL430::StepReadBackPatch);
  }
}

void T_BSL430::StepReadBackPatch() {
  m_answerStep = &T_BSL430::ComparePatch;
  m_nakStep = &T_BSL430::StepReadBackPatch;
  m_ackStep = &T_BSL430::StepReadBackPatch;
  const ImageBlock16& block = m_patchImage.blocks[static_cast<size_t>(m_patchIndex)];
  SendFrame(0x14,
            {static_cast<uint8_t>(block.address), static_cast<uint8_t>(block.address >> 8),
             static_cast<uint8_t>(block.DataLength()), 0x00},
            14);
}

void T_BSL430::ComparePatch(const std::vector<uint8_t>& frame) {
  const ImageBlock16& block = m_patchImage.blocks[static_cast<size_t>(m_patchIndex)];
  const size_t n = frame.size() >= 6 ? frame[2] : 0;
  if (!ReadBackMatches(frame, n, block)) {
    Fail();
    return;
  }
  if (m_patchIndex < m_patchLast) {
    ++m_patchIndex;
    SyncThen(&T_BSL430::StepReadBackPatch);
  } else {
    m_patchIndex = 0;
    m_patchLoaded = true;
    m_answerStep = nullptr;
    SyncThen(&T_BSL430::StepErase);
  }
}

void T_BSL430::StepRunPatch() {
  m_ackStep = &T_BSL430::AfterRunPatch;
  m_nakStep = &T_BSL430::StepRunPatch;
  const uint16_t address = m_patchImage.blocks.empty() ? 0 : m_patchImage.blocks[0].address;
  SendFrame(0x1A, {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), kFiller, kFiller}, 12);
}

void T_BSL430::AfterRunPatch() {
  SyncThen(m_savedStep);
}

}  // namespace programmers
