#include "programmers/T_BSL430.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

namespace programmers {
namespace {

using namespace msp430;

constexpr int32_t kEntryWaitMs = 8000;
constexpr int32_t kRestoreWaitMs = 2000;
constexpr int32_t kRateSwitchWaitMs = 1000;  // before and after the port follows the loader to 38400
constexpr int32_t kBeforeStartMs = 1000;

// Payload bytes. The first four of every payload are AL AH LL LH: an
// address and a length, or what the command takes in their place.
constexpr uint8_t kFiller = 0x58;  // "X": a byte the loader ignores
constexpr uint16_t kFillerWord = kFiller * 0x0101;
constexpr uint16_t kEraseOneSegment = 0xA502;  // LL LH of an erase
// The version fallback reads the loader's chip ID and version from memory.
constexpr uint16_t kVersionArea = 0x0FF0;
constexpr uint16_t kVersionAreaLength = 14;
// Load PC here restarts the loader (the patch needs a fresh one).
constexpr uint16_t kLoaderRestart = 0x0C22;
// The loader UART's clock divider for 38400 baud (D1 D2), per family, and
// the rate byte D3 (0 9600, 1 19200, 2 38400).
constexpr uint16_t kDivider38400F1xx = 0x87E0;
constexpr uint16_t kDivider38400F2xx = 0x8C80;
constexpr uint16_t kDivider38400F4xx = 0xC800;
constexpr uint16_t kRate38400 = 0x02 | kFiller << 8;
// The F2xx chips with their own divider, and the F1xx family (chip ID high byte).
constexpr int32_t kChipF2xxA = 0xF26F;
constexpr int32_t kChipF2xxB = 0xF237;
constexpr int32_t kFamilyF1xx = 0xF1;

// Loader versions in hundredths.
constexpr int32_t kVersionNeedingPatch = 110;
constexpr int32_t kFirstVersionWithBaudRate = 160;
constexpr const char* kPatchFile = "Patch.TXT";
constexpr const char* kHello = "A.1000\r\n";  // the first command to the instrument's program

// Flash layout of the 1xx/2xx/4xx parts.
constexpr size_t kResetVectorAt = 30;     // the reset vector's place in the password table
constexpr int32_t kInfoSegment = 0x1080;  // the lowest one erased: 0x1000 is never
// Below this a refused erase skips its segment; at or below the end the erase is over.
constexpr int32_t kLowestRetriedErase = 0x1200;
constexpr int32_t kEraseEnd = 0xE80;

// The instruments that start at the second default vector, and the chip
// whose image by chip ID starts at the first.
constexpr const char* kSecondVectorPcb = "23774";
constexpr int32_t kSecondVectorDevice = 62007;
constexpr int32_t kFirstVectorChip = 62503;

// AL AH LL LH.
std::vector<uint8_t> Header(uint32_t address, uint32_t length) {
  return {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(length),
          static_cast<uint8_t>(length >> 8)};
}

// The write payload of a block: its address, its data length, its data.
std::vector<uint8_t> WritePayload(const ImageBlock16& block) {
  const size_t n = block.DataLength();
  std::vector<uint8_t> payload = Header(block.address, static_cast<uint32_t>(n));
  payload.insert(payload.end(), block.data.begin(), block.data.begin() + static_cast<std::ptrdiff_t>(n));
  return payload;
}

std::vector<uint8_t> ReadPayload(const ImageBlock16& block) {
  return Header(block.address, static_cast<uint8_t>(block.DataLength()));
}

size_t BlockEnd(const ImageBlock16& b) {
  return size_t{b.address} + b.DataLength();
}

}  // namespace

// The ROM loader's protocol: for each step its command, the error step the
// run reports while it waits, and what an ACK, a NAK and an answer frame
// run. Every command step follows a synchronisation, which has emptied the
// answer and named the step itself for the ACK (what a time-out retries).
struct T_BSL430::RomProtocol {
  using Step = RomSteps::Step;
  using T = T_BSL430;
  Step sync = Step(RomBslCode::kSync, 1).OnNak(&T::SyncAgain).OnAnswer(nullptr);
  Step syncAgain = Step(RomBslCode::kSync, 1);
  Step version = Step(RomBslCode::kTxBslVersion, 2)
                     .OnAck(&T::StepVersion)
                     .OnNak(&T::StepVersionFallback)
                     .OnAnswer(&T::OnVersionAnswer);
  Step versionFallback =
      Step(RomBslCode::kTxDataBlock, 2).OnNak(&T::StepVersionFallback).OnAnswer(&T::OnVersionAnswer);
  Step baudRate = Step(RomBslCode::kChangeBaudRate, 3).OnAck(&T::SwitchTo38400).OnNak(&T::StepBaudRate);
  Step password = Step(RomBslCode::kRxPassword, 4).OnAck(&T::AfterPassword).OnNak(&T::StepPassword);
  Step erase = Step(RomBslCode::kEraseSegment, 5).OnAck(&T::NextSegment).OnNak(&T::StepErase);
  // A refusal skips the segment.
  Step eraseLow = Step(RomBslCode::kEraseSegment, 5).OnAck(&T::NextSegment).OnNak(&T::NextSegment);
  Step vectorErase =
      Step(RomBslCode::kEraseSegment, 6).OnAck(&T::VectorSegmentErased).OnNak(&T::StepVectorErase);
  Step write = Step(RomBslCode::kRxDataBlock, 8).OnAck(&T::NextBlock).OnNak(&T::StepWrite);
  Step readBack =
      Step(RomBslCode::kTxDataBlock, 9).OnAck(&T::StepReadBack).OnNak(&T::StepReadBack).OnAnswer(&T::Compare);
  Step start = Step(RomBslCode::kLoadPc, 10).OnAck(&T::Done).OnNak(&T::StepStart);
  Step restartLoader = Step(RomBslCode::kLoadPc, 11).OnAck(&T::AfterRestart).OnNak(&T::StepRestartLoader);
  Step runPatch = Step(RomBslCode::kLoadPc, 12).OnAck(&T::AfterRunPatch).OnNak(&T::StepRunPatch);
  Step writePatch = Step(RomBslCode::kRxDataBlock, 13).OnAck(&T::NextPatchBlock).OnNak(&T::StepWritePatch);
  Step readBackPatch = Step(RomBslCode::kTxDataBlock, 14)
                           .OnAck(&T::StepReadBackPatch)
                           .OnNak(&T::StepReadBackPatch)
                           .OnAnswer(&T::ComparePatch);
  Step offset = Step(RomBslCode::kSetMemoryOffset, 15).OnAck(&T::AfterOffset).OnNak(&T::StepOffset);
  Step patchPassword =
      Step(RomBslCode::kRxPassword, 4).OnAck(&T::AfterPatchPassword).OnNak(&T::StepPatchPassword);
};

const T_BSL430::RomProtocol T_BSL430::kRomProtocol{};

T_BSL430::T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                   serial::TComPort& port)
    : T_BSL430(form, delay, deviceRecord, port, RunConstants{kFileLimit, {kEntryWaitMs, kRestoreWaitMs}}) {}

