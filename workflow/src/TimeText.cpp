#include "torq/workflow/TimeText.h"

#include <cstdio>

#include "torq/devlib/Seams.h"

namespace torq {

std::string GeneralSecondsText(std::uint32_t elapsedMs) {
    // Converted in extended precision, then cut to 15 significant digits, so 12016 ms is 12.016
    // and not 12.016000000000002.
    const long double seconds = static_cast<long double>(elapsedMs) * 0.001L;
    char text[40];
    std::snprintf(text, sizeof text, "%.15Lg", seconds);
    return text;
}

std::string FinishedLine(std::uint32_t startTick, std::uint32_t endTick) {
    return FinishedLine(TicksBetween(startTick, endTick));
}

std::string FinishedLine(std::uint32_t elapsedMs) {
    return std::string(kFinishedPrefix) + GeneralSecondsText(elapsedMs) +
           std::string(kSecondsSuffix);
}

}  // namespace torq
