// Simulated SPI flash chips. A transaction is what happens between chip select going low and
// going high again: the command bytes go in, then the host clocks out as many answer bytes as it
// wants; writes and erases take effect when chip select goes high, as on the real parts.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "torq/sim/ChipMemory.h"
#include "torq/sim/SimClock.h"

namespace torq::sim {

// What a data line reads when nothing drives it (pull-up).
inline constexpr std::uint8_t kUndrivenByte = 0xFF;

enum class ChipKind {
    SerialFlash,  // 25-series flash: page program, block-protect bits or per-sector protection
    DataFlash,    // 45-series: SRAM buffer, page program from the buffer, 0xD7 status
    Eeprom,       // serial EEPROM: byte writes replace data, no erase, no ID
};
enum class AutoIncrement { None, Word, Byte };  // SST AAI programming (0xAD / 0xAF)

// An erase command that takes an address: the bytes it erases and its typical busy time.
struct EraseCommand {
    std::uint8_t opcode = 0;
    std::uint32_t size = 0;
    std::uint32_t typicalMicros = 0;
};

struct ChipSpec {
    std::string name;
    ChipKind kind = ChipKind::SerialFlash;
    std::uint32_t minMillivolts = 2700;
    std::uint32_t maxMillivolts = 3600;
    std::uint64_t size = 0;        // bytes of the array (DataFlash: spare bytes included)
    std::uint32_t pageSize = 256;  // page program wraps inside a page of this size

    // Answer to 0x9F, repeated; empty: not supported. DataFlash parts give their extended
    // information length (and that information) after the three ID bytes.
    std::vector<std::uint8_t> jedecId;
    std::optional<std::uint8_t> electronicSignature;                // 0xAB, repeated
    std::optional<std::array<std::uint8_t, 2>> manufacturerDevice;  // 0x90, in turn
    bool signatureIsManufacturerDevice = false;                     // SST: 0xAB answers like 0x90
    std::vector<std::uint8_t> productId15;  // AT25F: 0x15 manufacturer, device

    // Status registers: the first at 0x05; a second one (Winbond SR2 at 0x35, Macronix
    // configuration register at 0x15) is written as the second byte of 0x01.
    std::uint8_t secondRegisterOpcode = 0;
    std::uint8_t blockProtectBits = 3;  // width of the BP field at bit 2
    // BP value v protects the top (protectUnit << (v - 1)) bytes; all ones protect everything.
    std::uint32_t protectUnit = 64 * 1024;
    std::optional<std::uint8_t> powerUpStatus;  // SST parts power up with every block protected
    AutoIncrement autoIncrement = AutoIncrement::None;

    // The erase commands the part has, from its datasheet: those that take an address (with the
    // unit each erases) and those that erase the whole chip. Any other opcode does nothing.
    // DataFlash parts list their page (0x81) and block (0x50) erase here for the busy times.
    std::vector<EraseCommand> eraseCommands;
    std::vector<std::uint8_t> chipEraseOpcodes;

    // Typical busy times, used in real-time mode: page program (DataFlash: buffer to main
    // memory page), one auto-increment program command, a status register write, chip erase.
    std::uint32_t pageProgramMicros = 700;
    std::uint32_t autoIncrementMicros = 10;
    std::uint32_t statusWriteMicros = 10000;
    std::uint64_t chipEraseMicros = 0;

    // Per-sector protection (AT26DF, AT25DF): sector start addresses; every sector is
    // protected at power-up, 0x39 unprotects and 0x36 protects one sector.
    std::vector<std::uint32_t> sectorStarts;

    // DataFlash geometry. statusReady is the 0xD7 answer when ready in the standard page size
    // (ready bit and density code); power-of-two pages add bit 0. The E parts have a second
    // status byte, given in turn with the first.
    std::uint32_t pages = 0;
    std::uint32_t standardPageSize = 0;  // 264, 528, 1056
    std::uint32_t binaryPageSize = 0;    // 256, 512, 1024; 0 when the part has no such option
    std::uint8_t statusReady = 0;
    std::optional<std::uint8_t> secondStatusReady;

    const EraseCommand* FindErase(std::uint8_t opcode) const;
    bool ErasesChip(std::uint8_t opcode) const;
};

class SpiChip {
  public:
    virtual ~SpiChip() = default;
    const ChipSpec& Spec() const { return spec_; }
    ChipMemory& Memory() { return *memory_; }
    const ChipMemory& Memory() const { return *memory_; }

    bool Powered() const { return powered_; }
    // The programmer switches the supply; the part works only inside its voltage range. Every
    // switch-on is a power-up (volatile state reset).
    void SetSupply(std::uint32_t millivolts);
    std::uint32_t Supply() const { return supplyMillivolts_; }

    // One whole transaction: `command` clocked in, then `answerLength` bytes clocked out.
    std::vector<std::uint8_t> Transaction(std::span<const std::uint8_t> command,
                                          std::size_t answerLength);
    // The same in steps, for long reads: Begin, any number of Read calls, End.
    void Begin(std::span<const std::uint8_t> command);
    void Read(std::span<std::uint8_t> out);
    void End();

    // The array as the host addresses it, for tests and the CLI (DataFlash: the current page
    // layout).
    virtual std::uint64_t AddressableSize() const { return spec_.size; }