T_BSL430::T_BSL430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                   serial::TComPort& port, const RunConstants& constants)
    : TProgrammerTyp(form, delay, deviceRecord, port),
      m_run(constants),
      m_handOver(*this, deviceRecord, port, delay, constants.waits),
      // A step may be refused three times in a row; a time-out retries what
      // the ACK would have started.
      m_romSteps(*this, 3, RomSteps::TimeOut::kAckStep, m_errorStep) {}

T_BSL430::~T_BSL430() {
  if (m_subscribed) m_form.Events().Unsubscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
}

int32_t T_BSL430::ReadHexWord(const char* text) {
  if (!text) return 0;
  while (*text == ' ') ++text;
  return static_cast<int32_t>(std::strtoul(text, nullptr, 16) & 0xFFFF);
}

bool T_BSL430::SendCommand(const std::string& text) {
  if (LineLost()) return true;
  m_port.Write(text.c_str(), -1, false);
  m_form.LogLine(text);
  return true;
}

template <class Image>
bool T_BSL430::LoadAnyImage(const std::string& fileName, Image& image, size_t limit, ImageUse use) {
  std::string content, error;
  if (!ReadPackageFile(fileName, limit, content, error)) {
    m_form.ShowErrorBox(error, kErrorCaption);
    return false;
  }
  ReadTiTxt(content, image);
  const ImageRefusal refusal = CheckImageForProgramming(image, use);
  if (refusal != ImageRefusal::kNone) {
    m_form.ShowErrorBox(ImageRefusalText(refusal, fileName, m_form.Language(), image), kErrorCaption);
    return false;
  }
  return true;
}

