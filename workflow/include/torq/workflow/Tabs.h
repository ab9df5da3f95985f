// The main window's tabs, by their index in the tab control: the two operation tabs (Emulator,
// Programmer), then Premium and Options.
#pragma once

namespace torq {

inline constexpr int kEmulatorTabIndex = 0;
inline constexpr int kProgrammerTabIndex = 1;
inline constexpr int kPremiumTabIndex = 2;
inline constexpr int kOptionsTabIndex = 3;

}  // namespace torq
