// The seams through which the toolkit-free core talks to whoever drives it: the window, the
// command-line tool or a test. The core never shows a window itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torq {

enum class Severity { Plain, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesRetryCancel };
enum class Answer { Ok, Cancel, Yes, No, Retry };

// One message box: its kind (the icon), its caption, its text and its buttons. An empty caption
// means the program's own title.
struct OperatorMessage {
    Severity severity = Severity::Information;
    std::string_view caption;
    std::string_view text;
    Buttons buttons = Buttons::Ok;
};

// The modal questions and warnings an operation may put to the operator.
class Operator {
  public:
    virtual ~Operator() = default;
    // Shows the message and returns the button chosen (Cancel, or No, when the box is closed).
    virtual Answer Respond(const OperatorMessage& message) = 0;

    Answer Ask(Severity severity, std::string_view text, Buttons buttons) {
        return Respond({severity, {}, text, buttons});
    }
    Answer Ask(Severity severity, std::string_view caption, std::string_view text,
               Buttons buttons) {
        return Respond({severity, caption, text, buttons});
    }
    // A message with a single OK button.
    void Tell(Severity severity, std::string_view text) { Ask(severity, text, Buttons::Ok); }
    void Tell(Severity severity, std::string_view caption, std::string_view text) {
        Ask(severity, caption, text, Buttons::Ok);
    }
};

// The choice that refuses, as closing a box without a click gives it: No for a Yes/No question,
// Cancel where there is a Cancel button, OK for a plain message.
inline Answer CancellingAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesRetryCancel:
            break;
    }
    return Answer::Cancel;
}

// "Let the window process its pending messages" during long exchanges.
class Pump {
  public:
    virtual ~Pump() = default;
    virtual void ProcessPendingMessages() {}
};

// How far a long job has come: the decoders' progress window and the operations' progress bar
// both read it. Begin and End frame one job; Progress reports done out of total between them.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void Begin(std::uint64_t /*total*/) {}
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;
    virtual void End() {}
};

struct LocalDateTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The millisecond tick and the wall clock, injectable so time-dependent texts can be tested.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds from an arbitrary origin; wraps at 32 bits, so take differences unsigned.
    virtual std::uint32_t TickMs() const = 0;
    virtual LocalDateTime Now() const = 0;
};

class SystemClock final : public Clock {
  public:
    std::uint32_t TickMs() const override;
    LocalDateTime Now() const override;
    static const SystemClock& Instance();
};

// Elapsed milliseconds between two ticks, correct across the 32-bit wrap.
inline std::uint32_t TicksBetween(std::uint32_t start, std::uint32_t end) {
    return end - start;
}

// An operator that never asks anyone: every question gets the given answer.
class FixedOperator final : public Operator {
  public:
    explicit FixedOperator(Answer answer = Answer::Ok) : answer_(answer) {}
    Answer Respond(const OperatorMessage&) override { return answer_; }

  private:
    Answer answer_;
};

}  // namespace torq