bool T_BSL430::LoadImage(const std::string& fileName, FirmwareImage16& image, size_t limit, ImageUse use) {
  return LoadAnyImage(fileName, image, limit, use);
}

bool T_BSL430::LoadImage(const std::string& fileName, FirmwareImage32& image, size_t limit, ImageUse use) {
  return LoadAnyImage(fileName, image, limit, use);
}

bool T_BSL430::ReadImage(const std::string& fileName) {
  FirmwareImage16 image;
  if (!LoadImage(fileName, image, m_run.fileLimit)) return false;
  TakeImage(image);
  return true;
}

void T_BSL430::TakeImage(const FirmwareImage16& image) {
  m_image = image;
  m_lastBlock = m_image.LastIndex;
  m_firstUpper = m_image.FirstUpper;
  m_lastUpper = m_image.LastUpper;
}

bool T_BSL430::Program(const std::string& fileName) {
  m_handOver.Begin();
  m_form.ReportProgress(progress::kReset, 0);
  m_blockIndex = 0;
  m_failed = false;
  // A file that cannot be used fails the run before anything is sent.
  if (!ReadImage(fileName)) return false;
  m_progressMax = ImageSteps();
  m_form.ReportProgress(progress::kMaximum, m_progressMax);

  m_form.Events().Subscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
  m_subscribed = true;
  m_handOver.SavePort();
  m_timerSlot = m_form.Slots().StartSlot(kGuardMs);
  m_failed = false;
  m_finished = false;
  m_form.ReportProgress(progress::kPercent, -1);

  if (m_deviceRecord.AlreadyInLoader)
    StartInLoader();
  else
    SendCommand(kHello);

  RunEventLoop(m_finished);

  m_form.ReportProgress(progress::kPercent, -1);
  // A lost line takes no settings and is not waited for.
  if (!LineLost()) m_handOver.Restore(m_failed);
  m_form.ReportProgress(progress::kPosition, 0);
  m_form.Events().Unsubscribe(core::MakeHandler<&T_BSL430::EventHandler>(this));
  m_subscribed = false;
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  if (LineLost())
    ShowConnectionLost();
  else if (m_failed)
    ShowError();
  return !m_failed;
}

void T_BSL430::OnConnectionLost() {
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  m_handOver.Stop();
  Fail();
}

void T_BSL430::StartInLoader() {
  const LoaderStateRecord& table = m_deviceRecord.LoaderState;
  if (table.tableKnown) {
    // What the last run left in the chip: after a failure past the vector
    // erase the old reset vector no longer opens the loader.
    m_passwordTable = table.vectorTable;
    m_passwordFromRecord = true;
    m_vectorWord = m_passwordTable[kResetVectorAt] | (m_passwordTable[kResetVectorAt + 1] << 8);
    m_handOver.SetVectorKnown();
  } else if (m_deviceRecord.ResetVectorKnown) {
    SetPasswordFromVector(m_deviceRecord.ResetVector & 0xFFFF);
    m_handOver.SetVectorKnown();
  } else {
    const bool second = m_firstUpper >= 0 ||
                        m_deviceRecord.DeviceText.find(kSecondVectorPcb) != std::string::npos ||
                        m_deviceRecord.DeviceNumber == kSecondVectorDevice;
    SetPasswordFromVector(ReadHexWord(second ? kDefaultVector2 : kDefaultVector1));
  }
  // Where the record cannot know (the tool was restarted since), the chip
  // may hold an erased table: each refusal of one password tries the other.
  // A 2xx erases itself on a wrong password, so the erased table is right
  // after the first refusal; a 1xx/4xx refuses without harm. A table the
  // record knows is what the chip holds: a refusal of it is noise on the
  // line and gets the same password again, and a 2xx is not erased by a
  // guess.
  m_otherPasswordTable.fill(0xFF);
  m_hasOtherPassword = !table.tableKnown && m_passwordTable != m_otherPasswordTable;
  EnterLoader(m_deviceRecord.SyncFirst);
}

