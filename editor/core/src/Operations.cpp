#include "torq/editor/Operations.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "ProgressFrame.h"
#include "torq/devlib/Text.h"

namespace torq::editor {

namespace {

template <typename Word>
void SwapHalves(std::uint8_t* bytes, std::size_t count) {
    constexpr int kHalfBits = static_cast<int>(sizeof(Word) * 4);
    for (std::size_t i = 0; i + sizeof(Word) <= count; i += sizeof(Word)) {
        Word word;
        std::memcpy(&word, bytes + i, sizeof word);
        word = std::rotl(word, kHalfBits);
        std::memcpy(bytes + i, &word, sizeof word);
    }
}

void SwapGroups(std::uint8_t* bytes, std::size_t count, SwapKind kind) {
    switch (kind) {
        case SwapKind::Byte:
            SwapHalves<std::uint16_t>(bytes, count);
            break;
        case SwapKind::Word:
            SwapHalves<std::uint32_t>(bytes, count);
            break;
        case SwapKind::Double:
            SwapHalves<std::uint64_t>(bytes, count);
            break;
    }
}

WriteReport Failed(std::string error, bool changed = false) {
    return {false, changed, std::move(error)};
}

// splitmix64: a small, fast, well-mixed generator; the same seed gives the same bytes.
class RandomBytes {
  public:
    explicit RandomBytes(std::uint64_t seed) : state_(seed) {}
    void Fill(std::uint8_t* bytes, std::size_t count) {
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8) {
            const std::uint64_t value = Next();
            std::memcpy(bytes + i, &value, 8);
        }
        if (i < count) {
            const std::uint64_t value = Next();
            std::memcpy(bytes + i, &value, count - i);
        }
    }

  private:
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t state_;
};

// The pattern's bytes for offsets 0 ... block size - 1 from the range start. Every pattern but
// the random one repeats with a period that divides the block size, so one block serves all.
void MakeFillBlock(const FillSpec& spec, std::vector<std::uint8_t>& block) {
    if (spec.userDefined) {
        if (spec.userWidth == UserWidth::Byte) {
            std::fill(block.begin(), block.end(), spec.userByte);
        } else {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<std::uint8_t>(i % 2 == 0 ? spec.userWord & 0xFF
                                                                : spec.userWord >> 8);
        }
        return;
    }
    switch (spec.pattern) {
        case FillPattern::AllBit1:
            std::fill(block.begin(), block.end(), 0xFF);
            break;
        case FillPattern::AllBit0:
            std::fill(block.begin(), block.end(), 0x00);
            break;
        case FillPattern::SequentialByte:
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<std::uint8_t>(i);
            break;
        case FillPattern::SequentialWord:
            for (std::size_t i = 0; i < block.size(); ++i) {
                const std::size_t word = (i / 2) % 65536;
                block[i] = static_cast<std::uint8_t>(i % 2 == 0 ? word & 0xFF : word >> 8);
            }
            break;
        case FillPattern::Random:
            break;  // generated block by block
    }
}

static_assert(kFillBlockSize % 131072 == 0, "the repeating patterns must fit the block whole");

// The swap's backward pass: puts `done` bytes from the start back as they were, last block first,
// so that when it fails only a run from the file's start is left swapped. Returns the count of
// bytes from the start that may still be swapped: 0 when everything was put back.
std::uint64_t SwapBack(DocumentWriter& file, std::vector<std::uint8_t>& block, SwapKind kind,
                       std::uint64_t done) {
    while (done > 0) {
        const std::uint64_t blockStart = (done - 1) / block.size() * block.size();
        const auto chunk = static_cast<std::size_t>(done - blockStart);
        if (!file.Read(blockStart, {block.data(), chunk}))
            return done;
        SwapGroups(block.data(), chunk, kind);
        if (!file.Write(blockStart, {block.data(), chunk}))
            return done;
        done = blockStart;
    }
    return 0;
}

WriteReport PartlySwapped(const std::string& reason, std::uint64_t stoppedAt,
                          std::uint64_t swapped) {
    return Failed(reason + ". The swap stopped at address " + HexText(stoppedAt, 10) +
                      " and swapping back failed too: the buffer is now partly swapped. Bytes " +
                      HexText(0, 10) + " to " + HexText(swapped - 1, 10) +
                      " may be swapped; the bytes after them are as they were.",
                  true);
}

}  // namespace

std::string_view FillPatternCaption(FillPattern pattern) {
    switch (pattern) {
        case FillPattern::AllBit1:
            return "All Bit 1";
        case FillPattern::AllBit0:
            return "All Bit 0";
        case FillPattern::Random:
            return "Random Data";
        case FillPattern::SequentialByte:
            return "Sequential Byte";
        case FillPattern::SequentialWord:
            return "Sequential Word";
    }
    return {};
}

std::string_view BlockActionCaption(BlockAction action) {
    switch (action) {
        case BlockAction::Copy:
            return "Copy";
        case BlockAction::Move:
            return "Move";
        case BlockAction::Swap:
            return "Swap";
    }
    return {};
}

