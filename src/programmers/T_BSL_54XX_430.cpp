#include "programmers/T_BSL_54XX_430.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace programmers {
namespace {

using namespace msp430;

constexpr int32_t kEntryWaitMs = 4000;
constexpr int32_t kRestoreWaitMs = 1500;
constexpr int32_t kRateSwitchWaitMs = 1000;  // after the port follows the loader to 38400
constexpr int32_t kBeforeStartMs = 3000;

constexpr uint16_t kFillWord = T_BSL430::kPasswordFill * 0x0101;
constexpr uint16_t kErasedWord = 0xFFFF;
// The loader's own area and the info memory start at 0x1800: those segments
// are not erased with the image.
constexpr int32_t kLowestErase = 0x1800;
// The device ID: 4 bytes at 0x1A04.
constexpr uint32_t kDeviceIdAddress = 0x1A04;
constexpr uint16_t kDeviceIdLength = 4;
constexpr uint8_t kRate38400 = 0x04;  // of the baud-rate command (02 9600 ... 06 115200)

void PushAddress(std::vector<uint8_t>& data, uint32_t address) {
  data.push_back(static_cast<uint8_t>(address));
  data.push_back(static_cast<uint8_t>(address >> 8));
  data.push_back(static_cast<uint8_t>(address >> 16));
}

void PushWord(std::vector<uint8_t>& data, uint32_t word) {
  data.push_back(static_cast<uint8_t>(word));
  data.push_back(static_cast<uint8_t>(word >> 8));
}

}  // namespace

// The 5xx loader's protocol: for each step its core command, the error
// step the run reports while it waits, and what an ACK byte, a refusal (a
// NAK byte or the slot running out), a data response and a message of
// status 0 run. Every step is sent at once; there is no synchronisation.
struct T_BSL_54XX_430::PacketProtocol {
  using Step = PacketSteps::Step;
  using T = T_BSL_54XX_430;
  Step password = Step(Bsl5xxCode::kRxPassword, 4).OnNak(&T::SendPassword).OnMessage(&T::SendVersionQuery);
  Step version = Step(Bsl5xxCode::kTxBslVersion, 2)
                     .OnNak(&T::SendVersionQuery)
                     .OnAnswer(&T::OnVersion)
                     .OnMessage(nullptr);
  Step deviceId = Step(Bsl5xxCode::kTxDataBlock, 2)
                      .OnNak(&T::SendDeviceIdQuery)
                      .OnAnswer(&T::OnDeviceId)
                      .OnMessage(nullptr);
  Step baudRate = Step(Bsl5xxCode::kChangeBaudRate, 3).OnAck(&T::FollowTo38400).OnNak(&T::SendBaudRate);
  Step erase = Step(Bsl5xxCode::kEraseSegment, 5).OnNak(&T::SendErase).OnMessage(&T::NextEraseSegment);
  Step vectorErase =
      Step(Bsl5xxCode::kEraseSegment, 6).OnNak(&T::SendVectorErase).OnMessage(&T::VectorEraseDone);
  Step write = Step(Bsl5xxCode::kRxDataBlock, 8).OnNak(&T::SendBlock).OnMessage(&T::NextWriteBlock);
  Step readBack =
      Step(Bsl5xxCode::kTxDataBlock, 9).OnNak(&T::SendReadBack).OnAnswer(&T::CompareBlock).OnMessage(nullptr);
  Step start = Step(Bsl5xxCode::kLoadPc, 10).OnAck(&T::Done).OnNak(&T::SendStart);
};

const T_BSL_54XX_430::PacketProtocol T_BSL_54XX_430::kPacketProtocol{};

T_BSL_54XX_430::T_BSL_54XX_430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                               serial::TComPort& port)
    : T_BSL430(form, delay, deviceRecord, port, RunConstants{kFileLimit5xx, {kEntryWaitMs, kRestoreWaitMs}}),
      // A step is sent at most three times in a row; a time-out counts as
      // a refusal.
      m_packetSteps(*this, 2, PacketSteps::TimeOut::kAsRefusal, m_errorStep) {}

