// Small buffer files for the editor's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq::test {

using ByteVector = std::vector<std::uint8_t>;

inline std::filesystem::path WriteBuffer(const TempDir& dir, const ByteVector& bytes) {
    return dir.Write("output.tmp", std::string(bytes.begin(), bytes.end()));
}

inline ByteVector ReadBytes(const std::filesystem::path& path) {
    const std::string text = ReadFile(path);
    return ByteVector(text.begin(), text.end());
}

// Bytes 0, 1, 2, ... wrapping at 256.
inline ByteVector Counting(std::size_t size) {
    ByteVector bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

}  // namespace torq::test