    // Busy times. Untimed (the default), every command is done when chip select goes high.
    // Timed, a program or erase keeps the part busy for its typical time after the moment the
    // owner last set: the status shows it, and other commands are ignored until it ends.
    void EnableTiming(bool timed) { timed_ = timed; }
    bool Timed() const { return timed_; }
    void SetTime(SimTime now) { now_ = now; }
    SimTime BusyUntil() const { return busyUntil_; }
    bool Busy() const { return now_ < busyUntil_; }
    // How long the part is typically busy after this command, when it takes effect.
    virtual SimTime TypicalBusy(std::span<const std::uint8_t> command) const = 0;
    // The busy time of every program and erase that took effect while timed, added up: what the
    // part itself costs a run, beside the bus.
    SimTime BusyTotal() const { return busyTotal_; }

  protected:
    SpiChip(ChipSpec spec, std::unique_ptr<ChipMemory> memory)
        : spec_(std::move(spec)), memory_(std::move(memory)) {}
    virtual void PowerUp() = 0;
    // Answer bytes for the current command; `position` counts answer bytes already given.
    virtual void Answer(std::span<std::uint8_t> out) = 0;
    // Chip select high: carry out the command.
    virtual void Execute() = 0;
    // Commands the part takes while it is busy (status reads).
    virtual bool TakenWhileBusy(std::uint8_t opcode) const = 0;
    // The current command took effect: busy for its typical time.
    void StartBusy();

    ChipSpec spec_;
    std::unique_ptr<ChipMemory> memory_;
    std::vector<std::uint8_t> command_;
    std::uint64_t position_ = 0;  // answer bytes clocked so far in this transaction
    bool selected_ = false;
    bool powered_ = false;
    std::uint32_t supplyMillivolts_ = 0;
    bool timed_ = false;
    SimTime now_{0};
    SimTime busyUntil_{0};
    SimTime busyTotal_{0};
};

// Builds the chip model of a catalog entry over the given memory (null: sparse memory).
std::unique_ptr<SpiChip> MakeChip(const ChipSpec& spec, std::unique_ptr<ChipMemory> memory = {});

// 25-series flash and serial EEPROM.
class SerialFlashChip final : public SpiChip {
  public:
    SerialFlashChip(ChipSpec spec, std::unique_ptr<ChipMemory> memory);
    std::uint8_t Status() const;
    std::uint8_t SecondRegister() const { return second_; }
    bool WriteEnabled() const { return writeEnabled_; }
    bool SectorProtected(std::size_t sector) const { return sectorProtected_.at(sector); }
    bool AddressProtected(std::uint64_t address) const;
    void SetStatusForTest(std::uint8_t status) { status_ = status; }
    // The board holds the WP# pin low (true) or lets it go. While it is held and the status
    // register's protect bit (bit 7, SRWD) is set, the register cannot be written at all, so
    // its block-protect bits stay as they are.
    void HoldWriteProtect(bool held) { writeProtectHeld_ = held; }
    bool WriteProtectHeld() const { return writeProtectHeld_; }
    // A chip locked in the field: the protect bit and every block-protect bit set.
    void LockStatusRegister();
    SimTime TypicalBusy(std::span<const std::uint8_t> command) const override;

  protected:
    void PowerUp() override;
    void Answer(std::span<std::uint8_t> out) override;
    void Execute() override;
    bool TakenWhileBusy(std::uint8_t opcode) const override;

  private:
    std::uint32_t Address(std::size_t at = 1) const;
    std::size_t SectorOf(std::uint64_t address) const;
    bool AutoIncrementOpcode(std::uint8_t opcode) const;
    // Both return the number of bytes that changed hands (protected bytes are left alone).
    std::size_t ProgramBytes(std::uint64_t address, std::span<const std::uint8_t> data,
                             bool wrapInPage);
    std::uint64_t EraseRange(std::uint64_t start, std::uint64_t length);
    bool WriteStatus();  // false when the command carried no value
    void AutoIncrementProgram(std::size_t bytesPerCommand);

    // The WP# pin held low with bit 7 set: status writes are ignored (hardware protection).
    bool StatusRegisterLocked() const;

    std::uint8_t status_ = 0;  // BP bits and bit 7; WEL and busy are kept apart
    std::uint8_t second_ = 0;
    bool writeEnabled_ = false;
    bool statusWriteEnabled_ = false;  // SST 0x50
    bool writeProtectHeld_ = false;
    bool autoIncrementActive_ = false;
    std::uint64_t autoIncrementAddress_ = 0;
    std::vector<bool> sectorProtected_;
};

class DataFlashChip final : public SpiChip {
  public:
    DataFlashChip(ChipSpec spec, std::unique_ptr<ChipMemory> memory);
    bool BinaryPages() const { return binaryPages_; }
    void SetBinaryPages(bool binary) { binaryPages_ = binary; }
    std::uint32_t PageSize() const {
        return binaryPages_ ? spec_.binaryPageSize : spec_.standardPageSize;
    }
    std::uint64_t AddressableSize() const override {
        return std::uint64_t{spec_.pages} * PageSize();
    }
    std::uint8_t Status() const;
    // The byte at a host address in the current page layout.
    std::uint8_t ByteAt(std::uint64_t hostAddress) const;
    SimTime TypicalBusy(std::span<const std::uint8_t> command) const override;

  protected:
    void PowerUp() override;
    void Answer(std::span<std::uint8_t> out) override;
    void Execute() override;
    bool TakenWhileBusy(std::uint8_t opcode) const override;

  private:
    // Page and byte of an address in the current layout.
    std::pair<std::uint32_t, std::uint32_t> Split(std::uint32_t address) const;
    std::uint64_t ArrayOffset(std::uint32_t page, std::uint32_t byte) const {
        return std::uint64_t{page} * spec_.standardPageSize + byte;
    }
    std::uint32_t PageAddressShift() const;

    bool binaryPages_ = false;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace torq::sim