void T_BSL430::SetPasswordFromVector(int32_t word) {
  m_vectorWord = word;
  m_passwordTable.fill(kPasswordFill);
  m_passwordTable[kResetVectorAt] = static_cast<uint8_t>(word);
  m_passwordTable[kResetVectorAt + 1] = static_cast<uint8_t>(word >> 8);
}

std::vector<uint8_t> T_BSL430::PasswordPayload() const {
  // AL AH LL LH carry nothing for this command.
  std::vector<uint8_t> payload(4, kPasswordFill);
  payload.insert(payload.end(), m_passwordTable.begin(), m_passwordTable.end());
  return payload;
}

void T_BSL430::ShowError() {
  if (m_errorStep > 15) m_errorStep = 16;
  m_form.ShowErrorBox(m_form.ErrorText(m_errorStep), kErrorCaption);
  m_errorStepSaved = m_errorStep;
}

const char* T_BSL430::DefaultVectorText() const {
  return m_firstUpper >= 0 || m_deviceRecord.DeviceNumber == kSecondVectorDevice ? kDefaultVector2
                                                                                 : kDefaultVector1;
}

core::Event T_BSL430::EventHandler(core::EventQueue& /*queue*/, core::Event event) {
  if (event.kind == core::kKeyEvent && event.code == core::keys::kEscape) {
    Fail();
    return core::ClearEvent();
  }
  if (event.kind == core::kTimerEvent) {
    if (m_timerSlot <= 0 || event.code != m_timerSlot) return event;
    if (m_loaderActive) {
      m_rx.clear();
      if (m_rateUnsure) m_handOver.SetLoaderRate(!m_deviceRecord.LoaderState.at38400);
      RetryRule(true);
    } else {
      Fail();
    }
    return core::ClearEvent();
  }
  if (event.kind != core::kCodeEvent) return event;
  if (event.code == core::codes::kDataArrived) {
    m_form.Slots().RestartSlot(m_timerSlot);
    if (!m_loaderActive) return event;
    ReadPort();
    return core::ClearEvent();
  }
  return m_handOver.OnCode(event.code, event.text.Text(), m_loaderActive) ? core::ClearEvent() : event;
}

int32_t T_BSL430::TakeVectorText(const char* text) {
  SetPasswordFromVector(ReadHexWord(text));
  return m_vectorWord;
}

void T_BSL430::RequestRefused() {
  Fail();
  m_errorStep = 0;
}

void T_BSL430::EnterLoader(bool sync) {
  m_loaderActive = true;
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  m_rateUnsure = m_deviceRecord.AlreadyInLoader;
  m_handOver.EnterLoaderLine();
  m_rx.clear();
  m_timerSlot = m_form.Slots().StartSlot(kLoaderSlotMs);
  StartLoaderProtocol(sync);
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
  const RomBslCode command = std::exchange(m_sentCommand, RomBslCode::kSync);
  const std::vector<uint8_t>& p = m_sentPayload;
  if (p.size() < 4) return;
  LoaderStateRecord& table = m_deviceRecord.LoaderState;
  const uint32_t address = p[0] | (p[1] << 8);
  if (command == RomBslCode::kRxPassword && p.size() == 4 + LoaderStateRecord::kTableSize) {
    table.Accepted(p.data() + 4);
    m_hasOtherPassword = false;  // this one opens it (also after the patch's restart)
  } else if (m_offsetActive) {
    return;  // the upper 64 KiB holds no vectors
  } else if (command == RomBslCode::kEraseSegment) {
    table.SegmentErased(address);
  } else if (command == RomBslCode::kRxDataBlock) {
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
        m_form.ReportProgress(progress::kStep, 1);
        OnAck();
        break;
      case BslReceipt::Kind::Nak:
        m_form.ReportProgress(progress::kStep, 1);
        RetryRule(false);
        break;
    }
  }
}

