#pragma once

#include <cstdint>
#include <functional>

#include "platform/SerialDcb.h"
#include "platform/SerialLineEvents.h"
#include "platform/SerialTimeouts.h"

namespace platform {

struct WriteResult {
  uint32_t written = 0;  // bytes that went out
  bool refused = false;  // the line refused the write at once (gone, aborted)
};

// One open serial port, as the serial component drives it. All calls come
// from the owner's thread; only the background write and the events run
// elsewhere. Closing is explicit (Close), destruction closes too.
class SerialLine {
 public:
  using WriteDone = std::function<void(const WriteResult&)>;

  virtual ~SerialLine() = default;

  // Line settings. GetState gives the settings in force (at open: the ones
  // the port had before). SetState returns false when the line refused.
  virtual bool GetState(DCB& dcb) = 0;
  virtual bool SetState(const DCB& dcb) = 0;
  virtual bool GetTimeouts(COMMTIMEOUTS& timeouts) = 0;
  virtual bool SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;

  // Starts the reader, which reports to `events` until Close.
  virtual void StartReader(SerialLineEvents& events) = 0;

  // Blocking read bounded by the read time-outs; bytes read (0 when nothing
  // came, also after a hang-up).
  virtual uint32_t Read(uint8_t* buffer, uint32_t count) = 0;

  // Blocking write bounded by the write time-outs.
  virtual WriteResult Write(const uint8_t* bytes, uint32_t count) = 0;

  // Starts a write on the line's writer and returns at once; `done` runs on
  // the writer's context when it has ended. False (nothing started) while
  // the previous background write still runs.
  virtual bool WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) = 0;
  virtual bool WriterBusy() = 0;

  // PURGE_* flags: clear the queues, abort a running background write.
  virtual bool Purge(uint32_t flags) = 0;
  virtual void ClearBreak() = 0;

  // The errno of the line's last failed system call (a read, a write, the
  // reader's wait), 0 while none has failed since the open. Kept like errno:
  // a later success does not clear it. Lines without system calls keep 0.
  virtual int LastError() const { return 0; }

  // Stops the reader and the writer (waits for them) and releases the port.
  // Settings put back with SetState before stay in force. Idempotent.
  virtual void Close() = 0;
};

}  // namespace platform
