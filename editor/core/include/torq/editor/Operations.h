// The whole-range operations on the buffer file: the three swaps, fill, block copy / move / swap
// and the range sum. Each streams the file in fixed blocks, so memory stays flat whatever the
// device size, and reports how far it has come through the progress seam.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "torq/devlib/Seams.h"
#include "torq/editor/Document.h"

namespace torq::editor {

// What a writing operation did: whether it finished, whether the image may have changed (so the
// modified flag stays truthful after a failure part-way) and why it failed.
struct WriteReport {
    bool ok = true;
    bool changed = false;
    std::string error;
};

// ---- swaps ----

// "Byte Swap" (n = 1), "Word Swap" (n = 2), "Double Swap" (n = 4): in every group of 2n bytes the
// two halves change places. A last group shorter than 2n bytes stays as it is.
enum class SwapKind { Byte = 1, Word = 2, Double = 4 };
std::string_view SwapCaption(SwapKind kind);  // "Byte Swap", "Word Swap", "Double Swap"
// The swaps read and write the file in place in blocks of this size; the block is a whole number
// of 8-byte groups, so no group straddles two blocks.
inline constexpr std::size_t kSwapBlockSize = 16384;

// Swaps the whole file in place. A swap is its own inverse: when a read or a write fails
// part-way, the blocks already done are swapped back, so the buffer is as it was and the report
// says so (changed false). Only when that also fails is the buffer left partly swapped, and the
// report says which bytes. `blockSize` is for the tests and the benchmark.
WriteReport SwapWholeFile(const BufferDocument& document, SwapKind kind,
                          ProgressSink* progress = nullptr, std::size_t blockSize = kSwapBlockSize);

// ---- fill ----

enum class FillPattern { AllBit1, AllBit0, Random, SequentialByte, SequentialWord };
// "All Bit 1", "All Bit 0", "Random Data", "Sequential Byte", "Sequential Word"
std::string_view FillPatternCaption(FillPattern pattern);
enum class UserWidth { Byte, Word };

struct FillSpec {
    FillPattern pattern = FillPattern::Random;
    bool userDefined = false;
    UserWidth userWidth = UserWidth::Byte;
    std::uint8_t userByte = 0x55;
    std::uint16_t userWord = 0xFFFF;
    // The random pattern comes from this seed, so the same seed fills the same bytes.
    std::uint64_t seed = 0;
};
inline constexpr std::size_t kFillBlockSize = 256 * 1024;

// Writes the pattern over start ... end (inclusive), generated block by block; byte i of the
// pattern is the byte at start + i.
WriteReport FillRange(const BufferDocument& document, std::uint64_t start, std::uint64_t end,
                      const FillSpec& spec, ProgressSink* progress = nullptr);

// ---- block process ----

enum class BlockAction { Copy, Move, Swap };
std::string_view BlockActionCaption(BlockAction action);  // "Copy", "Move", "Swap"
inline constexpr std::size_t kBlockProcessSize = 16384;

// Whether destination ... destination + (end - start) shares a byte with start ... end.
bool RangesOverlap(std::uint64_t start, std::uint64_t end, std::uint64_t destination);

// Copies, moves (the source then filled with `fill`) or swaps start ... end with the range at
// `destination`, from the contents both had before. The ranges must not overlap.
WriteReport ProcessBlock(const BufferDocument& document, BlockAction action, std::uint64_t start,
                         std::uint64_t end, std::uint64_t destination, std::uint8_t fill,
                         ProgressSink* progress = nullptr);

}  // namespace torq::editor
