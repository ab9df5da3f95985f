// Pieces the editor's window and dialogs share: named buttons and the progress of long jobs;
// the fixed-width font and the hexadecimal field are the window's own (torq/app/seams).
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <QElapsedTimer>
#include <memory>

#include "torq/app/seams/FixedFields.h"
#include "torq/devlib/Seams.h"
#include "torq/editor/Search.h"

class QProgressBar;
class QProgressDialog;

namespace torq::editor::qt {

// The same font and hexadecimal fields as the main window's.
using app::FixedFont;
using app::MakeHexField;

QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text);

// Shows a long job on a progress bar and lets the window repaint while it runs (input is held
// back, so nothing can start a second job meanwhile).
class BarProgress final : public ProgressSink {
  public:
    explicit BarProgress(QProgressBar* bar) : bar_(bar) {}
    void Begin(std::uint64_t total) override;
    void Progress(std::uint64_t done, std::uint64_t total) override;
    void End() override;

  private:
    QProgressBar* bar_;
    qint64 lastPaintMs_ = 0;
};

// A search's progress: once it has run longer than a moment, a progress dialog with Cancel
// ("SearchProgressDialog") shows over the window, which stays live meanwhile.
class SearchProgressDialog final : public SearchProgress {
  public:
    // Shown after this long.
    static constexpr int kShowAfterMs = 300;
    explicit SearchProgressDialog(QWidget* parent);
    ~SearchProgressDialog() override;
    void Begin(std::uint64_t total) override;
    void Progress(std::uint64_t done, std::uint64_t total) override;
    void End() override;
    bool StopRequested() override;

  private:
    QPointer<QWidget> parent_;
    std::unique_ptr<QProgressDialog> dialog_;
    QElapsedTimer started_;
    qint64 lastPaintMs_ = 0;
};

}  // namespace torq::editor::qt
