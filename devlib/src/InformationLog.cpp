#include "torq/devlib/InformationLog.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {

std::string FormatTimeStamp(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

namespace {

// "yyyy/mm/dd hh:nn:ss : " with a digit at every 'd'.
constexpr std::string_view kStampPattern = "dddd/dd/dd dd:dd:dd : ";

bool StartsWithTimeStamp(std::string_view line) {
    if (line.size() < kStampPattern.size())
        return false;
    for (std::size_t i = 0; i < kStampPattern.size(); ++i) {
        const char c = line[i];
        if (kStampPattern[i] == 'd' ? (c < '0' || c > '9') : c != kStampPattern[i])
            return false;
    }
    return true;
}

bool EndsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size() || text.substr(text.size() - word.size()) != word)
        return false;
    if (text.size() == word.size())
        return true;
    const char before = text[text.size() - word.size() - 1];
    return before == ' ' || before == ':' || before == ']';
}

}  // namespace

LineLook LookOfLine(std::string_view line) {
    LineLook look;
    if (StartsWithTimeStamp(line))
        look.stampLength = kStampPattern.size();
    std::string_view message = line.substr(look.stampLength);
    while (!message.empty() &&
           (message.back() == ' ' || message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    if (message.starts_with(kVerdictPrefix)) {
        const std::string_view word = message.substr(kVerdictPrefix.size());
        if (word.starts_with("PASS"))
            look.verdict = LineVerdict::Pass;
        else if (word.starts_with("FAIL"))
            look.verdict = LineVerdict::Fail;
    } else if (EndsWithWord(message, "Pass"))
        look.verdict = LineVerdict::Pass;
    else if (EndsWithWord(message, "Fail") || message.starts_with("Error :"))
        look.verdict = LineVerdict::Fail;
    return look;
}

void InformationLog::WriteInfoLine(std::string_view message, bool timeStamp) {
    std::string line;
    if (timeStamp) {
        line = FormatTimeStamp(clock_->Now());
        line += " : ";
    }
    line += prefix_;
    line += message;
    lines_.push_back(line);
    for (LogView* view : views_)
        view->LineAdded(line);
}

void InformationLog::Clear() {
    lines_.clear();
    ResetViews();
}

bool InformationLog::SaveToFile(const std::filesystem::path& path) const {
    return WriteLogFile(path, lines_);
}

bool InformationLog::ApplyLineLimit(std::size_t limit, LimitAction action,
                                    const std::filesystem::path& saveFile, UnsavedLines unsaved) {
    std::size_t count = lines_.size();
    const bool hasMarkerText = std::any_of(lines_.begin(), lines_.end(), [](const std::string& l) {
        return Contains(l, "Information Lines Limited");
    });
    if (hasMarkerText && count > 0)
        --count;
    if (count <= limit)
        return false;

    // The oldest `limit` lines (without any marker) go away; the newer ones stay behind a new
    // marker. Nothing is moved until the oldest lines are safe, unless they may go unsaved.
    std::vector<std::string> oldest;
    std::vector<std::string> newer{std::string(kLimitMarkerLine)};
    for (const auto& line : lines_) {
        if (line == kLimitMarkerLine)
            continue;
        (oldest.size() < limit ? oldest : newer).push_back(line);
    }
    const bool saveFailed =
        action == LimitAction::SaveToFileAndClear && !WriteLogFile(saveFile, oldest);
    const bool tellFailure = saveFailed && !limitSaveFailed_;
    limitSaveFailed_ = saveFailed;
    if (saveFailed && unsaved == UnsavedLines::Keep) {
        // Keep every line rather than lose them; say so once, and try again at the next tick.
        if (tellFailure) {
            WriteInfoLine("Error : The information lines could not be saved to " +
                          saveFile.string() + " ; they are kept.");
        }
        return false;
    }
    lines_ = std::move(newer);
    ResetViews();
    if (tellFailure) {
        WriteInfoLine("Error : The information lines could not be saved to " + saveFile.string() +
                      " ; they are cleared.");
    }
    return true;
}

void InformationLog::Subscribe(LogView* view) {
    if (view != nullptr && std::find(views_.begin(), views_.end(), view) == views_.end()) {
        views_.push_back(view);
    }
}

void InformationLog::Unsubscribe(LogView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void InformationLog::ResetViews() {
    for (LogView* view : views_)
        view->Reset(lines_);
}

bool WriteLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::string text;
    text.append(kLogHeaderRule).append("\n").append(kLogHeaderTitle).append("\n");
    text.append(kLogHeaderRule).append("\n");
    for (const auto& line : lines)
        text.append(line).append("\n");
    // A failed write leaves an earlier log file whole.
    return WriteFileAtomically(path, text);
}

}  // namespace torq
