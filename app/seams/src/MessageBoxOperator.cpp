#include "torq/app/seams/MessageBoxOperator.h"

#include <QMessageBox>

namespace torq::app {

Answer MessageBoxOperator::Respond(const OperatorMessage& message) {
    QMessageBox box(parent_);
    switch (message.severity) {
        case Severity::Plain:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Severity::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Severity::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Severity::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case Severity::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    box.setWindowTitle(message.caption.empty()
                           ? QStringLiteral("TORQ-SPI")
                           : QString::fromUtf8(message.caption.data(),
                                               static_cast<qsizetype>(message.caption.size())));
    box.setText(
        QString::fromUtf8(message.text.data(), static_cast<qsizetype>(message.text.size())));
    switch (message.buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesRetryCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::Retry | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Retry:
            return Answer::Retry;
        default:
            return message.buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

}  // namespace torq::app
