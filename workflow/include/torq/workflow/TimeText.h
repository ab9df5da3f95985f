// The run's time text: elapsed milliseconds between two 32-bit ticks (a wrap of the tick counter
// in between still gives the right span) shown as seconds. The fixed "0.000" form of the detection
// line ("Total Time : ") is the link's SecondsText.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torq {

inline constexpr std::string_view kFinishedPrefix = "Finished with total time : ";
inline constexpr std::string_view kSecondsSuffix = " Sec.";

// The shortest general decimal with up to 15 significant digits: 3500 ms is "3.5", 12016 ms
// "12.016", 4000 ms "4".
std::string GeneralSecondsText(std::uint32_t elapsedMs);

// "Finished with total time : 3.5 Sec."
std::string FinishedLine(std::uint32_t startTick, std::uint32_t endTick);
std::string FinishedLine(std::uint32_t elapsedMs);

}  // namespace torq
