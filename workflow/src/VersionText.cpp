#include "torq/workflow/VersionText.h"

#include <algorithm>
#include <cstdint>

#include "torq/devlib/Text.h"

namespace torq {

std::string VersionText(int major, int minor, int release) {
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (release != 0)
        text += "." + std::to_string(release);
    return text;
}

std::string VersionText(std::string_view dotted) {
    int parts[3] = {0, 0, 0};
    for (int& part : parts) {
        const std::size_t dot = dotted.find('.');
        part = static_cast<int>(
            std::min<std::uint64_t>(ParseUnsigned64(dotted.substr(0, dot)).value_or(0), 65535));
        dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
    }
    return VersionText(parts[0], parts[1], parts[2]);
}

}  // namespace torq