std::vector<BslReceipt> T_BSL430::ScanReceived(std::vector<uint8_t>& buffer) {
  return ScanRomBsl(buffer);
}

void T_BSL430::OnFrame(const std::vector<uint8_t>& frame) {
  m_form.ReportProgress(progress::kStep, 1);
  m_romSteps.Answer(frame);
}

void T_BSL430::OnAck() {
  NoteAcknowledged();
  m_romSteps.Ack();
}

void T_BSL430::RetriesExhausted() {
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  Fail();
}

void T_BSL430::RetryRule(bool timeOut) {
  if (m_finished) return;
  const Action refused = m_romSteps.NakStep();
  const RomSteps::Retry retry = timeOut ? m_romSteps.TimedOut() : m_romSteps.Refused();
  if (retry.kind == RomSteps::Retry::Kind::kNothing) return;
  if (retry.kind == RomSteps::Retry::Kind::kExhausted) {
    RetriesExhausted();
    return;
  }
  if (!timeOut && m_hasOtherPassword &&
      (refused == &T_BSL430::StepPassword || refused == &T_BSL430::StepPatchPassword))
    std::swap(m_passwordTable, m_otherPasswordTable);
  // A NAKed sync is sent again at once and keeps the step it leads to, so
  // the retry history counts it and it cannot ping-pong; a refused low
  // segment is skipped.
  if (refused == &T_BSL430::NextSegment || refused == &T_BSL430::SyncAgain)
    (this->*refused)();
  else
    SyncThen(retry.step);
}

void T_BSL430::Send(const RomSteps::Step& step, const std::vector<uint8_t>& payload) {
  if (LineLost()) return;
  m_romSteps.Arm(step);
  m_sentCommand = step.command;
  if (step.command == RomBslCode::kSync) {
    const uint8_t sync = Byte(RomBslCode::kSync);
    m_port.Write(&sync, 1, false);
    return;
  }
  m_sentPayload = payload;
  const std::vector<uint8_t> frame = RomBslFrame(step.command, payload);
  m_port.Write(frame.data(), static_cast<int32_t>(frame.size()), false);
}

void T_BSL430::SyncThen(Action step) {
  Send(kRomProtocol.sync.OnAck(step));
}

void T_BSL430::SyncAgain() {
  Send(kRomProtocol.syncAgain);
}

void T_BSL430::Continue(Action step) {
  if (m_patchLoaded) {
    m_savedStep = step;
    SyncThen(&T_BSL430::StepRunPatch);
  } else {
    SyncThen(step);
  }
}

// --- start-up

void T_BSL430::StepVersion() {
  Send(kRomProtocol.version, Header(kFillerWord, kFillerWord));
}

void T_BSL430::StepVersionFallback() {
  if (!m_passwordAccepted) {
    StepPassword();
    return;
  }
  Send(kRomProtocol.versionFallback, Header(kVersionArea, kVersionAreaLength));
}

void T_BSL430::OnVersionAnswer(const std::vector<uint8_t>& frame) {
  m_versionKnown = true;
  // The memory at 0x0FF0 from the frame's fifth byte on: the chip ID big-endian,
  // the loader version at 0x0FFA.
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
      TakeImage(image);
      m_progressMax = ImageSteps();
      m_form.ReportProgress(progress::kMaximum, m_progressMax);
      if (m_chipId == kFirstVectorChip && !m_passwordFromRecord)
        SetPasswordFromVector(ReadHexWord(kDefaultVector1));
    }
  }
  SyncThen(&T_BSL430::StepPassword);
}

