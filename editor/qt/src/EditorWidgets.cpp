#include "torq/editor/qt/EditorWidgets.h"

#include <QApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>

namespace torq::editor::qt {

QFont FixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QValidator::State HexValidator::validate(QString& input, int& /*position*/) const {
    for (QChar& c : input) {
        const char16_t u = c.unicode();
        const bool digit = u >= u'0' && u <= u'9';
        const bool upper = u >= u'A' && u <= u'F';
        const bool lower = u >= u'a' && u <= u'f';
        if (!digit && !upper && !lower)
            return Invalid;
        if (lower)
            c = c.toUpper();
    }
    return Acceptable;
}

QLineEdit* MakeHexField(QWidget* parent, const char* objectName, int digits) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(objectName));
    field->setValidator(new HexValidator(field));
    field->setMaxLength(digits);
    field->setFont(FixedFont());
    const QFontMetrics metrics(field->font());
    // Room for the digits plus the frame and the text margins.
    const int width = metrics.horizontalAdvance(QString(digits + 2, QLatin1Char('0')));
    if (digits <= 4)
        field->setFixedWidth(width);  // a byte or a word: no need to stretch
    else
        field->setMinimumWidth(width);
    return field;
}

QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
}

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

void BarProgress::Begin(std::uint64_t /*total*/) {
    bar_->setRange(0, 1000);
    bar_->setValue(0);
    bar_->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    lastPaintMs_ = 0;
}

void BarProgress::Progress(std::uint64_t done, std::uint64_t total) {
    // Repaint a few times a second; more would cost the job more than it shows.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastPaintMs_ < 50 && done < total)
        return;
    lastPaintMs_ = now;
    bar_->setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void BarProgress::End() {
    bar_->hide();
    QApplication::restoreOverrideCursor();
}

SearchProgressDialog::SearchProgressDialog(QWidget* parent) : parent_(parent) {}

SearchProgressDialog::~SearchProgressDialog() = default;

void SearchProgressDialog::Begin(std::uint64_t /*total*/) {
    started_.start();
    lastPaintMs_ = 0;
}

void SearchProgressDialog::Progress(std::uint64_t done, std::uint64_t total) {
    const qint64 now = started_.elapsed();
    if (now - lastPaintMs_ < 50 && done < total)
        return;
    lastPaintMs_ = now;
    if (!dialog_ && now >= kShowAfterMs) {
        dialog_ = std::make_unique<QProgressDialog>(QStringLiteral("Searching the buffer..."),
                                                    QStringLiteral("Cancel"), 0, 1000, parent_);
        dialog_->setObjectName(QStringLiteral("SearchProgressDialog"));
        dialog_->setWindowTitle(QStringLiteral("Find"));
        // Window-modal: while it shows, only Cancel takes input, so nothing starts beside the
        // search.
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->show();
    }
    if (dialog_) {
        dialog_->setValue(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
        QApplication::processEvents();
    } else {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void SearchProgressDialog::End() {
    dialog_.reset();
}

bool SearchProgressDialog::StopRequested() {
    return dialog_ != nullptr && dialog_->wasCanceled();
}

}  // namespace torq::editor::qt