void T_BSL_54XX_430::ShowError() {
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  if (!m_errorShown) {
    T_BSL430::ShowError();
    m_errorShown = true;
  }
  Fail();
  m_errorStepSaved = m_errorStep;
}

bool T_BSL_54XX_430::ReadImage(const std::string& fileName) {
  if (!LoadImage(fileName, m_image32, m_run.fileLimit)) return false;
  m_lastBlock = m_image32.LastIndex;
  return true;
}

void T_BSL_54XX_430::StartInLoader() {
  const LoaderStateRecord& table = m_deviceRecord.LoaderState;
  if (table.tableKnown) {
    // What the last run left in the chip: after a failure past the vector
    // erase the old reset vector no longer opens the loader.
    for (size_t i = 0; i < m_passwordWords.size(); ++i)
      m_passwordWords[i] =
          static_cast<uint16_t>(table.vectorTable[2 * i] | (table.vectorTable[2 * i + 1] << 8));
  } else {
    // The remembered reset vector goes where it belongs, at 0xFFFE, among
    // erased vectors.
    m_passwordWords.fill(kFillWord);
    m_passwordWords[15] = static_cast<uint16_t>(
        m_deviceRecord.ResetVectorKnown ? m_deviceRecord.ResetVector : ReadHexWord(kDefaultVector));
  }
  m_mayTryErased = std::any_of(m_passwordWords.begin(), m_passwordWords.end(),
                               [](uint16_t w) { return w != kErasedWord; });
  EnterLoader(false);
}

void T_BSL_54XX_430::SetPasswordFromText(const char* text) {
  m_passwordWords.fill(kFillWord);
  const size_t length = text ? std::strlen(text) : 0;
  const size_t tokens = std::min<size_t>((length + 5) / 6, 16);
  for (size_t k = 0; k < tokens; ++k) {
    char token[7] = {};
    std::memcpy(token, text + 6 * k, std::min<size_t>(6, length - 6 * k));
    m_passwordWords[15 - k] = static_cast<uint16_t>(ReadHexWord(token));
  }
}

int32_t T_BSL_54XX_430::TakeVectorText(const char* text) {
  SetPasswordFromText(text);
  // The record keeps the reset vector (word 15, 0xFFFE), as the ROM loader's
  // programmer does, so a later run in the loader builds the same password.
  return m_passwordWords[15];
}

void T_BSL_54XX_430::StartLoaderProtocol(bool /*sync*/) {
  SendPassword();  // no synchronisation byte in this protocol
}

std::vector<BslReceipt> T_BSL_54XX_430::ScanReceived(std::vector<uint8_t>& buffer) {
  return ScanBsl5xx(buffer);
}

void T_BSL_54XX_430::OnAck() {
  m_packetSteps.Ack();
}

void T_BSL_54XX_430::OnFrame(const std::vector<uint8_t>& frame) {
  const uint8_t kind = frame[3];
  if (kind == Byte(Bsl5xxCode::kDataResponse)) {
    m_packetSteps.Answer(frame);
  } else if (kind == Byte(Bsl5xxCode::kMessage) && frame.size() >= 7) {
    const auto status = static_cast<Bsl5xxStatus>(frame[4]);
    const bool passwordRefused = status == Bsl5xxStatus::kPasswordError && !m_sentCore.empty() &&
                                 m_sentCore[0] == Byte(Bsl5xxCode::kRxPassword);
    NoteMessage(frame[4]);
    if (status == Bsl5xxStatus::kOk) {
      m_packetSteps.Message();
    } else if (passwordRefused && m_mayTryErased) {
      // The refusal has erased the flash, so the erased table is the
      // password now (the tool may have been restarted since the erase).
      m_mayTryErased = false;
      m_passwordWords.fill(kErasedWord);
      SendPassword();
    } else if (status == Bsl5xxStatus::kWriteCheckFailed || status == Bsl5xxStatus::kFlashFailBit ||
               status == Bsl5xxStatus::kVoltageChanged || status == Bsl5xxStatus::kPasswordError) {
      ShowError();
    }
  }
  m_form.ReportProgress(progress::kStep, 1);
}

