#pragma once

#include <cstdint>
#include <string>

#include "programmers/ProgrammerRecord.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"

namespace programmers {

// The port around a loader run: its settings kept at the start, switched
// for the loader, given back at the end. Waits block without pumping.
class LoaderPort {
 public:
  struct Waits {
    int32_t entryMs;    // after the port is set for the loader
    int32_t restoreMs;  // after the port is given back
  };

  LoaderPort(serial::TComPort& port, serial::TDelay& delay, Waits waits)
      : m_port(port), m_delay(delay), m_waits(waits) {}

  // Keeps the port's settings for Restore.
  void Save() { m_port.SaveLastV24Parameter(); }
  // 8 data bits stay; NUL bytes are kept.
  void Switch(serial::BaudTag baud, serial::StopBitTag stopBits, serial::ParitaetTag parity);
  // Switch, without handshake; after the entry wait, what arrived at the
  // old settings is dropped.
  void Enter(serial::BaudTag baud, serial::StopBitTag stopBits, serial::ParitaetTag parity);
  // `slow`: the instruments' slow settings (9600 baud, 2 stop bits, no
  // parity, NUL bytes discarded), else the saved ones; then the restore wait.
  void Restore(bool slow);

 private:
  serial::TComPort& m_port;
  serial::TDelay& m_delay;
  const Waits m_waits;
};

// The request half of an MSP430 loader run over the instrument's ASCII
// line: ask for the reset vector (or take the default one), tell the
// instrument to hand over to its loader, and enter the loader when it
// answers; with the loader's line (8E1 at 9600 or 38400 baud) and the port
// given back after the run. The programmer builds the password and runs
// the loader protocol.
class LoaderHandOver {
 public:
  class Client {
   public:
    virtual bool SendCommand(const std::string& text) = 0;
    // Builds the password from a reset-vector text (the instrument's
    // answer or the default); returns the reset vector to remember.
    virtual int32_t TakeVectorText(const char* text) = 0;
    // The reset vector assumed when the instrument is not asked.
    virtual const char* DefaultVectorText() const = 0;
    // With the image chosen by the chip ID, the reset vector is not asked for.
    virtual bool ChipIdImageSkipsQuestion() const = 0;
    // The instrument is in its loader now.
    virtual void EnterLoader(bool sync) = 0;
    // The instrument refused the request: it has no loader.
    virtual void RequestRefused() = 0;

   protected:
    ~Client() = default;
  };

  LoaderHandOver(Client& client, ProgrammerRecord& record, serial::TComPort& port, serial::TDelay& delay,
                 LoaderPort::Waits waits);

  // Takes the run's options from the record; the hello command is out.
  void Begin();
  // The run is over (the line was lost): answers are taken without acting.
  void Stop() { m_phase = Phase::kOver; }
  // Keeps the port's settings for Restore.
  void SavePort() { m_port.Save(); }
  // Acts on the instrument's answers to the request (the reset vector, "!",
  // an answer line, "?"); false for any other code. An answer that does not
  // belong to the request's phase (a "!" after the hello's, a reset vector
  // not asked for) is taken without acting; a "?" is a refusal in any phase.
  bool OnCode(int32_t code, const char* text, bool loaderActive);

  // The port at the rate the loader listens at, 8E1, no handshake: 9600
  // after the hand-over, the noted rate for a loader a failed run left.
  void EnterLoaderLine();
  // The port (and the record) at one of the loader's two rates, 8E1.
  void SetLoaderRate(bool at38400);
  // After the run: the slow settings after success where the record asks
  // for them, else the saved ones.
  void Restore(bool failed);

  int32_t LoaderMode() const { return m_loaderMode; }
  // Of EraseTop and KeepSlowRate: mode 2 uses the mode 1 entries.
  int ModeIndex() const { return m_loaderMode == 0 ? 0 : 1; }
  bool VectorKnown() const { return m_phase == Phase::kHandOver; }
  // A loader that waits already: its password is known without asking.
  void SetVectorKnown() { m_phase = Phase::kHandOver; }

 private:
  // What the request waits for.
  enum class Phase {
    kHello,     // the "!" to the hello command
    kQuestion,  // the reset vector asked for
    kHandOver,  // the answer line to the hand-over (the vector is known)
    kOver,
  };

  void TakeVector(const char* text);

  Client& m_client;
  ProgrammerRecord& m_record;
  serial::TDelay& m_delay;
  LoaderPort m_port;
  int32_t m_loaderMode = 0;
  bool m_askVector = false;
  Phase m_phase = Phase::kHello;
};

}  // namespace programmers
