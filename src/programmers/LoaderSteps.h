#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace programmers {

// The step mechanism of the programmers. A loader's protocol is a table of
// steps (rows of Step): what the step sends, the error step the run reports
// while it waits, and what runs on the other side's acknowledgement,
// refusal, answer frame, message of success and question ("?"). A step
// routine builds its command from the run's state, arms its row and sends;
// the programmer's event handler hands each answer to Ack, Answer, Message
// or Question, and a refusal or a time-out to Refused or TimedOut, which
// keep the retry history. The acknowledgement's action is the "next step",
// the question's the "question step".
//
// Owner is the programmer: its member functions are the actions. Command is
// what a step sends: a loader's command byte, or a command text.
template <class Owner, class Command = const char*>
class LoaderSteps {
 public:
  using Action = void (Owner::*)();
  using FrameAction = void (Owner::*)(const std::vector<uint8_t>&);

  // A reference that a row sets, or leaves as the step before armed it.
  template <class Fn>
  struct Ref {
    bool set = false;
    Fn fn = nullptr;
  };

  static constexpr int32_t kKeepErrorStep = -1;

  // One row: Step(command, errorStep).OnAck(...).OnNak(...) and so on; a
  // reaction left out keeps what the step before armed, nullptr empties it.
  struct Step {
    constexpr Step() = default;
    constexpr Step(Command sent, int32_t error) : command(sent), errorStep(error) {}

    constexpr Step OnAck(Action action) const { return With(&Step::ack, action); }  // the next step
    // A refusal: the step sent again, or what a refusal skips to.
    constexpr Step OnNak(Action action) const { return With(&Step::nak, action); }
    constexpr Step OnAnswer(FrameAction action) const { return With(&Step::answer, action); }
    constexpr Step OnMessage(Action action) const { return With(&Step::message, action); }
    constexpr Step OnQuestion(Action action) const { return With(&Step::question, action); }

    Command command{};
    int32_t errorStep = kKeepErrorStep;
    Ref<Action> ack;
    Ref<Action> nak;
    Ref<FrameAction> answer;
    Ref<Action> message;
    Ref<Action> question;

   private:
    template <class Fn>
    constexpr Step With(Ref<Fn> Step::*field, Fn action) const {
      Step step = *this;
      step.*field = Ref<Fn>{true, action};
      return step;
    }
  };

  // What the loader's slot running out while a step waits does.
  enum class TimeOut {
    kAsRefusal,  // the refused step is sent again
    kAckStep,    // the step the acknowledgement would start (the refused one when none)
    kFails,      // the run ends
  };

  struct Retry {
    enum class Kind { kNothing, kAgain, kExhausted };
    Kind kind = Kind::kNothing;
    Action step = nullptr;  // kAgain: what to run
  };

  // `retries`: how often one step may be refused in a row; a refusal counts
  // as "in a row" while the last `retries` refused steps were this one (the
  // history is never cleared, so it spans successful steps too).
  // `errorStep` is the run's error step, which the armed rows set.
  LoaderSteps(Owner& owner, int retries, TimeOut timeOut, int32_t& errorStep)
      : m_owner(owner),
        m_tried(static_cast<size_t>(retries), nullptr),
        m_timeOut(timeOut),
        m_errorStep(errorStep) {}

  void Arm(const Step& step) {
    if (step.errorStep != kKeepErrorStep) m_errorStep = step.errorStep;
    Take(m_ack, step.ack);
    Take(m_nak, step.nak);
    Take(m_answer, step.answer);
    Take(m_message, step.message);
    Take(m_question, step.question);
  }

  void Ack() { Run(m_ack); }
  void Message() { Run(m_message); }
  void Question() { Run(m_question); }
  void Answer(const std::vector<uint8_t>& frame) {
    if (const FrameAction action = m_answer) (m_owner.*action)(frame);
  }

  // A refusal of the armed step, counted in the history. The owner runs
  // the step of kAgain (and may send something before it).
  Retry Refused() { return Count(m_nak); }
  Retry TimedOut() {
    if (m_timeOut == TimeOut::kFails) return {Retry::Kind::kExhausted, nullptr};
    Retry retry = Count(m_nak);
    if (retry.kind == Retry::Kind::kAgain && m_timeOut == TimeOut::kAckStep && m_ack) retry.step = m_ack;
    return retry;
  }

  Action AckStep() const { return m_ack; }
  Action NakStep() const { return m_nak; }

 private:
  template <class Fn>
  static void Take(Fn& field, const Ref<Fn>& ref) {
    if (ref.set) field = ref.fn;
  }
  void Run(Action action) {
    if (action) (m_owner.*action)();
  }
  Retry Count(Action step) {
    if (!step) return {};
    for (Action& tried : m_tried) {
      if (tried != step) {
        tried = step;
        return {Retry::Kind::kAgain, step};
      }
    }
    return {Retry::Kind::kExhausted, nullptr};
  }

  Owner& m_owner;
  std::vector<Action> m_tried;
  const TimeOut m_timeOut;
  int32_t& m_errorStep;
  Action m_ack = nullptr;
  Action m_nak = nullptr;
  FrameAction m_answer = nullptr;
  Action m_message = nullptr;
  Action m_question = nullptr;
};

}  // namespace programmers