void T_BSL_54XX_430::RetryRule(bool timeOut) {
  if (m_finished) return;
  const PacketSteps::Retry retry = timeOut ? m_packetSteps.TimedOut() : m_packetSteps.Refused();
  if (retry.kind == PacketSteps::Retry::Kind::kExhausted)
    RetriesExhausted();
  else if (retry.kind == PacketSteps::Retry::Kind::kAgain)
    (this->*retry.step)();
}

void T_BSL_54XX_430::NoteMessage(uint8_t status) {
  const std::vector<uint8_t> core = std::exchange(m_sentCore, {});
  if (core.size() < 4) return;
  LoaderStateRecord& table = m_deviceRecord.LoaderState;
  if (core[0] == Byte(Bsl5xxCode::kRxPassword)) {
    if (status == Byte(Bsl5xxStatus::kOk)) table.Accepted(core.data() + 1);
    if (status == Byte(Bsl5xxStatus::kPasswordError)) table.AllErased();
    return;
  }
  if (status != Byte(Bsl5xxStatus::kOk)) return;
  const uint32_t address = core[1] | (core[2] << 8) | (core[3] << 16);
  if (core[0] == Byte(Bsl5xxCode::kEraseSegment)) table.SegmentErased(address);
  if (core[0] == Byte(Bsl5xxCode::kRxDataBlock)) table.Written(address, core.data() + 4, core.size() - 4);
}

void T_BSL_54XX_430::SendPacket(const PacketSteps::Step& step, const std::vector<uint8_t>& data) {
  if (LineLost()) return;
  m_packetSteps.Arm(step);
  std::vector<uint8_t> core(1 + data.size());
  core[0] = Byte(step.command);
  std::copy(data.begin(), data.end(), core.begin() + 1);
  m_sentCore = core;
  const std::vector<uint8_t> frame = Bsl5xxFrame(core);
  m_port.Write(frame.data(), static_cast<int32_t>(frame.size()), false);
}

int32_t T_BSL_54XX_430::SecondBlockStart() const {
  return m_image32.blocks.size() > 1 ? static_cast<int32_t>(m_image32.blocks[1].address) : 0;
}

// --- start-up

void T_BSL_54XX_430::SendPassword() {
  std::vector<uint8_t> data;
  for (uint16_t word : m_passwordWords) PushWord(data, word);
  SendPacket(kPacketProtocol.password, data);
}

void T_BSL_54XX_430::SendVersionQuery() {
  SendPacket(kPacketProtocol.version);
}

void T_BSL_54XX_430::OnVersion(const std::vector<uint8_t>& /*frame*/) {
  SendDeviceIdQuery();
}

void T_BSL_54XX_430::SendDeviceIdQuery() {
  std::vector<uint8_t> data;
  PushAddress(data, kDeviceIdAddress);
  PushWord(data, kDeviceIdLength);
  SendPacket(kPacketProtocol.deviceId, data);
}

void T_BSL_54XX_430::OnDeviceId(const std::vector<uint8_t>& /*frame*/) {
  m_packetSteps.Arm(PacketSteps::Step().OnAnswer(nullptr));
  StartErase(SecondBlockStart());
  if (m_deviceRecord.KeepSlowRate[m_handOver.ModeIndex()])
    SendErase();
  else
    SendBaudRate();
}

void T_BSL_54XX_430::SendBaudRate() {
  SendPacket(kPacketProtocol.baudRate, {kRate38400});
}

void T_BSL_54XX_430::FollowTo38400() {
  m_packetSteps.Arm(PacketSteps::Step().OnAck(nullptr));
  m_handOver.SetLoaderRate(true);
  Wait(kRateSwitchWaitMs);
  SendErase();
}

// --- erase

