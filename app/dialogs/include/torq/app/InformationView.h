// The information log on screen. `InformationView` is one view of the workbench's log: the
// `InfoMessageMemo` text with the label panels "Times" and "Status" and the clickable panels for
// the mode, "Clear Information" and "Save Information". The main window docks one in its
// information panel; `InformationWindow` ("Information") holds the other. Both mirror the log line
// for line. `LineLimitTimer` is the 500 ms timer that trims the log to the line limit.
#pragma once

#include <QObject>
#include <QTimer>
#include <QWidget>

#include "torq/devlib/InformationLog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace torq {
class Operator;
class Workbench;
}  // namespace torq

namespace torq::app {

class FileChooser;

// Where a view sits: docked in the main window (its mode panel reads "Outside Mode") or in the
// separate window ("Inside Mode").
enum class InformationPlace { Docked, Separate };

class InformationView final : public QWidget, private LogView {
    Q_OBJECT
  public:
    InformationView(InformationLog& log, FileChooser& files, Operator& op, InformationPlace place,
                    QWidget* parent = nullptr);
    ~InformationView() override;

    QPlainTextEdit* Memo() const { return memo_; }
    // The lines the view shows (one entry may span several lines of text).
    int LineCount() const;

  signals:
    // The mode panel was clicked: "Outside Mode" or "Inside Mode".
    void modeClicked();

  private:
    void LineAdded(const std::string& line) override;
    void Reset(const std::vector<std::string>& lines) override;
    void Append(const std::string& line, bool first);
    void Save();
    bool AtBottom() const;
    void ScrollToBottom();

    InformationLog& log_;
    FileChooser& files_;
    Operator& op_;
    QPlainTextEdit* memo_;
    QLabel* times_;
    QLabel* status_;
    QPushButton* mode_;
    QPushButton* clear_;
    QPushButton* save_;
};

// "Information": the log in a tool window of its own (a close button only). Showing it hides the
// main window's docked panel; "Inside Mode" or closing it shows the docked panel again.
class InformationWindow final : public QWidget {
    Q_OBJECT
  public:
    InformationWindow(Workbench& bench, FileChooser& files, QWidget* parent = nullptr);

    InformationView* View() const { return view_; }
    // "Outside Mode" on the docked view.
    void ShowSeparately();
    // "Inside Mode", or the window closed.
    void ReturnInside();

  signals:
    // The window was shown separately (true) or went back inside (false); the main window
    // follows with its docked panel.
    void placeChanged(bool separate);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    Workbench& bench_;
    InformationView* view_;
};

// InfoMessageLimit_Timer: every 500 ms, while the line limit is on and the Options tab is not
// shown, one tick of the workbench's line limit.
class LineLimitTimer final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 500;
    explicit LineLimitTimer(Workbench& bench, QObject* parent = nullptr);
    // Runs or stops the timer as the workbench wants it (call when the options or the tab change).
    void Sync();
    const QTimer& Timer() const { return timer_; }

  private:
    Workbench& bench_;
    QTimer timer_;
};

}  // namespace torq::app
