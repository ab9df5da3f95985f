// SIGTERM and SIGINT end the program as closing the window does. The handler only writes a byte
// to a pipe; the event loop reads it and calls `end` on the window's thread, even while a modal
// box runs its own loop.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace torq::app {

class SignalEnding final : public QObject {
    Q_OBJECT
  public:
    // One at a time: the handlers are the process's. The previous handlers come back when this
    // object goes.
    explicit SignalEnding(std::function<void()> end, QObject* parent = nullptr);
    ~SignalEnding() override;
    SignalEnding(const SignalEnding&) = delete;
    SignalEnding& operator=(const SignalEnding&) = delete;

    // False when the pipe could not be made: the signals then end the program at once.
    bool Installed() const { return notifier_ != nullptr; }

  private:
    std::function<void()> end_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace torq::app
