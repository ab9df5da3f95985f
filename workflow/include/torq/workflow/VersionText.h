// The program's version as the window's title and the Options tab show it.
#pragma once

#include <string>
#include <string_view>

namespace torq {

// "TORQ-SPI Ver. 1.4.9": major.minor, and .release when it is not 0.
std::string VersionText(int major, int minor, int release);
// The same from a dotted version ("1.4.9.0", the CMake project version "0.1.0"); the build
// number is ignored, missing parts read as 0.
std::string VersionText(std::string_view dotted);

}  // namespace torq
