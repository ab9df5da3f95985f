#include "WorkerEvents.h"

#include <thread>

namespace torq::worker {

void EventQueue::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
}

bool EventQueue::RunPending(std::chrono::milliseconds wait, std::chrono::milliseconds budget) {
    std::deque<std::function<void()>> tasks;
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, wait, [this] { return !tasks_.empty(); });
        tasks.swap(tasks_);
    }
    const auto until = std::chrono::steady_clock::now() + budget;
    while (!tasks.empty()) {
        tasks.front()();
        tasks.pop_front();
        if (std::chrono::steady_clock::now() >= until)
            break;
    }
    if (tasks.empty())
        return false;
    const std::lock_guard lock(mutex_);
    tasks.insert(tasks.end(), std::make_move_iterator(tasks_.begin()),
                 std::make_move_iterator(tasks_.end()));
    tasks_.swap(tasks);
    return true;
}

void RunWhileServing(EventQueue& queue, Pump& pump, const std::function<void()>& work) {
    bool done = false;  // set by the last task the worker posts
    {
        const std::jthread thread([&] {
            work();
            queue.Post([&done] { done = true; });
        });
        while (!done) {
            queue.RunPending(kEventWait, kEventBudget);
            pump.ProcessPendingMessages();
        }
    }
}

void ForwardedLines::LineAdded(const std::string& line) {
    queue_.Post([&target = target_, line] { target.WriteInfoLine(line, false); });
}

Answer ForwardedOperator::Respond(const OperatorMessage& message) {
    const std::string caption(message.caption);
    const std::string text(message.text);
    const Severity severity = message.severity;
    const Buttons buttons = message.buttons;
    return queue_.Call([&] { return target_.Respond({severity, caption, text, buttons}); });
}

}  // namespace torq::worker
