#include "programmers/T_BSL_54XX_430.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/EventHandler.h"
#include "programmers/BslFrames.h"
#include "programmers/ImageCheck.h"
#include "programmers/ReadTiTxt.h"

namespace programmers {
namespace {

constexpr uint16_t kFillWord = T_BSL430::kPasswordFill * 0x0101;
// The loader's own area and the info memory start at 0x1800: those segments
// are not erased with the image.
constexpr int32_t kLowestErase = 0x1800;

void PushAddress(std::vector<uint8_t>& core, uint32_t address) {
  core.push_back(static_cast<uint8_t>(address));
  core.push_back(static_cast<uint8_t>(address >> 8));
  core.push_back(static_cast<uint8_t>(address >> 16));
}

}  // namespace

T_BSL_54XX_430::T_BSL_54XX_430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                               serial::TComPort& port)
    : T_BSL430(form, delay, deviceRecord, port, RunConstants{kFileLimit, 4000, 1500}) {}

void T_BSL_54XX_430::ShowError() {
  m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
  if (!m_errorShown) {
    if (m_errorStep > 15) m_errorStep = 16;
    m_form.ShowErrorBox(m_form.ErrorText(m_errorStep), "Error");
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
    for (size_t i = 0; i < m_password.size(); ++i)
      m_password[i] = static_cast<uint16_t>(table.vectorTable[2 * i] | (table.vectorTable[2 * i + 1] << 8));
  } else {
    // The remembered reset vector goes where it belongs, at 0xFFFE, among
    // erased vectors.
    m_password.fill(kFillWord);
    m_password[15] = static_cast<uint16_t>(m_deviceRecord.ResetVectorKnown ? m_deviceRecord.ResetVector
                                                                           : ReadHexWord(kDefaultVector));
  }
  m_mayTryErased = std::any_of(m_password.begin(), m_password.end(), [](uint16_t w) { return w != 0xFFFF; });
  EnterLoader(false);
}

void T_BSL_54XX_430::SetPasswordFromText(const char* text) {
  m_password.fill(kFillWord);
  const size_t length = text ? std::strlen(text) : 0;
  const size_t tokens = std::min<size_t>((length + 5) / 6, 16);
  for (size_t k = 0; k < tokens; ++k) {
    char token[7] = {};
    std::memcpy(token, text + 6 * k, std::min<size_t>(6, length - 6 * k));
    m_password[15 - k] = static_cast<uint16_t>(ReadHexWord(token));
  }
}

void T_BSL_54XX_430::OnVectorText(const char* text) {
  SetPasswordFromText(text);
  m_vectorKnown = true;
  // The record keeps the reset vector (word 15, 0xFFFE), as the ROM loader's
  // programmer does, so a later run in the loader builds the same password.
  m_deviceRecord.ResetVector = m_password[15];
  m_deviceRecord.ResetVectorKnown = true;
  SendHandOver();
}

void T_BSL_54XX_430::StartLoaderProtocol(bool /*sync*/) {
  StepPassword();  // no synchronisation byte in this protocol
}

std::vector<BslReceipt> T_BSL_54XX_430::ScanReceived(std::vector<uint8_t>& buffer) {
  return ScanBsl5xx(buffer);
}

void T_BSL_54XX_430::OnAck() {
  if (m_ackStep) (this->*m_ackStep)();
}

void T_BSL_54XX_430::OnFrame(const std::vector<uint8_t>& frame) {
  const uint8_t kind = frame[3];
  if (kind == 0x3A) {
    if (m_answerStep) (this->*m_answerStep)(frame);
  } else if (kind == 0x3B && frame.size() >= 7) {
    const uint8_t status = frame[4];
    const bool passwordRefused = status == 5 && !m_sentCore.empty() && m_sentCore[0] == 0x11;
    NoteMessage(status);
    if (status == 0) {
      if (m_messageStep) (this->*m_messageStep)();
    } else if (passwordRefused && m_mayTryErased) {
      // The refusal has erased the flash, so the erased table is the
      // password now (the tool may have been restarted since the erase).
      m_mayTryErased = false;
      m_password.fill(0xFFFF);
      StepPassword();
    } else if (status == 1 || status == 2 || status == 3 || status == 5) {
      ShowError();
    }
  }
  m_form.ReportProgress(3, 1);
}

