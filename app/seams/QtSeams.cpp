#include "seams/QtSeams.h"

#include <QCoreApplication>
#include <iostream>

namespace torq::app {

void QtPump::ProcessPendingMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

Answer EndingOperator::Respond(const OperatorMessage& message) {
    if (!ending_)
        return op_.Respond(message);
    std::cerr << "torq-spi: " << message.text << "\n";
    return CancellingAnswer(message.buttons);
}

QtTimer::QtTimer(const char* objectName, int intervalMs, QObject* parent)
    : timer_(new QTimer(parent)) {
    timer_->setObjectName(QString::fromLatin1(objectName));
    timer_->setInterval(intervalMs);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
        if (tick_)
            tick_();
    });
}

void QtTimer::SetTick(std::function<void()> tick) {
    tick_ = std::move(tick);
}

}  // namespace torq::app