void T_BSL_54XX_430::SendErase() {
  if (m_eraseAddress <= kLowestErase) {
    // Nothing is sent for these segments, so no answer would come: skip.
    m_packetSteps.Arm(kPacketProtocol.erase);
    NextEraseSegment();
    return;
  }
  std::vector<uint8_t> data;
  PushAddress(data, static_cast<uint32_t>(m_eraseAddress));
  SendPacket(kPacketProtocol.erase, data);
}

void T_BSL_54XX_430::NextEraseSegment() {
  const int32_t low = SecondBlockStart();
  const int32_t first = static_cast<int32_t>(m_image32.blocks[0].address);
  // 0xFE00 waits for the vector erase.
  m_eraseAddress = m_eraseAddress == kUpperHalf ? kDefaultEraseTop : m_eraseAddress - kSegmentSize;
  bool over = m_eraseAddress < low - kSegmentSize;
  if (!over) {
    if (m_eraseAddress + 256 == low) m_eraseAddress = low;
    if (m_eraseAddress < low) {
      // Down to the first block once, when it lies below the second; else
      // the sequence would climb back up and never end.
      if (first < low)
        m_eraseAddress = first;
      else
        over = true;
    }
  }
  if (over) {
    m_blockIndex = 0;
    SendBlock();
    return;
  }
  SendErase();
}

void T_BSL_54XX_430::SendVectorErase() {
  std::vector<uint8_t> data;
  PushAddress(data, kInVectorSegment);
  SendPacket(kPacketProtocol.vectorErase, data);
}

void T_BSL_54XX_430::VectorEraseDone() {
  m_vectorSegmentErased = true;
  SendBlock();
}

// --- write and read back

void T_BSL_54XX_430::SendBlock() {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  const uint64_t end = uint64_t{block.address} + block.DataLength();
  if (end >= kVectorSegment && block.address < kUpperHalf && !m_vectorSegmentErased) {
    m_eraseAddress = kInVectorSegment;
    SendVectorErase();
    return;
  }
  std::vector<uint8_t> data;
  PushAddress(data, block.address);
  data.insert(data.end(), block.data.begin(),
              block.data.begin() + static_cast<std::ptrdiff_t>(block.DataLength()));
  SendPacket(kPacketProtocol.write, data);
}

void T_BSL_54XX_430::NextWriteBlock() {
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    SendBlock();
  } else {
    m_blockIndex = 0;
    SendReadBack();
  }
}

void T_BSL_54XX_430::SendReadBack() {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  std::vector<uint8_t> data;
  PushAddress(data, block.address);
  PushWord(data, static_cast<uint8_t>(block.DataLength()));
  SendPacket(kPacketProtocol.readBack, data);
}

void T_BSL_54XX_430::CompareBlock(const std::vector<uint8_t>& frame) {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  const size_t nl = frame[1] | (size_t{frame[2]} << 8);
  const size_t n = nl > 0 ? nl - 1 : 0;
  if (!ReadBackMatches(frame, n, block)) {
    Fail();  // error step 9 stays
    return;
  }
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    SendReadBack();
  } else {
    m_packetSteps.Arm(PacketSteps::Step().OnAnswer(nullptr));
    Wait(kBeforeStartMs);
    SendStart();
  }
}

uint32_t T_BSL_54XX_430::StartAddress() const {
  // The chip starts at its reset vector (0xFFFE); take it where the image
  // holds it.
  for (const ImageBlock32& b : m_image32.blocks) {
    if (b.address <= kResetVectorAddress && uint64_t{b.address} + b.DataLength() >= kUpperHalf)
      return b.data[kResetVectorAddress - b.address] | (b.data[kResetVectorAddress + 1 - b.address] << 8);
  }
  const ImageBlock32& last = m_image32.blocks[static_cast<size_t>(m_lastBlock)];
  const size_t n = last.DataLength();
  return n >= 4 ? static_cast<uint32_t>(last.data[n - 4] | (last.data[n - 3] << 8)) : 0;
}

void T_BSL_54XX_430::SendStart() {
  std::vector<uint8_t> data;
  PushAddress(data, StartAddress());
  SendPacket(kPacketProtocol.start, data);
}

}  // namespace programmers
