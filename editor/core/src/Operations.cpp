#include "torq/editor/Operations.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace torq::editor {

namespace {

// Begin ... End around one job, End also on early returns.
class ProgressFrame {
  public:
    ProgressFrame(ProgressSink* sink, std::uint64_t total) : sink_(sink), total_(total) {
        if (sink_ != nullptr)
            sink_->Begin(total_);
    }
    ~ProgressFrame() {
        if (sink_ != nullptr)
            sink_->End();
    }
    ProgressFrame(const ProgressFrame&) = delete;
    ProgressFrame& operator=(const ProgressFrame&) = delete;
    void Done(std::uint64_t done) {
        if (sink_ != nullptr)
            sink_->Progress(done, total_);
    }

  private:
    ProgressSink* sink_;
    std::uint64_t total_;
};

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
static_assert(kSwapBlockSize % 8 == 0, "a swap group must never straddle two blocks");

}  // namespace

WriteReport SwapWholeFile(const std::filesystem::path& bufferFile, SwapKind kind,
                          ProgressSink* progress) {
    const BufferBlockReader reader(bufferFile);
    if (!reader.IsOpen())
        return Failed("The buffer file " + bufferFile.string() +
                      " cannot be opened: " + SystemErrorText(errno));
    const std::uint64_t length = reader.Length();
    // The swapped image is written beside the old one: refuse before writing anything when the
    // folder cannot hold both.
    const auto room = FreeSpace(bufferFile.parent_path());
    if (room && *room < length)
        return Failed("There is no room beside the buffer file for the swapped image (" +
                      std::to_string(length) + " bytes are needed)");
    ReplacementFile replacement(bufferFile);
    if (!replacement.IsOpen())
        return Failed("A file beside the buffer file cannot be created: " + SystemErrorText(errno));
    const auto group = static_cast<std::size_t>(kind) * 2;
    std::vector<std::uint8_t> block(kSwapBlockSize);
    ProgressFrame frame(progress, length);
    for (std::uint64_t done = 0; done < length;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - done, block.size()));
        if (!reader.Read(done, {block.data(), chunk}))
            return Failed("The buffer file cannot be read: " + SystemErrorText(errno));
        SwapGroups(block.data(), chunk - chunk % group, kind);
        if (!replacement.Append({block.data(), chunk}))
            return Failed("The swapped image cannot be written: " + SystemErrorText(errno));
        done += chunk;
        frame.Done(done);
    }
    if (!replacement.Commit(false))
        return Failed("The buffer file cannot be replaced: " + SystemErrorText(errno));
    return {true, length >= group, {}};
}

WriteReport FillRange(const BufferDocument& document, std::uint64_t start, std::uint64_t end,
                      const FillSpec& spec, ProgressSink* progress) {
    if (end < start)
        return Failed("The range is empty");
    const std::uint64_t count = end - start + 1;
    DocumentWriter writer(document.Path());
    if (!writer.IsOpen())
        return Failed(writer.Error());
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
        ok = writer.Write(start + done, {block.data(), chunk});
        done += chunk;
        frame.Done(done);
    }
    ok = writer.Close() && ok;
    return {ok, writer.Changed(), writer.Error()};
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
    const BufferBlockReader reader(document.Path());
    DocumentWriter writer(document.Path());
    if (!reader.IsOpen() || !writer.IsOpen())
        return Failed(writer.Error().empty() ? "The buffer file cannot be read" : writer.Error());
    std::vector<std::uint8_t> source(kBlockProcessSize);
    std::vector<std::uint8_t> other(kBlockProcessSize);
    if (action == BlockAction::Move)
        std::fill(other.begin(), other.end(), fill);
    ProgressFrame frame(progress, count);
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < count;) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, source.size()));
        ok = reader.Read(start + done, {source.data(), chunk});
        if (ok && action == BlockAction::Swap)
            ok = reader.Read(destination + done, {other.data(), chunk});
        if (!ok) {
            writer.Close();
            return Failed("The buffer file cannot be read: " + SystemErrorText(errno),
                          writer.Changed());
        }
        ok = writer.Write(destination + done, {source.data(), chunk});
        if (ok && action != BlockAction::Copy)
            ok = writer.Write(start + done, {other.data(), chunk});
        done += chunk;
        frame.Done(done);
    }
    ok = writer.Close() && ok;
    return {ok, writer.Changed(), writer.Error()};
}

}  // namespace torq::editor
