// Pieces the editor's window and dialogs share: the fixed-width font, hexadecimal fields,
// named buttons, the message-box operator and the progress of long jobs.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QValidator>

#include <QElapsedTimer>
#include <memory>

#include "torq/devlib/Seams.h"
#include "torq/editor/Search.h"

class QProgressBar;
class QProgressDialog;

namespace torq::editor::qt {

// The desktop's fixed-width font: addresses, checksums and the hex view.
QFont FixedFont();

// Takes hexadecimal digits only, turning a-f to upper case as they are typed.
class HexValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

// A hexadecimal field of at most `digits` digits, sized for them, in the fixed-width font.
QLineEdit* MakeHexField(QWidget* parent, const char* objectName, int digits);
QPushButton* MakeButton(QWidget* parent, const char* objectName, const QString& text);

// Questions and messages as modal message boxes over a window.
class MessageBoxOperator final : public Operator {
  public:
    explicit MessageBoxOperator(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    Answer Respond(const OperatorMessage& message) override;

  private:
    QPointer<QWidget> parent_;
};

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
