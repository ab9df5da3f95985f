// The information log on screen. `InformationView` is one view of the workbench's log: the
// `InfoMessageMemo` text with the label panels "Times" and "Status" and the clickable panels for
// the mode, "Clear Information" and "Save Information". The main window docks one in its
// information panel; `InformationWindow` ("Information") holds the other. Both mirror the log line
// for line. `LineLimitTimer` is the 500 ms timer that trims the log to the line limit.
#pragma once

#include <QAbstractScrollArea>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "torq/devlib/InformationLog.h"
#include "torq/workflow/InformationModel.h"

class QLabel;
class QPushButton;

namespace torq {
class Operator;
}  // namespace torq

namespace torq::app {

class FileChooser;

// `InfoMessageMemo`: the log's lines, read-only, in the fixed-width font, the time stamp dimmed
// and the verdict lines coloured and bold. It paints only the rows in view and reads them from the
// log itself, so appending a line costs the same with 10 lines as with 99999, shown or hidden.
// Rows can be selected with the mouse or Ctrl+A and copied with Ctrl+C.
class LogLinesView final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit LogLinesView(const InformationLog& log, QWidget* parent = nullptr);

    // The log's newest entry was added / the whole log replaced.
    void EntryAdded();
    void EntriesReset();

    // Rows: an entry of several lines gives several rows.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    QString RowText(int row) const;
    QString Text() const;  // every row, one per line
    // How a row is drawn: the length of its dimmed time stamp and the colour and weight of the
    // rest.
    struct RowLook {
        int stampLength = 0;
        QColor stamp;
        QColor message;
        bool bold = false;
    };
    RowLook LookOf(int row) const;
    // The first row in view and whether the view follows new lines.
    int FirstVisibleRow() const;
    bool FollowsNewLines() const;
    void CopySelection() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Row {
        std::uint32_t entry;
        std::uint32_t offset;  // of the row's text in the entry
        std::uint32_t length;
    };
    void AddRows(std::uint32_t entry);
    void UpdateScrollBars(bool toBottom);
    int RowHeight() const;
    int RowAt(int y) const;
    std::string_view RowView(int row) const;

    const InformationLog& log_;
    std::vector<Row> rows_;
    int widestRow_ = 0;  // characters
    int anchor_ = -1;    // selection: rows anchor_ .. current_
    int current_ = -1;
};

// Where a view sits: docked in the main window (its mode panel reads "Outside Mode") or in the
// separate window ("Inside Mode").
enum class InformationPlace { Docked, Separate };

class InformationView final : public QWidget, private LogView {
    Q_OBJECT
  public:
    InformationView(InformationLog& log, FileChooser& files, Operator& op, InformationPlace place,
                    QWidget* parent = nullptr);
    ~InformationView() override;

    LogLinesView* Memo() const { return memo_; }
    // The rows the view shows (one entry may span several rows).
    int LineCount() const { return memo_->RowCount(); }

  signals:
    // The mode panel was clicked: "Outside Mode" or "Inside Mode".
    void modeClicked();

  private:
    void LineAdded(const std::string& line) override;
    void Reset(const std::vector<std::string>& lines) override;
    void Save();

    InformationLog& log_;
    FileChooser& files_;
    Operator& op_;
    LogLinesView* memo_;
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
    InformationWindow(InformationModel& model, FileChooser& files, QWidget* parent = nullptr);

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
    InformationModel& model_;
    InformationView* view_;
};

// InfoMessageLimit_Timer: every 500 ms, while the line limit is on and the Options tab is not
// shown, one tick of the model's line limit.
class LineLimitTimer final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 500;
    explicit LineLimitTimer(InformationModel& model, QObject* parent = nullptr);
    // Runs or stops the timer as the model wants it (call when the options or the tab change).
    void Sync();
    const QTimer& Timer() const { return *timer_; }

  private:
    InformationModel& model_;
    QTimer* timer_;
};

}  // namespace torq::app
