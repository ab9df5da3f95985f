// The framing layer between the device operations and one programmer: vendor requests, the
// 64-byte command block, bulk scripts and data blocks, the retry rule and the state polls.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "torq/devlib/Seams.h"
#include "torq/usb/UsbDevice.h"

namespace torq {

inline constexpr std::string_view kCommunicationFailureMessage =
    "Error : Please check the status of communication devices !";

// Vendor request codes of the programmer protocol.
namespace request {
inline constexpr std::uint8_t kRamWrite = 0xA0;
inline constexpr std::uint8_t kStartOperation = 0x90;
inline constexpr std::uint8_t kSetCount = 0x91;
inline constexpr std::uint8_t kGetFirmwareVersion = 0xC2;
inline constexpr std::uint8_t kEndRun = 0xC3;
inline constexpr std::uint8_t kSetLamp = 0xD0;
inline constexpr std::uint8_t kSetUnitMode = 0xD1;
inline constexpr std::uint8_t kTargetReset = 0xD2;
inline constexpr std::uint8_t kGetState = 0xE0;
inline constexpr std::uint8_t kGetBlockReady = 0xE1;
inline constexpr std::uint8_t kSetTargetBoard = 0xE2;
}  // namespace request

// Operation codes of StartOperation; the programmer echoes them in its state when ready.
namespace operation {
inline constexpr std::uint8_t kProgram = 0x11;
inline constexpr std::uint8_t kRead = 0x21;  // also blank check and verify
inline constexpr std::uint8_t kErase = 0x31;
inline constexpr std::uint8_t kStatusWrite = 0x41;
inline constexpr std::uint8_t kIdentify = 0x51;  // ID or status read
inline constexpr std::uint8_t kSectorUnprotect = 0x61;
}  // namespace operation

// State codes the host waits for (byte 0 of the GetState answer).
namespace state {
inline constexpr std::uint8_t kFinished = 0x02;
inline constexpr std::uint8_t kDataFlashProgramSetUp = 0x13;
inline constexpr std::uint8_t kEraseUnderWay = 0x32;
inline constexpr std::uint8_t kDataFlashEraseSetUp = 0x33;
inline constexpr std::uint8_t kStatusWritten = 0x42;
inline constexpr std::uint8_t kSectorsDone = 0x62;
}  // namespace state

inline constexpr std::size_t kCommandBlockSize = 64;
inline constexpr std::uint16_t kCpuControlAddress = 0xE600;
using CommandBlock = std::array<std::uint8_t, kCommandBlockSize>;

// The command set a driver image selects: "_45" in its path means DataFlash.
enum class SpiFamily { Series25, Series45 };
SpiFamily SpiFamilyOf(const std::filesystem::path& driverImage);
// The read opcode of blank check, read and verify: 0x03 for "_25" images, else 0xE8 for "_45"
// images, else none.
std::optional<std::uint8_t> ReadOpcodeOf(const std::filesystem::path& driverImage);

// Builds a command script or data block: a zero-filled block of fixed length written from the
// front. Addresses go out as three bytes, most significant first. Bytes that would fall beyond
// the block are dropped and mark the script as overflowed.
class Script {
  public:
    explicit Script(std::size_t length = kCommandBlockSize) : bytes_(length, 0x00) {}
    Script& Byte(std::uint8_t value);
    Script& Bytes(std::span<const std::uint8_t> values);
    Script& Address(std::uint32_t address);
    Script& Zero(std::size_t count = 1);  // 0x00 spacers
    Script& At(std::size_t offset);       // continue at a fixed offset
    std::span<const std::uint8_t> Data() const { return bytes_; }
    std::size_t Size() const { return bytes_.size(); }
    std::size_t Position() const { return position_; }
    bool Overflowed() const { return overflowed_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool overflowed_ = false;
};

// The outcome of a poll: whether the condition was met, and whether the transfer that met it
// (or the last one made) reported success. Some operations fail when the state was seen but
// its transfer reported an error.
struct PollOutcome {
    bool met = false;
    bool lastTransferOk = false;
    int requests = 0;
    explicit operator bool() const { return met; }
};

class CommandChannel {
  public:
    static constexpr int kPollCounter = 100;  // so a poll makes at most 101 requests
    static constexpr int kAttempts = 2;