std::string_view SwapCaption(SwapKind kind) {
    switch (kind) {
        case SwapKind::Byte:
            return "Byte Swap";
        case SwapKind::Word:
            return "Word Swap";
        case SwapKind::Double:
            return "Double Swap";
    }
    return {};
}

WriteReport SwapWholeFile(const BufferDocument& document, SwapKind kind, ProgressSink* progress,
                          std::size_t blockSize) {
    const auto file = document.OpenWriter();
    if (!file->IsOpen())
        return Failed(file->Error());
    const auto group = static_cast<std::size_t>(kind) * 2;
    // A group never straddles two blocks: the block is a whole number of the largest group.
    blockSize = std::max<std::size_t>(blockSize - blockSize % 8, 8);
    const std::uint64_t length = file->Length();
    // A last group shorter than 2n bytes stays as it is.
    const std::uint64_t whole = length - length % group;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(
        std::min<std::uint64_t>(blockSize, std::max<std::uint64_t>(whole, 8))));
    ProgressFrame frame(progress, length);
    std::uint64_t done = 0;
    // After a failure: the bytes from the start that are (or may be) swapped.
    std::optional<std::uint64_t> swapped;
    while (done < whole) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(whole - done, block.size()));
        if (!file->Read(done, {block.data(), chunk})) {
            swapped = done;
            break;
        }
        SwapGroups(block.data(), chunk, kind);
        if (!file->Write(done, {block.data(), chunk})) {
            // The block may be partly written: its old bytes are still at hand. When even they
            // cannot be written back, the blocks before it are left as they are, so that what
            // is swapped stays one run from the start.
            SwapGroups(block.data(), chunk, kind);
            swapped = file->Write(done, {block.data(), chunk}) ? done : done + chunk;
            if (*swapped == done)
                break;
            file->Close();
            return PartlySwapped(file->Error(), done, *swapped);
        }
        done += chunk;
        frame.Done(done);
    }
    if (!swapped) {
        frame.Done(length);  // the short last group is done too, as it stays
        if (!file->Close())
            return Failed(file->Error() + ". The swapped bytes may not all have reached the disk.",
                          whole > 0);
        return {true, whole > 0, {}};
    }
    // Stopped part-way: a swap is its own inverse, so swapping the blocks already done once more
    // gives the buffer back as it was.
    const std::string reason = file->Error();
    const std::uint64_t left = SwapBack(*file, block, kind, *swapped);
    file->Close();
    if (left > 0)
        return PartlySwapped(reason, done, left);
    return Failed(reason + ". The swap stopped at address " + HexText(done, 10) +
                  "; the bytes already swapped were swapped back, so the buffer is as it was.");
}

WriteReport FillRange(const BufferDocument& document, std::uint64_t start, std::uint64_t end,
                      const FillSpec& spec, ProgressSink* progress) {
    if (end < start)
        return Failed("The range is empty");
    const std::uint64_t count = end - start + 1;
    const auto writer = document.OpenWriter();
    if (!writer->IsOpen())
        return Failed(writer->Error());
    std::vector<std::uint8_t> block(kFillBlockSize);
    const bool random = !spec.userDefined && spec.pattern == FillPattern::Random;
    RandomBytes generator(spec.seed);
    MakeFillBlock(spec, block);
    ProgressFrame frame(progress, count);
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < count;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, block.size()));
        if (random)
            generator.Fill(block.data(), chunk);
        ok = writer->Write(start + done, {block.data(), chunk});
        done += chunk;
        frame.Done(done);
    }
    ok = writer->Close() && ok;
    return {ok, writer->Changed(), writer->Error()};
}

bool RangesOverlap(std::uint64_t start, std::uint64_t end, std::uint64_t destination) {
    const std::uint64_t count = end - start + 1;
    return destination <= end && (destination >= start || start - destination < count);
}

WriteReport ProcessBlock(const BufferDocument& document, BlockAction action, std::uint64_t start,
                         std::uint64_t end, std::uint64_t destination, std::uint8_t fill,
                         ProgressSink* progress) {
    if (end < start)
        return Failed("The range is empty");
    if (RangesOverlap(start, end, destination))
        return Failed("The ranges overlap");
    const std::uint64_t count = end - start + 1;
    const auto file = document.OpenWriter();
    if (!file->IsOpen())
        return Failed(file->Error());
    std::vector<std::uint8_t> source(kBlockProcessSize);
    std::vector<std::uint8_t> other(kBlockProcessSize);
    if (action == BlockAction::Move)
        std::fill(other.begin(), other.end(), fill);
    ProgressFrame frame(progress, count);
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < count;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, source.size()));
        // Bytes beyond the file's end read as FF; writing the destination there lengthens it.
        ok = file->Read(start + done, {source.data(), chunk});
        if (ok && action == BlockAction::Swap)
            ok = file->Read(destination + done, {other.data(), chunk});
        if (ok)
            ok = file->Write(destination + done, {source.data(), chunk});
        if (ok && action != BlockAction::Copy)
            ok = file->Write(start + done, {other.data(), chunk});
        done += chunk;
        frame.Done(done);
    }
    ok = file->Close() && ok;
    return {ok, file->Changed(), file->Error()};
}

}  // namespace torq::editor
