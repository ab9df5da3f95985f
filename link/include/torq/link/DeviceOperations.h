// The device operations: read, verify, blank check, erase, program, protect and unprotect, and
// the target reset. Each restarts the programmer's firmware and follows the same frame on the
// command channel: count, start, echo poll, script, data blocks, closing poll, one result line.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "torq/buffer/BufferFile.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/PageValues.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"
#include "torq/link/Programmer.h"

namespace torq {

inline constexpr std::size_t kDataBlockSize = 1024;
inline constexpr std::size_t kPageProgramBlockSize = 320;
inline constexpr std::size_t kSequentialBlockSize = 576;
inline constexpr std::size_t kSequentialChunk = 256;

inline constexpr std::string_view kVerifyListFirstLine = "---Verify Errors Information---";
inline constexpr std::string_view kVerifyListLastLine = "-------------------------------";

// How verify reports its differences: listed (with the limit) or only counted up to one.
struct VerifyListing {
    bool listed = true;
    int limit = 100;
    // The limit in force: 1 while the list is off.
    int EffectiveLimit() const { return listed ? (limit > 0 ? limit : 100) : 1; }
};

// "No." + number padded to the digits of the limit + " : 0x" + address + " : Buffer=0x.., IC=0x.."
std::string VerifyErrorLine(int number, int limit, std::uint32_t address, std::uint8_t bufferByte,
                            std::uint8_t chipByte);

enum class ProtectDirection { Protect, Unprotect };

// How a program loop ended.
enum class PagesSent { Done, CommunicationFailed, BufferUnreadable, Stopped };

// The 45-series page mode: 1 with spare bytes (page addresses in units of 2 x Page_Size), 2
// without (power-of-two pages).
int DataFlashPageMode(const DeviceRecord& record);

// The scripts and blocks of the operations, byte for byte.
Script EraseScript25(std::uint8_t opcode);
Script DataFlashPageSizeScript();
Script DataFlashBlockEraseScript(std::uint32_t address);
Script ReadHeaderScript(std::uint8_t opcode);
Script PageProgramBlock(std::uint32_t address, std::span<const std::uint8_t> page);
Script SequentialProgramBlock(int mode, std::uint32_t address,
                              std::span<const std::uint8_t, kSequentialChunk> chunk);
Script DataFlashPageBlock(const DeviceRecord& record, std::uint32_t pageNumber,
                          std::span<const std::uint8_t> page);
// The status-register write: S for N = 0, else the values from Menu.ini.
Script StatusRegisterScript(const DeviceRecord& record, std::uint8_t statusValue,
                            std::span<const std::uint8_t> menuValues);
// The status the protect direction writes, from the parameter-page values.
std::uint8_t StatusFromPageValues(const DeviceRecord& record, const PageValues& values);
// Opcode of the 25-series erase selector (erase_mode bits 8-15), 0 when there is none.
std::uint8_t EraseOpcode(std::uint8_t selector);

// "Error : The buffer file PATH cannot be read !" (or "... cannot be written !"); for a FIFO, a
// device or a folder in its place "Error : The buffer file PATH is not a regular file (a FIFO) !".
enum class BufferAccess { Read, Write };
std::string BufferFileErrorLine(const std::filesystem::path& buffer, BufferAccess access);

// "First not blank address : 0x00010000 : IC=0x12": where a blank check found data.
std::string NotBlankLine(std::uint64_t address, std::uint8_t chipByte);
// What a 25-series chip's status register says of its protection, and the likely cause when a
// protection bit is set: "Protection : Status Register=0x9C : ...". `unprotectStatus` is the
// first status byte Unprotect writes (the Premium values for devices that list their status
// registers, else 0).
std::string ProtectionLine(const DeviceRecord& record, std::uint8_t status,
                           std::uint8_t unprotectStatus);

class DeviceOperations {
  public:
    DeviceOperations(Programmer& programmer, const ProgramDirectory& dirs,
                     const Clock& clock = SystemClock::Instance());

    // Progress of the block loops; the pump runs with it at most every ~30 ms.
    void SetProgressSink(ProgressSink* sink) { progress_ = sink; }
    // The operator's stop: the block loops (read, blank check, verify, program, the DataFlash
    // erase) end before their next block with the operation's "Stopped" line once it is set. An
    // erase of the whole chip is one command and runs to its end.
    void SetStopRequest(const std::atomic<bool>* stop) { stop_ = stop; }
    // Whether the last operation ended at a stop request; asking clears it.
    bool TakeStopped() { return std::exchange(stopped_, false); }

    // Reads the chip into the buffer file. For 25-series chips the status registers are read back
    // into `readBack` (the caller stores them as the parameter-page values).
    bool ReadDevice(const DeviceRecord& record, PageValues* readBack = nullptr);
    bool VerifyDevice(const DeviceRecord& record, const VerifyListing& listing);
    // A chip that is not blank names the first address with data and what its status register
    // says of protection (the values tell what Unprotect writes).
    bool BlankCheck(const DeviceRecord& record, const PageValues& values = PageValues());
    // Erase and program of 25-series chips unprotect first; protect and unprotect write the
    // status from the parameter-page values (the working values of Menu.ini).
    bool EraseDevice(const DeviceRecord& record, const PageValues& values);
    bool ProgramDevice(const DeviceRecord& record, const PageValues& values);
    bool ProtectDevice(const DeviceRecord& record, ProtectDirection direction,
                       const PageValues& values);
    // wValue: bits 7..0 idle level (1 normal low), bit 8 pulse now; a line only with a pulse.
    bool TargetReset(std::uint16_t value, std::uint16_t pulseMs);

  private:
    class BlockLoop;
    bool Fail();  // the communication failure line; false
    bool Line(std::string_view name, bool pass);
    bool CloseWithLine(std::string_view name, bool pass);
    bool ReceiveChip(const DeviceRecord& record, std::string_view label,
                     const std::function<bool(std::span<const std::uint8_t>, std::uint64_t)>& block,
                     bool& stopped);
    PageValues ReadStatusBack(const DeviceRecord& record);
    // After an erase or a blank check that failed on a 25-series chip: the status register read
    // and the protection line. Nothing is written when the register cannot be read.
    void ReportProtection(const DeviceRecord& record, const PageValues& values);
    bool EraseDataFlash(const DeviceRecord& record);
    bool ProgramPages(const DeviceRecord& record, const BufferBlockReader& buffer);
    bool ProgramSequential(const DeviceRecord& record, int mode, const BufferBlockReader& buffer);
    bool ProgramDataFlash(const DeviceRecord& record, const BufferBlockReader& buffer);
    bool RefuseWithoutBuffer(std::string_view label);
    bool Unusable(const DeviceRecord& record, std::string_view label);
    bool FinishProgram(PagesSent sent, bool lastOk);
    bool ProtectSectors(const DeviceRecord& record, ProtectDirection direction,
                        std::string_view label);
    void ReportProgress(std::uint64_t done, std::uint64_t total, bool force = false);
    bool StopAsked() const { return stop_ != nullptr && stop_->load(); }
    // The operation's "Stopped" line; false.
    bool Stop(std::string_view name);

    Programmer* programmer_;
    CommandChannel* channel_;
    ProgramDirectory dirs_;
    const Clock* clock_;
    ProgressSink* progress_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    bool stopped_ = false;
    std::uint32_t lastProgressTick_ = 0;
};

}  // namespace torq