    CommandChannel(UsbDevice& usb, Pump& pump) : usb_(&usb), pump_(&pump) {}

    UsbDevice& Usb() { return *usb_; }
    Pump& MessagePump() { return *pump_; }

    // Programmers registered by the last enumeration (0 or 1). While it is 0 every transfer
    // below fails at once without touching the bus.
    int ProgrammerCount() const { return programmerCount_; }
    void SetProgrammerCount(int count) { programmerCount_ = count; }

    // One vendor request or bulk transfer on the current programmer.
    bool ControlIn(std::uint8_t code, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> buffer);
    bool ControlOut(std::uint8_t code, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data = {});
    bool BulkIn(std::span<std::uint8_t> buffer);
    bool BulkOut(std::span<const std::uint8_t> data);
    // Whether the most recent transfer of this channel succeeded.
    bool LastTransferOk() const { return lastTransferOk_; }

    // The retry rule of every framed step: up to two attempts, the window's pending messages
    // processed (no pause) between them. `attempt` refills its buffers itself.
    bool SendWithRetry(const std::function<bool()>& attempt);

    // Framed steps, each with the retry rule.
    bool StartOperation(std::uint8_t code, std::uint16_t parameter);
    // A 32-bit count travels as wValue = bits 31..16, wIndex = bits 15..0.
    bool SetCount(std::uint32_t count);
    bool SendScript(const Script& script) { return SendBlock(script.Data()); }
    bool SendBlock(std::span<const std::uint8_t> block);
    // Receives into `buffer`, filled with `fill` before each attempt (0xFF for data blocks,
    // 0x00 for answers).
    bool ReceiveBlock(std::span<std::uint8_t> buffer, std::uint8_t fill);

    // GetState until byte 0 is the expected code (or the alternative); GetBlockReady until
    // byte 0 is not zero. At most 101 requests, back to back.
    PollOutcome PollState(std::uint8_t expected);
    PollOutcome PollState(std::uint8_t expected, std::uint8_t alternative);
    PollOutcome PollBlockReady();

    // Requests without retry, used outside the operation frame.
    bool GetFirmwareVersion();  // five bytes into the command block
    bool EndRun();
    // SetLamp with the index byte placed in the high byte (index = byte * 256): the lamp after
    // a run and after a work-file change.
    bool SetLamp(std::uint16_t value, std::uint8_t indexByte);
    // SetLamp with the index passed as it is: the unit identification (value 0, index 5).
    bool SetLampIndex(std::uint16_t value, std::uint8_t index);
    bool SetUnitMode(std::uint16_t mode);
    // wValue bits 7..0: idle level (1 normal low), bit 8: pulse now; wIndex: pulse length.
    bool TargetReset(std::uint16_t value, std::uint16_t pulseMs);
    bool SetTargetBoard(std::uint16_t value);

    // A write into the microcontroller's memory. It is served by the microcontroller's boot
    // loader, so it goes to whichever device is open, without the programmer-count gate: the
    // enumeration downloads the image before it registers the programmer.
    bool RamWrite(std::uint16_t address, std::span<const std::uint8_t> data);

    // The one 64-byte buffer of the state answers and the firmware version text.
    CommandBlock& Block() { return block_; }
    void ClearBlock() { block_.fill(0x00); }

  private:
    PollOutcome Poll(std::uint8_t code, const std::function<bool(std::uint8_t)>& condition);
    bool Gate();

    UsbDevice* usb_;
    Pump* pump_;
    int programmerCount_ = 0;
    bool lastTransferOk_ = false;
    CommandBlock block_{};
};

}  // namespace torq
