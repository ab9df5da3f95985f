// "Progress": the small window the hex decoders show while they run. Always on top, centred on
// the screen, one progress bar. Begin shows it, Progress moves the bar, End fills the bar, leaves
// it in view for 100 ms and closes the window.
#pragma once

#include <QDialog>

#include "torq/devlib/Seams.h"

class QProgressBar;

namespace torq::app {

class ProgressWindow final : public QDialog, public ProgressSink {
    Q_OBJECT
  public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void Begin(std::uint64_t total) override;
    void Progress(std::uint64_t done, std::uint64_t total) override;
    void End() override;

    QProgressBar* Bar() const { return bar_; }

    // How long the full bar stays in view before the window closes.
    static constexpr int kFinishedShownMs = 100;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void CentreOnScreen();
    // Lets the window paint (input stays queued, so nothing can start a second job meanwhile).
    static void Repaint();

    QProgressBar* bar_;
    std::uint64_t total_ = 0;
};

}  // namespace torq::app
