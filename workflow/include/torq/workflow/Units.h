// The four programmer units with two sockets each: the per-socket fields and their rules (which
// socket may be enabled, what a new work file does, the checksum field's flash, the offset
// field), and the saved load settings the unattended load and the history use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Load.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/FileStamp.h"
#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/Timer.h"

namespace torq {

inline constexpr std::string_view kZeroAddressText = "00000000";

// One socket's saved load settings.
struct SavedSocket {
    bool enabled = false;
    std::string workFile;
    std::string sourceStartText{kZeroAddressText};
    std::string sourceEndText{kZeroAddressText};
    SavedLoadSettings load;  // destination, fill enabled, fill value, format

    // Back to the defaults: addresses 00000000, fill enabled with FF, format 0 (the enabled flag
    // and the work file stay).
    void ResetLoadSettings();
};

// The saved load settings of the window (one record): unit 1's device, both sockets, and the
// stamp of the watched file (socket 1's work file, which the emulator watches).
struct SavedSettings {
    std::string vendor;
    std::string type;
    std::string deviceFile;
    std::array<SavedSocket, kSocketsPerUnit> sockets;
    FileStamp watchedStamp;

    const std::string& WatchedFile() const { return sockets[0].workFile; }
};

struct SocketState {
    bool enabled = false;
    std::string workFile;
    std::string checksumText{kZeroAddressText};
    std::string offsetText{kZeroAddressText};
};

struct UnitState {
    std::string vendor;  // the vendor and type boxes' texts
    std::string type;
    std::array<SocketState, kSocketsPerUnit> sockets;
};

// The effects of a work-file change that reach beyond the sockets, in this order: when the
// watched file was set, take its stamp and start the watch if "Watch" is checked; reset the
// indicators keeping the file steps; send SetUnitMode 0x40 and SetLamp(1, 0).
class SocketEvents {
  public:
    virtual ~SocketEvents() = default;
    virtual void WorkFileChanged(int unit, int socket, bool watchedFileSet) = 0;
    // A field or the enable box of the socket changed (the window redraws it).
    virtual void FieldsChanged(int /*unit*/, int /*socket*/) {}
};

class Units {
  public:
    // The flash timer (130 ms) is the caller's: it calls FlashTick while the timer runs.
    Units(IndicatorBoard& board, Timer& flashTimer);

    void SetEvents(SocketEvents* events) { events_ = events; }

    const UnitState& Unit(int unit) const { return units_[UnitSlot(unit)]; }
    const SocketState& Socket(int unit, int socket) const;
    const SocketState& SocketAt(int index) const;
    SavedSettings& Saved() { return saved_; }
    const SavedSettings& Saved() const { return saved_; }

    void SetVendorText(int unit, std::string text);
    void SetTypeText(int unit, std::string text);

    // The enable box of a socket, by click or by code. Unit 1 and unit 2 socket 1, when checked:
    // with an empty work file they become the only checked box, else every checked box whose
    // work file is empty is cleared. Any other box, when checked with an empty work file, clears
    // itself. Clearing has no further effect.
    void SetEnabled(int unit, int socket, bool checked);

    // A new work-file text; a socket 1 field that changes runs the work-file change.
    void SetWorkFile(int unit, int socket, std::string text);
    // The work-file change of a socket 1 field, also when its text stays (a reload): lights or
    // clears both Load File tiles; for unit 1 a file (not kDataFromBuffer) becomes the watched
    // file; then the events.
    void RunWorkFileChange(int unit);

    // A changed checksum text starts the flash: ten steps alternating red on white and normal,
    // ending in red text that stays until a passed verify calls ClearChecksumWarning.
    void SetChecksumText(int unit, int socket, std::string text);
    void FlashTick();
    void ClearChecksumWarning(int unit, int socket);

    // A gang's unit shows unit 1's choice: its vendor and type, and socket 1's work file,
    // checksum and offset (unit 1's buffer is what it programs); a changed checksum turns its
    // field red until its own verify passes. Its enable box stays as it is
    // while there is a work file, and is cleared without one.
    void MirrorUnit1(int unit);

    // The offset field (read-only for the operator): the text set is clamped to the device's last
    // address and a zero value becomes 00000000.
    void SetOffsetText(int unit, int socket, std::string_view text, std::uint64_t deviceSize);

  private:
    static std::size_t UnitSlot(int unit);
    static std::size_t SocketSlot(int socket);
    SocketState& MutableSocket(int unit, int socket);

    IndicatorBoard& board_;
    Timer& flashTimer_;
    SocketEvents* events_ = nullptr;
    std::array<UnitState, kUnitCount> units_;
    SavedSettings saved_;
    std::optional<int> flashingSocket_;  // index of the checksum field that flashes
    std::uint8_t flashCounter_ = 0;
};

}  // namespace torq
