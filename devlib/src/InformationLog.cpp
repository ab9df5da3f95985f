#include "torq/devlib/InformationLog.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "torq/devlib/Text.h"

namespace torq {

std::string FormatTimeStamp(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

void InformationLog::WriteInfoLine(std::string_view message, bool timeStamp) {
    std::string line;
    if (timeStamp) {
        line = FormatTimeStamp(clock_->Now());
        line += " : ";
    }
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
                                    const std::filesystem::path& saveFile) {
    std::size_t count = lines_.size();
    const bool hasMarkerText = std::any_of(lines_.begin(), lines_.end(), [](const std::string& l) {
        return Contains(l, "Information Lines Limited");
    });
    if (hasMarkerText && count > 0)
        --count;
    if (count <= limit)
        return false;

    std::vector<std::string> kept;
    kept.reserve(lines_.size());
    for (auto& line : lines_) {
        if (line != kLimitMarkerLine)
            kept.push_back(std::move(line));
    }
    std::vector<std::string> newer;
    newer.reserve(kept.size() - std::min(kept.size(), limit) + 1);
    newer.emplace_back(kLimitMarkerLine);
    if (kept.size() > limit) {
        std::move(kept.begin() + static_cast<std::ptrdiff_t>(limit), kept.end(),
                  std::back_inserter(newer));
        kept.resize(limit);
    }
    if (action == LimitAction::SaveToFileAndClear)
        WriteLogFile(saveFile, kept);
    lines_ = std::move(newer);
    ResetViews();
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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << kLogHeaderRule << '\n' << kLogHeaderTitle << '\n' << kLogHeaderRule << '\n';
    for (const auto& line : lines)
        out << line << '\n';
    return static_cast<bool>(out);
}

}  // namespace torq