void T_BSL430::StepPassword() {
  Send(kRomProtocol.password, PasswordPayload());
}

int32_t T_BSL430::ImageSteps() const {
  // The version, the password, the vector erase and the start; each block
  // written and read back.
  return 4 * kStepsPerCommand + (m_lastBlock + 1) * 2 * kStepsPerCommand;
}

int32_t T_BSL430::SecondBlockAddress() const {
  return m_image.blocks.size() > 1 ? m_image.blocks[1].address : 0;
}

void T_BSL430::StartErase(int32_t lowest) {
  const int mode = m_handOver.ModeIndex();
  m_eraseAddress = m_deviceRecord.EraseTop[mode] > 0 ? m_deviceRecord.EraseTop[mode] : kDefaultEraseTop;
  m_progressMax += ((m_eraseAddress - lowest) / kSegmentSize + 2) * kStepsPerCommand;
  m_form.ReportProgress(progress::kMaximum, m_progressMax);
}

void T_BSL430::AfterPassword() {
  m_passwordAccepted = true;
  if (!m_versionKnown) {
    SyncThen(&T_BSL430::StepVersion);
    return;
  }
  const bool keepRate =
      m_loaderVersion < kFirstVersionWithBaudRate || m_deviceRecord.KeepSlowRate[m_handOver.ModeIndex()];
  if (!keepRate) m_progressMax += kStepsPerCommand;
  StartErase(SecondBlockAddress());
  if (m_loaderVersion == kVersionNeedingPatch && !m_patchLoaded) {
    LoadPatch();
    return;
  }
  SyncThen(keepRate ? &T_BSL430::StepErase : &T_BSL430::StepBaudRate);
}

void T_BSL430::StepBaudRate() {
  // The F1xx parts (chip IDs 0xF1..) get their own divider: with the F4xx
  // value their loader refuses the change.
  uint16_t divider = kDivider38400F4xx;
  if (m_chipId == kChipF2xxA || m_chipId == kChipF2xxB) {
    divider = kDivider38400F2xx;
  } else if ((m_chipId >> 8) == kFamilyF1xx) {
    divider = kDivider38400F1xx;
  }
  Send(kRomProtocol.baudRate, Header(divider, kRate38400));
}

void T_BSL430::SwitchTo38400() {
  Wait(kRateSwitchWaitMs);
  m_handOver.SetLoaderRate(true);
  Wait(kRateSwitchWaitMs);
  SyncThen(&T_BSL430::StepErase);
}

// --- erase

void T_BSL430::RequestOffset(int32_t offset, Action then) {
  m_requestedOffset = offset;
  m_afterOffset = then;
  StepOffset();
}

void T_BSL430::StepOffset() {
  Send(kRomProtocol.offset, Header(0, static_cast<uint32_t>(m_requestedOffset) | kFiller << 8));
}

void T_BSL430::AfterOffset() {
  m_offsetActive = m_requestedOffset == 1;
  SyncThen(m_afterOffset);
}

void T_BSL430::StepErase() {
  if (m_eraseAddress >= kUpperHalf && !m_offsetActive) {
    RequestOffset(1, &T_BSL430::StepErase);
    return;
  }
  if (m_eraseAddress < kUpperHalf && m_offsetActive) {
    m_eraseAddress -= kSegmentSize;  // the segment 0xFE00 waits for the vector erase
    RequestOffset(0, &T_BSL430::StepErase);
    return;
  }
  const int32_t address = m_offsetActive ? m_eraseAddress - kUpperHalf : m_eraseAddress;
  Send(m_eraseAddress < kLowestRetriedErase ? kRomProtocol.eraseLow : kRomProtocol.erase,
       Header(static_cast<uint32_t>(address), kEraseOneSegment));
}