void T_BSL_54XX_430::RetryRule(bool /*timeOut*/) {
  if (!m_nakStep || m_finished) return;
  if (m_nakStep != m_tried1) {
    m_tried1 = m_nakStep;
  } else if (m_nakStep != m_tried2) {
    m_tried2 = m_nakStep;
  } else {
    m_timerSlot = m_form.Slots().StopSlot(m_timerSlot);
    Fail();
    return;
  }
  (this->*m_nakStep)();
}

void T_BSL_54XX_430::NoteMessage(uint8_t status) {
  const std::vector<uint8_t> core = std::exchange(m_sentCore, {});
  if (core.size() < 4) return;
  LoaderStateRecord& table = m_deviceRecord.LoaderState;
  if (core[0] == 0x11) {
    if (status == 0) table.Accepted(core.data() + 1);
    if (status == 5) table.AllErased();
    return;
  }
  if (status != 0) return;
  const uint32_t address = core[1] | (core[2] << 8) | (core[3] << 16);
  if (core[0] == 0x12) table.SegmentErased(address);
  if (core[0] == 0x10) table.Written(address, core.data() + 4, core.size() - 4);
}

void T_BSL_54XX_430::Send(const std::vector<uint8_t>& core, int32_t errorStep) {
  m_errorStep = errorStep;
  m_sentCore = core;
  const std::vector<uint8_t> frame = Bsl5xxFrame(core);
  m_port.Write(frame.data(), static_cast<int32_t>(frame.size()), false);
}

// --- start-up

void T_BSL_54XX_430::StepPassword() {
  m_messageStep = &T_BSL_54XX_430::StepVersion;
  m_nakStep = &T_BSL_54XX_430::StepPassword;
  std::vector<uint8_t> core{0x11};
  for (uint16_t word : m_password) {
    core.push_back(static_cast<uint8_t>(word));
    core.push_back(static_cast<uint8_t>(word >> 8));
  }
  Send(core, 4);
}

void T_BSL_54XX_430::StepVersion() {
  m_messageStep = nullptr;
  m_answerStep = &T_BSL_54XX_430::OnVersion;
  m_nakStep = &T_BSL_54XX_430::StepVersion;
  Send({0x19}, 2);
}

void T_BSL_54XX_430::OnVersion(const std::vector<uint8_t>& /*frame*/) {
  m_answerStep = nullptr;
  StepDeviceId();
}

void T_BSL_54XX_430::StepDeviceId() {
  m_messageStep = nullptr;
  m_answerStep = &T_BSL_54XX_430::OnDeviceId;
  m_nakStep = &T_BSL_54XX_430::StepDeviceId;
  Send({0x18, 0x04, 0x1A, 0x00, 0x04, 0x00}, 2);
}

void T_BSL_54XX_430::OnDeviceId(const std::vector<uint8_t>& /*frame*/) {
  m_answerStep = nullptr;
  const int mode = m_loaderMode == 0 ? 0 : 1;
  m_eraseAddress = m_deviceRecord.EraseTop[mode] > 0 ? m_deviceRecord.EraseTop[mode] : 0xFC00;
  const int32_t low = m_image32.blocks.size() > 1 ? static_cast<int32_t>(m_image32.blocks[1].address) : 0;
  m_progressMax += ((m_eraseAddress - low) / 512 + 2) * 2;
  m_form.ReportProgress(2, m_progressMax);
  if (m_deviceRecord.KeepSlowRate[mode])
    StepErase();
  else
    StepBaudRate();
}

void T_BSL_54XX_430::StepBaudRate() {
  m_ackStep = &T_BSL_54XX_430::SwitchTo38400;
  m_nakStep = &T_BSL_54XX_430::StepBaudRate;
  Send({0x52, 0x04}, 3);
}

void T_BSL_54XX_430::SwitchTo38400() {
  m_ackStep = nullptr;
  SetLoaderRate(true);
  Wait(1000);
  StepErase();
}

// --- erase

void T_BSL_54XX_430::StepErase() {
  m_messageStep = &T_BSL_54XX_430::NextSegment;
  m_nakStep = &T_BSL_54XX_430::StepErase;
  if (m_eraseAddress <= kLowestErase) {
    // Nothing is sent for these segments, so no answer would come: skip.
    m_errorStep = 5;
    NextSegment();
    return;
  }
  std::vector<uint8_t> core{0x12};
  PushAddress(core, static_cast<uint32_t>(m_eraseAddress));
  Send(core, 5);
}

