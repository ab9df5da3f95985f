// The time-stamped message list every operation writes to.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kLimitMarkerLine = "<--- Information Lines Limited --->";
inline constexpr std::string_view kLogHeaderRule = "=============================================";
inline constexpr std::string_view kLogHeaderTitle = "             Status Information             ";

// "yyyy/mm/dd hh:nn:ss"
std::string FormatTimeStamp(const LocalDateTime& time);

// How a log line reads at a glance, so a view can dim the time stamp and colour the verdict in
// addition to its words: the length of the leading "yyyy/mm/dd hh:nn:ss : " (0 without one), and
// a pass (the line ends in the word "Pass") or a failure (ends in "Fail", or an "Error :" line).
enum class LineVerdict { None, Pass, Fail };
// A run's last line starts so and names its verdict: "Result : PASS", "Result : FAIL [Verify]".
inline constexpr std::string_view kVerdictPrefix = "Result : ";
struct LineLook {
    std::size_t stampLength = 0;
    LineVerdict verdict = LineVerdict::None;
};
LineLook LookOfLine(std::string_view line);

// What the line limit does with the lines it takes away.
enum class LimitAction { ClearContents, SaveToFileAndClear };
// What becomes of the lines to be taken away when they cannot be saved: kept until a save works
// (the window, where they are shown nowhere else), or let go all the same (a log whose every
// line has been printed as it was written), so that the limit holds.
enum class UnsavedLines { Keep, Drop };

// A view of the log (the window's two text views, the CLI's stdout, a test's capture).
class LogView {
  public:
    virtual ~LogView() = default;
    virtual void LineAdded(const std::string& line) = 0;
    // The whole list was replaced (clear, trim).
    virtual void Reset(const std::vector<std::string>& lines) = 0;
};

class InformationLog {
  public:
    explicit InformationLog(const Clock& clock = SystemClock::Instance()) : clock_(&clock) {}

    // Appends one line: "yyyy/mm/dd hh:nn:ss : message" with the time stamp, else the message;
    // the prefix set, if any, goes before the message.
    void WriteInfoLine(std::string_view message, bool timeStamp = true);
    // Which unit the lines written from now on are of, in a run of several ("Unit 1 : "); empty
    // for none.
    void SetLinePrefix(std::string prefix) { prefix_ = std::move(prefix); }

    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear();

    // The three header lines followed by every line, replacing the file.
    bool SaveToFile(const std::filesystem::path& path) const;

    // One tick of the line limit. The marker line does not count; when more than `limit` lines
    // remain, the oldest `limit` lines are taken away (written to `saveFile` after the header when
    // the action says so) and the list becomes the marker followed by the newer lines. Returns
    // true when it trimmed. When the lines cannot be saved the log says so (once until a save
    // works again), and `unsaved` tells whether they are kept or taken away all the same.
    bool ApplyLineLimit(std::size_t limit, LimitAction action,
                        const std::filesystem::path& saveFile,
                        UnsavedLines unsaved = UnsavedLines::Keep);

    void Subscribe(LogView* view);
    void Unsubscribe(LogView* view);

  private:
    void ResetViews();
    const Clock* clock_;
    std::vector<std::string> lines_;
    std::vector<LogView*> views_;
    std::string prefix_;
    bool limitSaveFailed_ = false;
};

// Writes the saved-log header and the lines, replacing the file.
bool WriteLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

}  // namespace torq
