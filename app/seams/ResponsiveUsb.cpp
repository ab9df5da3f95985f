#include "seams/ResponsiveUsb.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <chrono>

namespace torq::app {

namespace {
// A transfer done within this time returns without entering an event loop.
constexpr auto kQuickTransfer = std::chrono::milliseconds(1);
// Between quick transfers the window's events are handled at least this often (a frame).
constexpr qint64 kEventIntervalMs = 16;
}  // namespace

ResponsiveUsb::ResponsiveUsb(std::unique_ptr<UsbDevice> inner) : inner_(std::move(inner)) {
    // Kept until the device is let go of: whoever is told may call the device at once.
    inner_->SetChangeHandler([this](UsbChange change) {
        const std::lock_guard lock(changesMutex_);
        changes_.push_back(change);
    });
    worker_ = std::thread([this] { Work(); });
}

ResponsiveUsb::~ResponsiveUsb() {
    {
        const std::lock_guard lock(jobMutex_);
        stopping_ = true;
    }
    jobChanged_.notify_all();
    worker_.join();
    inner_->SetChangeHandler({});
}

void ResponsiveUsb::Work() {
    std::unique_lock lock(jobMutex_);
    for (;;) {
        jobChanged_.wait(lock, [this] { return stopping_ || (job_ && !jobDone_); });
        if (stopping_)
            return;
        lock.unlock();
        {
            const std::lock_guard device(deviceMutex_);
            job_();
        }
        lock.lock();
        jobDone_ = true;
        if (waiting_ != nullptr)
            QMetaObject::invokeMethod(waiting_, &QEventLoop::quit, Qt::QueuedConnection);
        jobChanged_.notify_all();
    }
}

void ResponsiveUsb::Run(const std::function<void()>& call) {
    if (inFlight_ || std::this_thread::get_id() == worker_.get_id()) {
        // Called from an event handled while a transfer is in flight: after that transfer.
        const std::lock_guard device(deviceMutex_);
        call();
        return;
    }
    inFlight_ = true;
    std::unique_lock lock(jobMutex_);
    job_ = call;
    jobDone_ = false;
    jobChanged_.notify_all();
    if (!jobChanged_.wait_for(lock, kQuickTransfer, [this] { return jobDone_; })) {
        QEventLoop loop;
        waiting_ = &loop;
        while (!jobDone_) {
            lock.unlock();
            loop.exec();
            lock.lock();
            // The loop also ends when the application is quitting: then wait without it.
            if (!jobDone_)
                jobChanged_.wait_for(lock, std::chrono::milliseconds(5));
        }
        waiting_ = nullptr;
        sinceEvents_.start();
    }
    job_ = nullptr;
    lock.unlock();
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventIntervalMs) {
        // A long series of quick transfers (a program or verify) lets the window paint too.
        QCoreApplication::processEvents();
        sinceEvents_.start();
    }
    inFlight_ = false;
}

int ResponsiveUsb::DeviceCount() {
    return Call<int>([this] { return inner_->DeviceCount(); });
}

bool ResponsiveUsb::Open(int deviceNumber) {
    return Call<bool>([&] { return inner_->Open(deviceNumber); });
}

void ResponsiveUsb::Close() {
    Run([this] { inner_->Close(); });
}

bool ResponsiveUsb::IsOpen() const {
    const std::lock_guard device(deviceMutex_);
    return inner_->IsOpen();
}

UsbIdentity ResponsiveUsb::Identity() const {
    const std::lock_guard device(deviceMutex_);
    return inner_->Identity();
}

std::string ResponsiveUsb::OpenProblem() const {
    const std::lock_guard device(deviceMutex_);
    return inner_->OpenProblem();
}

bool ResponsiveUsb::ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                              std::span<std::uint8_t> data) {
    return Call<bool>([&] { return inner_->ControlIn(request, value, index, data); });
}

bool ResponsiveUsb::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::span<const std::uint8_t> data) {
    return Call<bool>([&] { return inner_->ControlOut(request, value, index, data); });
}

bool ResponsiveUsb::BulkIn(std::span<std::uint8_t> data) {
    return Call<bool>([&] { return inner_->BulkIn(data); });
}

bool ResponsiveUsb::BulkOut(std::span<const std::uint8_t> data) {
    return Call<bool>([&] { return inner_->BulkOut(data); });
}

void ResponsiveUsb::SetTimeout(UsbEndpoint endpoint, std::uint32_t milliseconds) {
    const std::lock_guard device(deviceMutex_);
    inner_->SetTimeout(endpoint, milliseconds);
}

std::uint32_t ResponsiveUsb::Timeout(UsbEndpoint endpoint) const {
    const std::lock_guard device(deviceMutex_);
    return inner_->Timeout(endpoint);
}

void ResponsiveUsb::ProcessEvents() {
    // The notifications wait for the transfer in flight; they are delivered on this thread.
    if (inFlight_)
        return;
    {
        const std::lock_guard device(deviceMutex_);
        inner_->ProcessEvents();
    }
    std::deque<UsbChange> changes;
    {
        const std::lock_guard lock(changesMutex_);
        changes.swap(changes_);
    }
    for (const UsbChange change : changes)
        NotifyChange(change);
}

}  // namespace torq::app