void T_BSL_54XX_430::NextSegment() {
  const int32_t low = m_image32.blocks.size() > 1 ? static_cast<int32_t>(m_image32.blocks[1].address) : 0;
  const int32_t first = static_cast<int32_t>(m_image32.blocks[0].address);
  m_eraseAddress =
      m_eraseAddress == 0x10000 ? 0xFC00 : m_eraseAddress - 0x200;  // 0xFE00 waits for the vector erase
  bool over = m_eraseAddress < low - 512;
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
    StepWrite();
    return;
  }
  StepErase();
}

void T_BSL_54XX_430::StepVectorErase() {
  m_messageStep = &T_BSL_54XX_430::VectorSegmentErased;
  m_nakStep = &T_BSL_54XX_430::StepVectorErase;
  Send({0x12, 0xFF, 0xFF, 0x00}, 6);
}

void T_BSL_54XX_430::VectorSegmentErased() {
  m_vectorSegmentErased = true;
  StepWrite();
}

// --- write and read back

void T_BSL_54XX_430::StepWrite() {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  const uint64_t end = uint64_t{block.address} + block.DataLength();
  if (end >= 0xFE00 && block.address < 0x10000 && !m_vectorSegmentErased) {
    m_eraseAddress = 0xFFFF;
    StepVectorErase();
    return;
  }
  m_messageStep = &T_BSL_54XX_430::NextBlock;
  m_nakStep = &T_BSL_54XX_430::StepWrite;
  std::vector<uint8_t> core{0x10};
  PushAddress(core, block.address);
  const size_t n = block.DataLength();
  core.resize(4 + n);
  std::copy_n(block.data.begin(), n, core.begin() + 4);
  Send(core, 8);
}

void T_BSL_54XX_430::NextBlock() {
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    StepWrite();
  } else {
    m_blockIndex = 0;
    StepReadBack();
  }
}

void T_BSL_54XX_430::StepReadBack() {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  m_messageStep = nullptr;
  m_answerStep = &T_BSL_54XX_430::Compare;
  m_nakStep = &T_BSL_54XX_430::StepReadBack;
  std::vector<uint8_t> core{0x18};
  PushAddress(core, block.address);
  core.push_back(static_cast<uint8_t>(block.DataLength()));
  core.push_back(0x00);
  Send(core, 9);
}

void T_BSL_54XX_430::Compare(const std::vector<uint8_t>& frame) {
  const ImageBlock32& block = m_image32.blocks[static_cast<size_t>(m_blockIndex)];
  const size_t nl = frame[1] | (size_t{frame[2]} << 8);
  const size_t n = nl > 0 ? nl - 1 : 0;
  if (!ReadBackMatches(frame, n, block)) {
    Fail();  // error step 9 stays
    return;
  }
  if (m_blockIndex < m_lastBlock) {
    ++m_blockIndex;
    StepReadBack();
  } else {
    m_answerStep = nullptr;
    Wait(3000);
    StepStart();
  }
}

uint32_t T_BSL_54XX_430::StartAddress() const {
  // The chip starts at its reset vector (0xFFFE); take it where the image
  // holds it.
  for (const ImageBlock32& b : m_image32.blocks) {
    if (b.address <= 0xFFFE && uint64_t{b.address} + b.DataLength() >= 0x10000)
      return b.data[0xFFFE - b.address] | (b.data[0xFFFF - b.address] << 8);
  }
  const ImageBlock32& last = m_image32.blocks[static_cast<size_t>(m_lastBlock)];
  const size_t n = last.DataLength();
  return n >= 4 ? static_cast<uint32_t>(last.data[n - 4] | (last.data[n - 3] << 8)) : 0;
}

void T_BSL_54XX_430::StepStart() {
  m_ackStep = &T_BSL_54XX_430::Done;
  m_nakStep = &T_BSL_54XX_430::StepStart;
  const uint32_t address = StartAddress();
  Send({0x17, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0x00}, 10);
}

void T_BSL_54XX_430::Done() {
  m_loaderActive = false;
  m_deviceRecord.LoaderState.at38400 = false;  // the firmware runs; the loader is gone
  m_form.ReportProgress(10, 100);
  m_finished = true;
}

}  // namespace programmers
