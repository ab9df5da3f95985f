// Device work on a worker thread while the starting (window) thread stays responsive: what the
// worker has to show or ask goes to the starting thread as queued tasks, run there in the order
// they were posted, while that thread goes on processing its messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"

namespace torq::worker {

// How long the starting thread waits for an event before it processes its messages again, and
// how long it runs events before it does: well under a frame, so the window keeps painting.
inline constexpr auto kEventWait = std::chrono::milliseconds(5);
inline constexpr auto kEventBudget = std::chrono::milliseconds(8);

// Tasks the workers hand to the starting thread.
class EventQueue {
  public:
    void Post(std::function<void()> task);
    // Runs the tasks that have come, waiting up to `wait` for the first, for at most `budget`:
    // what is left runs at the next call, before anything posted since, so that a burst of
    // events never keeps the thread from its messages for longer than a frame. True when some
    // are left.
    bool RunPending(std::chrono::milliseconds wait, std::chrono::milliseconds budget);

    // Runs `task` on the starting thread and waits for its result (from a worker only).
    template <class Task>
    auto Call(Task task) -> decltype(task()) {
        using Result = decltype(task());
        std::promise<Result> promise;
        std::future<Result> result = promise.get_future();
        Post([&] {
            if constexpr (std::is_void_v<Result>) {
                task();
                promise.set_value();
            } else {
                promise.set_value(task());
            }
        });
        return result.get();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

// Runs `work` on a thread of its own; meanwhile this thread runs what it posts and processes
// its messages through `pump`. Returns when `work` has ended and everything it posted has run.
void RunWhileServing(EventQueue& queue, Pump& pump, const std::function<void()>& work);

// A worker's log lines (time-stamped and prefixed by its own log) go to the program's log in
// their order.
class ForwardedLines final : public LogView {
  public:
    ForwardedLines(EventQueue& queue, InformationLog& target) : queue_(queue), target_(target) {}
    void LineAdded(const std::string& line) override;
    void Reset(const std::vector<std::string>&) override {}

  private:
    EventQueue& queue_;
    InformationLog& target_;
};

// A worker's questions are asked on the starting thread; the worker waits for the answer.
class ForwardedOperator final : public Operator {
  public:
    ForwardedOperator(EventQueue& queue, Operator& target) : queue_(queue), target_(target) {}
    Answer Respond(const OperatorMessage& message) override;

  private:
    EventQueue& queue_;
    Operator& target_;
};

// A worker's link processes no messages in its waits: it has no window.
class NoPump final : public Pump {};

}  // namespace torq::worker
