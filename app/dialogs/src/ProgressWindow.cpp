#include "torq/app/ProgressWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>

#include "torq/app/DialogWidgets.h"

namespace torq::app {

namespace {

// The bar counts in int; larger totals are shown in proportion.
constexpr std::uint64_t kBarLimit = static_cast<std::uint64_t>(std::numeric_limits<int>::max());

int BarValue(std::uint64_t value, std::uint64_t total) {
    if (total <= kBarLimit)
        return static_cast<int>(std::min(value, total));
    return static_cast<int>(static_cast<long double>(std::min(value, total)) * kBarLimit / total);
}

}  // namespace

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      bar_(Named(new QProgressBar(this), "ProgressBar")) {
    setObjectName(QStringLiteral("TProgressWindow"));
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(bar_);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(true);
    bar_->setMinimumWidth(320);
    setFixedSize(sizeHint());
}

void ProgressWindow::Repaint() {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressWindow::CentreOnScreen() {
    QScreen* screen =
        parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void ProgressWindow::Begin(std::uint64_t total) {
    total_ = total;
    bar_->setRange(0, BarValue(total, total));
    bar_->setValue(0);
    CentreOnScreen();
    show();
    raise();
    activateWindow();
    Repaint();
}

void ProgressWindow::Progress(std::uint64_t done, std::uint64_t total) {
    if (total != total_) {
        total_ = total;
        bar_->setRange(0, BarValue(total, total));
    }
    bar_->setValue(BarValue(done, total));
    Repaint();
}

void ProgressWindow::End() {
    bar_->setValue(bar_->maximum());
    // The full bar stays in view a moment, so even a short decode is seen to finish.
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < kFinishedShownMs) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents,
                                    static_cast<int>(kFinishedShownMs - shown.elapsed()));
        QThread::msleep(5);
    }
    hide();
}

void ProgressWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // While a decode runs the window keeps the focus: a click elsewhere would otherwise hide it
    // behind the window that cannot answer until the decode ends.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) {
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && !isActiveWindow())
                activateWindow();
        });
    }
}

}  // namespace torq::app
