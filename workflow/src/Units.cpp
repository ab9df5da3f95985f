#include "torq/workflow/Units.h"

#include <algorithm>
#include <cassert>

namespace torq {

namespace {
constexpr std::uint8_t kFlashSteps = 10;
constexpr ChecksumLook kNormalLook{TextColour::WindowText, FieldBackground::Normal};
constexpr ChecksumLook kBlinkLook{TextColour::Red, FieldBackground::White};
constexpr ChecksumLook kChangedLook{TextColour::Red, FieldBackground::Normal};

bool ValidSocket(int unit, int socket) {
    return unit >= 1 && unit <= kUnitCount && socket >= 1 && socket <= kSocketsPerUnit;
}

// Socket 1 of units 1 and 2 make room for themselves; every other box only refuses an empty file.
bool MakesRoomWhenChecked(int unit, int socket) {
    return socket == 1 && (unit == 1 || unit == 2);
}
}  // namespace

void SavedSocket::ResetLoadSettings() {
    sourceStartText = kZeroAddressText;
    sourceEndText = kZeroAddressText;
    load = SavedLoadSettings{};
}

Units::Units(IndicatorBoard& board, Timer& flashTimer) : board_(board), flashTimer_(flashTimer) {}

std::size_t Units::UnitSlot(int unit) {
    assert(unit >= 1 && unit <= kUnitCount);
    return static_cast<std::size_t>(std::clamp(unit, 1, kUnitCount) - 1);
}

std::size_t Units::SocketSlot(int socket) {
    assert(socket >= 1 && socket <= kSocketsPerUnit);
    return static_cast<std::size_t>(std::clamp(socket, 1, kSocketsPerUnit) - 1);
}

const SocketState& Units::Socket(int unit, int socket) const {
    return units_[UnitSlot(unit)].sockets[SocketSlot(socket)];
}

const SocketState& Units::SocketAt(int index) const {
    const SocketPosition at = SocketAtIndex(std::clamp(index, 0, kSocketCount - 1));
    return Socket(at.unit, at.socket);
}

SocketState& Units::MutableSocket(int unit, int socket) {
    return units_[UnitSlot(unit)].sockets[SocketSlot(socket)];
}

void Units::SetVendorText(int unit, std::string text) {
    if (unit >= 1 && unit <= kUnitCount)
        units_[UnitSlot(unit)].vendor = std::move(text);
}

void Units::SetTypeText(int unit, std::string text) {
    if (unit >= 1 && unit <= kUnitCount)
        units_[UnitSlot(unit)].type = std::move(text);
}

void Units::SetEnabled(int unit, int socket, bool checked) {
    if (!ValidSocket(unit, socket))
        return;
    std::array<bool, kSocketCount> before{};
    for (int i = 0; i < kSocketCount; ++i)
        before[static_cast<std::size_t>(i)] = SocketAt(i).enabled;

    SocketState& own = MutableSocket(unit, socket);
    own.enabled = checked;
    if (checked) {
        const int ownIndex = SocketIndex(unit, socket);
        const bool ownFileEmpty = own.workFile.empty();
        if (MakesRoomWhenChecked(unit, socket)) {
            for (int i = 0; i < kSocketCount; ++i) {
                const SocketPosition at = SocketAtIndex(i);
                SocketState& other = MutableSocket(at.unit, at.socket);
                const bool clear = ownFileEmpty ? i != ownIndex : other.workFile.empty();
                if (clear)
                    other.enabled = false;
            }
        } else if (ownFileEmpty) {
            own.enabled = false;
        }
    }

    if (events_ == nullptr)
        return;
    for (int i = 0; i < kSocketCount; ++i) {
        const bool changed = before[static_cast<std::size_t>(i)] != SocketAt(i).enabled;
        if (changed || i == SocketIndex(unit, socket)) {
            const SocketPosition at = SocketAtIndex(i);
            events_->FieldsChanged(at.unit, at.socket);
        }
    }
}

void Units::SetWorkFile(int unit, int socket, std::string text) {
    if (!ValidSocket(unit, socket))
        return;
    SocketState& state = MutableSocket(unit, socket);
    if (state.workFile == text)
        return;
    state.workFile = std::move(text);
    if (events_ != nullptr)
        events_->FieldsChanged(unit, socket);
    if (socket == 1)
        RunWorkFileChange(unit);
}

void Units::MirrorUnit1(int unit) {
    if (unit <= 1 || unit > kUnitCount)
        return;
    const UnitState& first = units_[0];
    UnitState& mirror = units_[UnitSlot(unit)];
    const SocketState& source = first.sockets[0];
    SocketState& target = mirror.sockets[0];
    mirror.vendor = first.vendor;
    mirror.type = first.type;
    target.workFile = source.workFile;
    // A new image is not yet on this unit's chip either: its field turns red with unit 1's and
    // stays so until this unit's verify passes.
    if (target.checksumText != source.checksumText)
        board_.SetChecksumLook(SocketIndex(unit, 1), kChangedLook);
    target.checksumText = source.checksumText;
    target.offsetText = source.offsetText;
    if (target.workFile.empty())
        target.enabled = false;
    if (events_ != nullptr)
        events_->FieldsChanged(unit, 1);
}

void Units::RunWorkFileChange(int unit) {
    if (unit < 1 || unit > kUnitCount)
        return;
    const std::string& text = Socket(unit, 1).workFile;
    bool watchedFileSet = false;
    if (!text.empty()) {
        board_.ShowTile(Bar::Emulator, Step::LoadFile, TileImage::Pass);
        board_.ShowTile(Bar::Programmer, Step::LoadFile, TileImage::Pass);
        // After a Read the buffer holds the chip's data; the file to watch stays the same.
        if (unit == 1 && text != kDataFromBuffer) {
            saved_.sockets[0].workFile = text;
            watchedFileSet = true;
        }
    } else {
        board_.ShowTile(Bar::Emulator, Step::LoadFile, TileImage::Norm);
        board_.ShowTile(Bar::Programmer, Step::LoadFile, TileImage::Norm);
    }
    if (events_ != nullptr)
        events_->WorkFileChanged(unit, 1, watchedFileSet);
}

void Units::SetChecksumText(int unit, int socket, std::string text) {
    if (!ValidSocket(unit, socket))
        return;
    SocketState& state = MutableSocket(unit, socket);
    if (state.checksumText == text)
        return;
    state.checksumText = std::move(text);
    if (events_ != nullptr)
        events_->FieldsChanged(unit, socket);

    const int index = SocketIndex(unit, socket);
    // One field flashes at a time; one cut short still shows that its checksum changed.
    if (flashingSocket_ && *flashingSocket_ != index && flashTimer_.IsEnabled())
        board_.SetChecksumLook(*flashingSocket_, kChangedLook);
    flashingSocket_ = index;
    flashCounter_ = kFlashSteps;
    flashTimer_.Start();
}

void Units::FlashTick() {
    if (!flashingSocket_ || !flashTimer_.IsEnabled())
        return;
    const std::uint8_t count = flashCounter_--;
    if (count == 0) {
        flashTimer_.Stop();
        return;
    }
    const int step = count - 1;
    const ChecksumLook look = step % 2 == 1 ? kBlinkLook : step != 0 ? kNormalLook : kChangedLook;
    board_.SetChecksumLook(*flashingSocket_, look);
}

void Units::ClearChecksumWarning(int unit, int socket) {
    if (!ValidSocket(unit, socket))
        return;
    const int index = SocketIndex(unit, socket);
    // A flash still under way would end red after the good verify.
    if (flashingSocket_ == index)
        flashTimer_.Stop();
    board_.SetChecksumLook(index, kNormalLook);
}

void Units::SetOffsetText(int unit, int socket, std::string_view text, std::uint64_t deviceSize) {
    if (!ValidSocket(unit, socket))
        return;
    SocketState& state = MutableSocket(unit, socket);
    std::string normalised = NormaliseDestinationAddressText(text, deviceSize);
    // The field is redrawn when the stored text changes or differs from what was typed.
    if (state.offsetText == normalised && normalised == text)
        return;
    state.offsetText = std::move(normalised);
    if (events_ != nullptr)
        events_->FieldsChanged(unit, socket);
}

}  // namespace torq
