#include "torq/editor/qt/EditorWidgets.h"

#include <QApplication>
#include <QDateTime>
#include <QProgressBar>
#include <QProgressDialog>

namespace torq::editor::qt {

QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
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