void T_BSL430::NextSegment() {
  m_eraseAddress -= kSegmentSize;
  if (m_eraseAddress <= kEraseEnd) {
    m_blockIndex = 0;
    SyncThen(&T_BSL430::StepWrite);
    return;
  }
  const int32_t low = SecondBlockAddress();
  if (m_eraseAddress == low - 256) m_eraseAddress = low;
  if (m_eraseAddress < low) m_eraseAddress = kInfoSegment;
  SyncThen(&T_BSL430::StepErase);
}

void T_BSL430::StepVectorErase() {
  m_eraseAddress = kInVectorSegment;
  Send(kRomProtocol.vectorErase, Header(kInVectorSegment, kEraseOneSegment));
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
    if (BlockEnd(block) >= kVectorSegment && !m_vectorSegmentErased) {
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
  Send(kRomProtocol.write, WritePayload(block));
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
  } else if (BlockEnd(block) >= kVectorSegment && m_offsetActive) {
    RequestOffset(0, &T_BSL430::StepReadBack);
    return;
  }
  Send(kRomProtocol.readBack, ReadPayload(block));
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
    if (!b.IsMarker() && b.address <= kResetVectorAddress && BlockEnd(b) >= kUpperHalf)
      return static_cast<uint16_t>(b.data[kResetVectorAddress - b.address] |
                                   (b.data[kResetVectorAddress + 1 - b.address] << 8));
  }
  const ImageBlock16& last = m_image.blocks[static_cast<size_t>(m_lastBlock)];
  const size_t n = last.DataLength();
  if (n < 4) return 0;
  return static_cast<uint16_t>(last.data[n - 4] | (last.data[n - 3] << 8));
}

void T_BSL430::StepStart() {
  Wait(kBeforeStartMs);
  Send(kRomProtocol.start, Header(StartWord(), kFillerWord));
}

void T_BSL430::Done() {
  m_loaderActive = false;
  m_deviceRecord.LoaderState.at38400 = false;  // the firmware runs; the loader is gone
  m_form.ReportProgress(progress::kPercent, 100);
  m_finished = true;
}

// --- the patch of loader 1.10

void T_BSL430::LoadPatch() {
  m_patchImage = FirmwareImage16(20);
  // The patch is a RAM program: it brings no reset vector.
  if (!LoadImage(kPatchFile, m_patchImage, kPatchLimit, ImageUse::kRamProgram)) {
    Fail();
    return;
  }
  m_patchLast = m_patchImage.LastIndex;
  m_patchIndex = 0;
  m_progressMax = 8 + 8 * m_lastBlock + 4 * m_patchLast + 258;
  m_form.ReportProgress(progress::kMaximum, m_progressMax);
  SyncThen(&T_BSL430::StepRestartLoader);
}

void T_BSL430::StepRestartLoader() {
  Send(kRomProtocol.restartLoader, Header(kLoaderRestart, kFillerWord));
}

void T_BSL430::AfterRestart() {
  SyncThen(&T_BSL430::StepPatchPassword);
}

void T_BSL430::StepPatchPassword() {
  Send(kRomProtocol.patchPassword, PasswordPayload());
}

void T_BSL430::AfterPatchPassword() {
  m_patchIndex = 0;
  SyncThen(&T_BSL430::StepWritePatch);
}

void T_BSL430::StepWritePatch() {
  Send(kRomProtocol.writePatch, WritePayload(m_patchImage.blocks[static_cast<size_t>(m_patchIndex)]));
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
  Send(kRomProtocol.readBackPatch, ReadPayload(m_patchImage.blocks[static_cast<size_t>(m_patchIndex)]));
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
    SyncThen(&T_BSL430::StepErase);
  }
}

void T_BSL430::StepRunPatch() {
  const uint16_t address = m_patchImage.blocks.empty() ? 0 : m_patchImage.blocks[0].address;
  Send(kRomProtocol.runPatch, Header(address, kFillerWord));
}

void T_BSL430::AfterRunPatch() {
  SyncThen(m_savedStep);
}

}  // namespace programmers
