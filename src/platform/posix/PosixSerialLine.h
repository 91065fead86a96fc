#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialLine.h"
#include "platform/posix/LineErrorCounter.h"
#include "platform/posix/Termios2.h"

namespace platform::posix {

// An open tty as the serial component drives it, with its reader and
// writer threads.
//
// Reader: polls the tty and an eventfd. While the input queue is empty it
// waits for POLLIN (at most 1000 ms); while unread data sits there it looks
// every 50 ms whether more came (level-triggered POLLIN would spin), and
// reports a round with data only when the total received grew. Line errors
// are deltas of the error counter, sampled at every wake-up. A hang-up
// (POLLHUP/POLLERR) is reported once; then only Close wakes it.
//
// Writer: parked on a condition variable until a background write comes.
//
// Owner's thread: every SerialLine call; Read and the synchronous Write
// block it within the time-outs.
class PosixSerialLine final : public SerialLine {
 public:
  static constexpr uint32_t kIdleRoundMs = 1000;
  static constexpr uint32_t kSampleMs = 50;
  // A change of the line settings waits until what was written last has had
  // its time on the line at the old settings (the driver's queue being empty
  // says nothing of the UART's FIFO or a USB adapter's buffer), but never
  // longer than this.
  static constexpr uint32_t kSettleLimitMs = 2000;
  // At most this much of a write is taken to be still in the hardware (a
  // UART's FIFO, a USB adapter's buffer) when the kernel's queue is empty.
  static constexpr uint64_t kInFlightBytes = 256;

  // Takes over the open, locked tty `fd`. `wakeups` (may be null) counts
  // the reader's wake-ups, for tests and diagnostics. Null, with `fd`
  // closed and `error` the errno, when the line's wake-up descriptors or
  // its writer cannot be made.
  static std::unique_ptr<PosixSerialLine> Open(int fd, std::string device,
                                               std::unique_ptr<LineErrorCounter> counter,
                                               std::shared_ptr<std::atomic<uint64_t>> wakeups, int& error);
  ~PosixSerialLine() override;

  bool GetState(DCB& dcb) override;
  bool SetState(const DCB& dcb) override;
  bool GetTimeouts(COMMTIMEOUTS& timeouts) override;
  bool SetTimeouts(const COMMTIMEOUTS& timeouts) override;
  void StartReader(SerialLineEvents& events) override;
  uint32_t Read(uint8_t* buffer, uint32_t count) override;
  WriteResult Write(const uint8_t* bytes, uint32_t count) override;
  bool WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) override;
  bool WriterBusy() override { return m_writerBusy.load(); }
  bool Purge(uint32_t flags) override;
  void ClearBreak() override;
  void Close() override;
  int LastError() const override { return m_lastError.load(); }

 private:
  PosixSerialLine(int fd, int readerWake, int writerWake, std::string device,
                  std::unique_ptr<LineErrorCounter> counter, std::shared_ptr<std::atomic<uint64_t>> wakeups);
  void KeepError(int error);  // as LastError
  void ReaderLoop();
  void WriterLoop();
  // Writes within the time-outs; `abortFd` readable aborts the write.
  WriteResult WriteBlocking(const uint8_t* bytes, uint32_t count, const COMMTIMEOUTS& t, int abortFd,
                            const std::atomic<bool>& abort);
  void SetModemLine(int bit, bool on);
  uint32_t CharacterMicros() const;
  // A write has handed `written` bytes to the driver: the line is busy until
  // what the kernel still queues and what the hardware may hold of them
  // have had their character time.
  void NoteSent(uint32_t written);
  // Sleeps until the bytes noted have left the line (at most kSettleLimitMs).
  void WaitForLineFree();

  int m_fd;
  std::string m_device;
  std::unique_ptr<LineErrorCounter> m_counter;
  std::shared_ptr<std::atomic<uint64_t>> m_wakeups;

  // Settings as found at open, put back by Close.
  KernelTermios m_savedTermios;
  int m_savedModem = 0;
  bool m_savedModemValid = false;

  DCB m_dcb{};  // settings in force (owner's thread)
  std::atomic<uint32_t> m_baud{9600};
  std::atomic<uint64_t> m_lineFreeAtMicros{0};  // monotonic clock; owner and writer
  COMMTIMEOUTS m_timeouts{};

  // Reader.
  SerialLineEvents* m_events = nullptr;
  std::thread m_reader;
  int m_readerWake;  // eventfd
  std::atomic<bool> m_stopReader{false};
  std::atomic<uint64_t> m_consumed{0};
  LineErrorCounts m_baseCounts;   // set before the reader starts
  bool m_countingErrors = false;  // bytes the owner has read from the tty

  // Writer.
  std::thread m_writer;
  int m_writerWake;  // eventfd: abort the running write
  std::mutex m_writerLock;
  std::condition_variable m_writerCv;
  bool m_writerPending = false;  // guarded by m_writerLock
  bool m_stopWriter = false;     // guarded by m_writerLock
  std::vector<uint8_t> m_writerBuffer;
  COMMTIMEOUTS m_writerTimeouts{};
  WriteDone m_writerDone;
  std::atomic<bool> m_writerBusy{false};
  std::atomic<bool> m_abortWrite{false};

  std::atomic<bool> m_closed{false};  // ClearBreak may come from the reader
  std::atomic<int> m_lastError{0};    // set by the owner, the reader and the writer
};

}  // namespace platform::posix
