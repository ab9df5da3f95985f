#include "torq/link/DeviceOperations.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <system_error>
#include <vector>

#include "SpiOpcodes.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/SectorTable.h"
#include "torq/devlib/Text.h"
#include "torq/link/Identification.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kProgressIntervalMs = 30;
using namespace spi;

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return b == 0 ? 0 : (a + b - 1) / b;
}

std::uint32_t ChipUnits(const DeviceRecord& record) {
    return static_cast<std::uint32_t>(record.deviceSize / 256);
}

// The status register of 25-series flash: block-protect bits 2 to 6 (BP0..BP4, TB, SEC on some
// parts) and the register's own protect bit 7 (SRWD, SRP0, BPL), which with the WP# pin held low
// makes the register read-only. The per-sector parts (AT25DF, AT26DF) keep their summary in bits
// 2 and 3 (SWP), show the WP# pin in bit 4 (WPP, 0 while it is held low) and their lock in bit 7
// (SPRL).
constexpr std::uint8_t kBlockProtectBits = 0x7C;
constexpr std::uint8_t kStatusProtectBit = 0x80;
constexpr std::uint8_t kSectorSummaryBits = 0x0C;
constexpr std::uint8_t kWriteProtectPinBit = 0x10;

std::string HexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// The first status byte Unprotect writes: the first Premium value for devices that list their
// status registers, else 0.
std::uint8_t UnprotectStatus(const DeviceRecord& record, const PageValues& values) {
    if (record.readStatusRegister == 0 || IsPerSectorProtected(record.name))
        return 0;
    return static_cast<std::uint8_t>(values.Integer(0, 0, 0));
}

}  // namespace

std::string VerifyErrorLine(int number, int limit, std::uint32_t address, std::uint8_t bufferByte,
                            std::uint8_t chipByte) {
    const int width = static_cast<int>(std::to_string(limit).size());
    char text[96];
    std::snprintf(text, sizeof text, "No.%0*d : 0x%08X : Buffer=0x%02X, IC=0x%02X", width, number,
                  address, bufferByte, chipByte);
    return text;
}

std::string BufferFileErrorLine(const std::filesystem::path& buffer, BufferAccess access) {
    if (const auto kind = io::NonRegularKind(buffer))
        return "Error : The buffer file " + io::NotRegularFileText(buffer, *kind) + " !";
    return "Error : The buffer file " + buffer.string() +
           (access == BufferAccess::Write ? " cannot be written !" : " cannot be read !");
}

std::string NotBlankLine(std::uint64_t address, std::uint8_t chipByte) {
    char text[64];
    std::snprintf(text, sizeof text, "First not blank address : 0x%08llX : IC=0x%02X",
                  static_cast<unsigned long long>(address), chipByte);
    return text;
}

std::string ProtectionLine(const DeviceRecord& record, std::uint8_t status,
                           std::uint8_t unprotectStatus) {
    std::string line = "Protection : Status Register=" + HexByte(status) + " : ";
    const bool locked = (status & kStatusProtectBit) != 0;
    if (IsPerSectorProtected(record.name)) {
        const int summary = (status & kSectorSummaryBits) >> 2;
        if (summary == 0)
            return line + "no sector protected";
        const bool pinHeld = (status & kWriteProtectPinBit) == 0;
        line += "sectors protected (SWP=" + std::to_string(summary) + ")";
        if (pinHeld)
            line += ", WP# pin held low";
        if (!locked)
            return line + " : Unprotect did not clear them";
        return line + ", SPRL (bit 7) set : the sectors are locked" +
               (pinHeld ? " while WP# is held low" : "") + "; Unprotect cannot clear them";
    }
    const std::uint8_t blocks = static_cast<std::uint8_t>((status & kBlockProtectBits) >> 2);
    if (blocks == 0) {
        line += "no block-protect bits set";
        return locked ? line + ", SRWD (bit 7) set" : line;
    }
    line += "block-protect bits=" + HexByte(blocks) + (locked ? ", SRWD (bit 7)" : "") + " set";
    if ((unprotectStatus & kBlockProtectBits) != 0)
        return line + " : Unprotect writes them from the Premium values; set those to 0";
    if (locked)
        return line + " : locked, likely by the WP# pin held low; Unprotect cannot clear them";
    return line + " : Unprotect did not clear them";
}

int DataFlashPageMode(const DeviceRecord& record) {
    return record.pageSpareSize != 0 ? 1 : 2;
}

std::uint8_t EraseOpcode(std::uint8_t selector) {
    static constexpr std::uint8_t kOpcodes[] = {kChipErase,      kChipEraseAlternative,
                                                kChipEraseAt25F, kBlockErase64K,
                                                kBlockErase32K,  kSectorErase4K};
    return (selector >= 1 && selector <= 6) ? kOpcodes[selector - 1] : 0;
}

Script EraseScript25(std::uint8_t opcode) {
    Script script;
    script.Byte(kWriteEnable).Zero().Byte(opcode).Zero().Byte(kReadStatus);
    return script;
}

Script DataFlashPageSizeScript() {
    Script script;
    script.Bytes(kDataFlashPageSizeSetUp);
    return script;
}

Script DataFlashBlockEraseScript(std::uint32_t address) {
    Script script;
    script.Byte(kDataFlashBlockErase).Address(address).Byte(kDataFlashStatus);
    return script;
}

Script ReadHeaderScript(std::uint8_t opcode) {
    Script script;
    script.Byte(opcode).Address(0);
    return script;
}

Script PageProgramBlock(std::uint32_t address, std::span<const std::uint8_t> page) {
    Script block(kPageProgramBlockSize);
    block.Byte(kWriteEnable)
        .Zero()
        .Byte(kPageProgram)
        .Address(address)
        .Bytes(page)
        .Byte(kReadStatus);
    return block;
}

Script SequentialProgramBlock(int mode, std::uint32_t address,
                              std::span<const std::uint8_t, kSequentialChunk> d) {
    Script block(kSequentialBlockSize);
    if (mode == 2) {
        block.Byte(kWriteEnable)
            .Zero()
            .Byte(kWordProgramAai)
            .Address(address)
            .Byte(d[0])
            .Byte(d[1]);
        for (std::size_t i = 0; i <= 126; ++i)
            block.Byte(kWordProgramAai).Zero().Byte(d[2 + 2 * i]).Byte(d[3 + 2 * i]);
    } else {
        block.Byte(kWriteEnable).Zero().Byte(kByteProgramAai).Address(address).Byte(d[0]).Zero();
        for (std::size_t i = 0; i <= 254; ++i)
            block.Byte(kByteProgramAai).Byte(d[1 + i]);
    }
    block.Byte(kWriteDisable);
    return block;
}

Script DataFlashPageBlock(const DeviceRecord& record, std::uint32_t pageNumber,
                          std::span<const std::uint8_t> page) {
    const std::size_t pageBytes = static_cast<std::size_t>(record.pageSize + record.pageSpareSize);
    const std::uint32_t unit = static_cast<std::uint32_t>(
        DataFlashPageMode(record) == 1 ? 2 * record.pageSize : record.pageSize);
    Script block(static_cast<std::size_t>(record.pageSize) + 64);
    block.Byte(kDataFlashBufferWrite).Zero(3).Bytes(page);
    block.At(4 + pageBytes)
        .Byte(kDataFlashBufferToPageProgram)
        .Address(pageNumber * unit)
        .Byte(kDataFlashStatus)
        .Zero();
    return block;
}

Script StatusRegisterScript(const DeviceRecord& record, std::uint8_t s,
                            std::span<const std::uint8_t> values) {
    Script script;
    script.Byte(kWriteEnable).Zero().Byte(kWriteStatusEnable).Zero().Byte(kWriteStatus);
    const int n = record.readStatusRegister;
    if (n == 0) {
        script.Byte(s).Byte(kReadStatus).Zero().Byte(s);
        return script;
    }
    for (int i = 0; i < n; ++i)
        script.Byte(i < static_cast<int>(values.size()) ? values[i] : 0);
    for (int i = 0; i < n && i < kStatusRegisterOpcodeSlots; ++i) {
        script.Byte(record.readStatusRegisterOpcodes[static_cast<std::size_t>(i)])
            .Zero()
            .Byte(i < static_cast<int>(values.size()) ? values[i] : 0);
    }
    return script;
}

DeviceOperations::DeviceOperations(Programmer& programmer, const ProgramDirectory& dirs,
                                   const Clock& clock)
    : programmer_(&programmer), channel_(&programmer.Channel()), dirs_(dirs), clock_(&clock) {}

bool DeviceOperations::Fail() {
    programmer_->ReportCommunicationFailure();
    return false;
}

// The closing state poll of an operation, then its result line.
bool DeviceOperations::CloseWithLine(std::string_view name, bool pass) {
    if (!channel_->PollState(state::kFinished))
        return Fail();
    return Line(name, pass);
}

bool DeviceOperations::Stop(std::string_view name) {
    stopped_ = true;
    programmer_->Log().WriteInfoLine(std::string(name) + "Stopped");
    return false;
}

bool DeviceOperations::Line(std::string_view name, bool pass) {
    programmer_->Log().WriteInfoLine(std::string(name) + (pass ? "Pass" : "Fail"));
    return pass;
}

void DeviceOperations::ReportProgress(std::uint64_t done, std::uint64_t total, bool force) {
    const std::uint32_t now = clock_->TickMs();
    if (!force && TicksBetween(lastProgressTick_, now) < kProgressIntervalMs)
        return;
    lastProgressTick_ = now;
    if (progress_ != nullptr)
        progress_->Progress(done, total);
    programmer_->MessagePump().ProcessPendingMessages();
}

// The read loop shared by blank check, read and verify: restart, count, start, header, then one
// block poll and one 1024-byte block per KiB of the chip (an image with no read opcode ends it
// with the operation's Fail line). `block` gets the chip's bytes of each block
// (at most DeviceSize in all) and their address; returning false stops the loop (`stopped`).
bool DeviceOperations::ReceiveChip(
    const DeviceRecord& record, std::string_view label,
    const std::function<bool(std::span<const std::uint8_t>, std::uint64_t)>& block, bool& stopped) {
    stopped = false;
    if (!programmer_->Restart())
        return false;
    const auto opcode = ReadOpcodeOf(record.driverImagePath);
    if (!opcode)
        return Line(label, false);
    if (!channel_->SetCount(ChipUnits(record)))
        return Fail();
    if (!channel_->StartOperation(operation::kRead, 1))
        return Fail();
    if (!channel_->SendScript(ReadHeaderScript(*opcode)))
        return Fail();
    std::array<std::uint8_t, kDataBlockSize> data{};
    const std::uint64_t size = record.deviceSize;
    const std::uint64_t blocks = CeilDiv(size, kDataBlockSize);
    ReportProgress(0, size, true);
    for (std::uint64_t k = 0; k < blocks; ++k) {
        if (StopAsked())
            return Stop(label);
        if (!channel_->PollBlockReady())
            return Fail();
        if (!channel_->ReceiveBlock(data, 0xFF))
            return Fail();
        const std::uint64_t address = k * kDataBlockSize;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kDataBlockSize, size - address));
        if (!block(std::span(data).first(n), address)) {
            stopped = true;
            return true;
        }
        ReportProgress(address + n, size);
    }
    ReportProgress(size, size, true);
    return true;
}

bool DeviceOperations::ReadDevice(const DeviceRecord& record, PageValues* readBack) {
    if (Unusable(record, "Read : "))
        return false;
    // The chip is read into a new file beside the buffer, which replaces it only when the read
    // has succeeded: a failed read never destroys the image the operator had.
    ReplacementFile read(dirs_.BufferFile());
    if (!read.IsOpen())
        return RefuseWithoutBuffer("Read : ");
    bool stopped = false;
    const bool received = ReceiveChip(
        record, "Read : ",
        [&](std::span<const std::uint8_t> bytes, std::uint64_t) { return read.Append(bytes); },
        stopped);
    if (!received)
        return false;
    if (stopped)
        return RefuseWithoutBuffer("Read : ");

    std::optional<PageValues> status;
    if (Contains(record.driverImagePath.filename().string(), "_25"))
        status = ReadStatusBack(record);

    if (!channel_->PollState(state::kFinished))
        return Fail();
    if (!read.Commit(false))
        return RefuseWithoutBuffer("Read : ");
    if (status && readBack != nullptr)
        *readBack = std::move(*status);
    return Line("Read : ", true);
}

// The status registers read back after a read: with no opcodes listed, the block-protect bits and
// bit 7 of the status register as the first page's two components; else each register's value.
// A failed read gives 0.
PageValues DeviceOperations::ReadStatusBack(const DeviceRecord& record) {
    const auto readStatus = [&](std::uint8_t opcode) {
        IdAnswer answer{};
        programmer_->Restart();
        IdentificationExchange(*programmer_, opcode, answer, ExchangeFailure::Ignore);
        return answer[0];
    };
    PageValues values;
    if (record.readStatusRegister == 0) {
        const std::uint8_t s = readStatus(kReadStatus);
        values.Set(0, 0, std::to_string((s & 0x7C) >> 2));
        values.Set(0, 1, std::to_string(s >> 7));
        return values;
    }
    const int n = std::min<int>(record.readStatusRegister, kStatusRegisterOpcodeSlots);
    for (int i = 0; i < n; ++i) {
        const std::uint8_t s =
            readStatus(record.readStatusRegisterOpcodes[static_cast<std::size_t>(i)]);
        values.Set(0, i, std::to_string(s));
    }
    return values;
}

void DeviceOperations::ReportProtection(const DeviceRecord& record, const PageValues& values) {
    if (SpiFamilyOf(record.driverImagePath) != SpiFamily::Series25)
        return;  // DataFlash has no block-protect bits in its status
    IdAnswer answer{};
    if (!programmer_->Restart() ||
        !IdentificationExchange(*programmer_, kReadStatus, answer, ExchangeFailure::Ignore)) {
        return;
    }
    programmer_->Log().WriteInfoLine(
        ProtectionLine(record, answer[0], UnprotectStatus(record, values)));
}

bool DeviceOperations::VerifyDevice(const DeviceRecord& record, const VerifyListing& listing) {
    if (Unusable(record, "Verify : "))
        return false;
    const int limit = listing.EffectiveLimit();
    std::vector<std::string> list;
    if (listing.listed)
        list.emplace_back(kVerifyListFirstLine);

    const BufferBlockReader buffer(dirs_.BufferFile());
    if (!buffer.IsOpen())
        return RefuseWithoutBuffer("Verify : ");
    std::array<std::uint8_t, kDataBlockSize> expected{};
    int errors = 0;
    bool stopped = false;
    bool bufferUnreadable = false;
    const bool received = ReceiveChip(
        record, "Verify : ",
        [&](std::span<const std::uint8_t> chip, std::uint64_t address) {
            // A buffer shorter than the chip compares as erased flash past its end.
            const auto bytes = std::span(expected).first(chip.size());
            if (!buffer.Read(address, bytes, kErasedByte)) {
                bufferUnreadable = true;
                return false;
            }
            for (std::size_t i = 0; i < chip.size(); ++i) {
                if (chip[i] == expected[i])
                    continue;
                ++errors;
                if (listing.listed) {
                    list.push_back(VerifyErrorLine(errors, limit,
                                                   static_cast<std::uint32_t>(address + i),
                                                   expected[i], chip[i]));
                }
                if (errors >= limit)
                    return false;
            }
            return true;
        },
        stopped);
    if (!received)
        return false;
    if (bufferUnreadable)
        return Line("Verify : ", false);
    if (errors == 0) {
        return CloseWithLine("Verify : ", true);
    }
    Line("Verify : ", false);
    if (listing.listed) {
        list.emplace_back(kVerifyListLastLine);
        programmer_->Log().WriteInfoLine(JoinLines(list), false);
    }
    return false;
}

bool DeviceOperations::BlankCheck(const DeviceRecord& record, const PageValues& values) {
    if (Unusable(record, "Blank Check : "))
        return false;
    bool stopped = false;
    std::uint64_t notBlankAddress = 0;
    std::uint8_t notBlankByte = 0xFF;
    const bool received = ReceiveChip(
        record, "Blank Check : ",
        [&](std::span<const std::uint8_t> chip, std::uint64_t address) {
            const auto data =
                std::find_if(chip.begin(), chip.end(), [](std::uint8_t b) { return b != 0xFF; });
            if (data == chip.end())
                return true;
            notBlankAddress = address + static_cast<std::uint64_t>(data - chip.begin());
            notBlankByte = *data;
            return false;
        },
        stopped);
    if (!received)
        return false;
    if (stopped) {
        // Where the data are, and whether protection kept an erase from reaching them.
        Line("Blank Check : ", false);
        programmer_->Log().WriteInfoLine(NotBlankLine(notBlankAddress, notBlankByte));
        ReportProtection(record, values);
        return false;
    }
    return CloseWithLine("Blank Check : ", true);
}

bool DeviceOperations::EraseDevice(const DeviceRecord& record, const PageValues& values) {
    if (Unusable(record, "Erase : "))
        return false;
    if (SpiFamilyOf(record.driverImagePath) == SpiFamily::Series45)
        return EraseDataFlash(record);
    if (!ProtectDevice(record, ProtectDirection::Unprotect, values))
        return false;
    const std::uint8_t opcode = EraseOpcode(record.EraseSelector());
    if (opcode == 0)
        return false;
    if (!channel_->StartOperation(operation::kErase, 1))
        return Fail();
    if (!channel_->PollState(operation::kErase))
        return Fail();
    if (!channel_->SendScript(EraseScript25(opcode)))
        return Fail();
    const PollOutcome underWay = channel_->PollState(state::kEraseUnderWay, state::kFinished);
    if (!underWay)
        return Fail();
    if (!underWay.lastTransferOk) {
        Line("Erase : ", false);
        ReportProtection(record, values);
        return false;
    }
    return CloseWithLine("Erase : ", true);
}

bool DeviceOperations::EraseDataFlash(const DeviceRecord& record) {
    if (!programmer_->Restart())
        return false;
    const int mode = DataFlashPageMode(record);
    channel_->SetCount(static_cast<std::uint32_t>(record.blockCount));  // result not looked at
    if (!channel_->StartOperation(operation::kErase, static_cast<std::uint16_t>(mode)))
        return Fail();
    if (!channel_->PollState(operation::kErase))
        return Fail();
    if (mode == 2) {
        if (!channel_->SendScript(DataFlashPageSizeScript()))
            return Fail();
        if (!channel_->PollState(state::kDataFlashEraseSetUp, state::kFinished))
            return Fail();
    }
    const std::uint64_t pageBytes =
        static_cast<std::uint64_t>(record.pageSize + record.pageSpareSize);
    const std::uint64_t pages = CeilDiv(record.deviceSize, pageBytes);
    const std::uint64_t blocks = pages / static_cast<std::uint64_t>(record.pageOfBlock);
    const std::uint64_t step =
        static_cast<std::uint64_t>(mode == 1 ? 2 * record.pageSize : record.pageSize) *
        static_cast<std::uint64_t>(record.pageOfBlock);
    bool lastOk = true;
    ReportProgress(0, blocks, true);
    for (std::uint64_t b = 0; b < blocks; ++b) {
        if (StopAsked())
            return Stop("Erase : ");
        if (!channel_->SendScript(
                DataFlashBlockEraseScript(static_cast<std::uint32_t>(b * step)))) {
            return Fail();
        }
        const PollOutcome ready = channel_->PollBlockReady();
        if (!ready)
            return Fail();
        lastOk = ready.lastTransferOk;
        ReportProgress(b + 1, blocks);
    }
    if (!lastOk)
        return Line("Erase : ", false);
    return CloseWithLine("Erase : ", true);
}

bool DeviceOperations::ProgramDevice(const DeviceRecord& record, const PageValues& values) {
    if (Unusable(record, "Program : "))
        return false;
    // A buffer that cannot be opened cannot be programmed: refuse before anything is sent, so a
    // missing image never passes as an empty one.
    const BufferBlockReader buffer(dirs_.BufferFile());
    if (!buffer.IsOpen())
        return RefuseWithoutBuffer("Program : ");
    if (SpiFamilyOf(record.driverImagePath) == SpiFamily::Series45)
        return ProgramDataFlash(record, buffer);
    if (!ProtectDevice(record, ProtectDirection::Unprotect, values))
        return false;
    const int variant = record.ProgramVariant();
    if (variant == 1)
        return ProgramPages(record, buffer);
    if (variant == 2 || variant == 3)
        return ProgramSequential(record, variant, buffer);
    return false;
}

// A record the operations cannot work with (no size, a size beyond the three-byte addresses, a
// page that does not fit its block, ...) fails the operation before anything is sent: the reason,
// then the operation's Fail line.
bool DeviceOperations::Unusable(const DeviceRecord& record, std::string_view label) {
    const auto reason = CheckDeviceRecord(record);
    if (!reason)
        return false;
    programmer_->Log().WriteInfoLine("Error : " + *reason);
    Line(label, false);
    return true;
}

// The buffer file cannot be read (program, verify) or written (read): the reason, then the
// operation's Fail line.
bool DeviceOperations::RefuseWithoutBuffer(std::string_view label) {
    programmer_->Log().WriteInfoLine(BufferFileErrorLine(
        dirs_.BufferFile(), label == "Read : " ? BufferAccess::Write : BufferAccess::Read));
    return Line(label, false);
}

namespace {

// Sends the blocks of a program loop: one block, then one block poll, per page. `build` makes
// the block of page k from its bytes. Returns how the loop ended (before a page once `stopAsked`);
// `lastOk` tells whether the last poll's transfer reported success. A whole-page variant pads a
// short last page with 0xFF; the others send only its bytes.
template <typename Build>
PagesSent SendPages(CommandChannel& channel, const BufferBlockReader& buffer,
                    std::uint64_t pageBytes, bool wholePages, Build build, bool& lastOk,
                    const std::function<void(std::uint64_t, std::uint64_t)>& progress,
                    const std::function<bool()>& stopAsked) {
    const std::uint64_t length = buffer.Length();
    const std::uint64_t pages = CeilDiv(length, pageBytes);
    std::vector<std::uint8_t> page(static_cast<std::size_t>(pageBytes));
    for (std::uint64_t k = 0; k < pages; ++k) {
        const std::size_t n =
            wholePages ? page.size()
                       : static_cast<std::size_t>(std::min(pageBytes, length - k * pageBytes));
        if (stopAsked())
            return PagesSent::Stopped;
        const auto bytes = std::span(page).first(n);
        if (!buffer.Read(k * pageBytes, bytes, kErasedByte))
            return PagesSent::BufferUnreadable;
        if (!channel.SendScript(build(k, std::span<const std::uint8_t>(bytes))))
            return PagesSent::CommunicationFailed;
        const PollOutcome ready = channel.PollBlockReady();
        if (!ready)
            return PagesSent::CommunicationFailed;
        lastOk = ready.lastTransferOk;
        progress(std::min(length, (k + 1) * pageBytes), length);
    }
    return PagesSent::Done;
}

}  // namespace

// The end of every program variant: the closing state poll and the result line. A buffer file
// that cannot be read ends the program with its Fail line rather than sending wrong data.
bool DeviceOperations::FinishProgram(PagesSent sent, bool lastOk) {
    if (sent == PagesSent::CommunicationFailed)
        return Fail();
    if (sent == PagesSent::BufferUnreadable)
        return Line("Program : ", false);
    if (sent == PagesSent::Stopped)
        return Stop("Program : ");
    return CloseWithLine("Program : ", lastOk);
}

bool DeviceOperations::ProgramPages(const DeviceRecord& record, const BufferBlockReader& buffer) {
    if (!channel_->SetCount(ChipUnits(record)))
        return Fail();
    if (!channel_->StartOperation(operation::kProgram, 1))
        return Fail();
    const PollOutcome echo = channel_->PollState(operation::kProgram);
    if (!echo)
        return Fail();
    bool lastOk = echo.lastTransferOk;
    const PagesSent sent = SendPages(
        *channel_, buffer, static_cast<std::uint64_t>(record.pageSize), false,
        [&](std::uint64_t k, std::span<const std::uint8_t> page) {
            return PageProgramBlock(
                static_cast<std::uint32_t>(k * static_cast<std::uint64_t>(record.pageSize)), page);
        },
        lastOk, [&](std::uint64_t done, std::uint64_t total) { ReportProgress(done, total); },
        [&] { return StopAsked(); });
    return FinishProgram(sent, lastOk);
}

bool DeviceOperations::ProgramSequential(const DeviceRecord& record, int mode,
                                         const BufferBlockReader& buffer) {
    if (!channel_->SetCount(ChipUnits(record)))
        return Fail();
    if (!channel_->StartOperation(operation::kProgram, static_cast<std::uint16_t>(mode)))
        return Fail();
    const PollOutcome echo = channel_->PollState(operation::kProgram);
    if (!echo)
        return Fail();
    bool lastOk = echo.lastTransferOk;
    const PagesSent sent = SendPages(
        *channel_, buffer, kSequentialChunk, true,
        [&](std::uint64_t k, std::span<const std::uint8_t> chunk) {
            return SequentialProgramBlock(mode, static_cast<std::uint32_t>(k * kSequentialChunk),
                                          chunk.first<kSequentialChunk>());
        },
        lastOk, [&](std::uint64_t done, std::uint64_t total) { ReportProgress(done, total); },
        [&] { return StopAsked(); });
    return FinishProgram(sent, lastOk);
}

bool DeviceOperations::ProgramDataFlash(const DeviceRecord& record,
                                        const BufferBlockReader& buffer) {
    if (!programmer_->Restart())
        return false;
    const int mode = DataFlashPageMode(record);
    channel_->SetCount(static_cast<std::uint32_t>(record.blockCount) *
                       static_cast<std::uint32_t>(record.pageOfBlock));  // not looked at
    if (!channel_->StartOperation(operation::kProgram, static_cast<std::uint16_t>(mode)))
        return Fail();
    PollOutcome last = channel_->PollState(operation::kProgram);
    if (!last)
        return Fail();
    if (mode == 2) {
        if (!channel_->SendScript(DataFlashPageSizeScript()))
            return Fail();
        last = channel_->PollState(state::kDataFlashProgramSetUp, state::kFinished);
        if (!last)
            return Fail();
    }
    bool lastOk = last.lastTransferOk;
    const PagesSent sent = SendPages(
        *channel_, buffer, static_cast<std::uint64_t>(record.pageSize + record.pageSpareSize),
        false,
        [&](std::uint64_t k, std::span<const std::uint8_t> page) {
            return DataFlashPageBlock(record, static_cast<std::uint32_t>(k), page);
        },
        lastOk, [&](std::uint64_t done, std::uint64_t total) { ReportProgress(done, total); },
        [&] { return StopAsked(); });
    return FinishProgram(sent, lastOk);
}

// The status the protect direction writes: component 0 of a page gives the block-protect bits 2 to
// 6, component 1 bit 7; a later page overwrites an earlier one. Without values (no Menu.ini) or
// without a page file nothing is protected.
std::uint8_t StatusFromPageValues(const DeviceRecord& record, const PageValues& values) {
    std::uint8_t s = 0;
    if (record.menuFilePath.empty() || !values.Exists())
        return s;
    const IniFile pages(record.menuFilePath);
    const std::vector<int> counts = PageComponentCounts(pages);
    for (int p = 0; p < static_cast<int>(counts.size()); ++p) {
        const int components = std::min(counts[static_cast<std::size_t>(p)], 2);
        for (int c = 0; c < components; ++c) {
            const std::int32_t v = values.Integer(p, c, 0);
            if (c == 0)
                s = static_cast<std::uint8_t>((v * 4) & 0xFF);
            if (c == 1)
                s = static_cast<std::uint8_t>((s & 0x7F) | ((v & 1) << 7));
        }
    }
    return s;
}

bool DeviceOperations::ProtectDevice(const DeviceRecord& record, ProtectDirection direction,
                                     const PageValues& values) {
    if (!programmer_->Restart())
        return false;
    const std::string_view label =
        direction == ProtectDirection::Protect ? "Protect : " : "Unprotect : ";
    if (Unusable(record, label))
        return false;
    if (IsPerSectorProtected(record.name))
        return ProtectSectors(record, direction, label);

    const std::uint8_t s =
        direction == ProtectDirection::Protect ? StatusFromPageValues(record, values) : 0;
    if (!channel_->StartOperation(operation::kStatusWrite, 0))
        return Fail();
    if (!channel_->PollState(operation::kStatusWrite))
        return Fail();
    std::vector<std::uint8_t> menuValues;
    for (int i = 0; i < record.readStatusRegister && i < kStatusRegisterOpcodeSlots; ++i)
        menuValues.push_back(static_cast<std::uint8_t>(values.Integer(0, i, 0)));
    const Script script = StatusRegisterScript(record, s, menuValues);
    if (script.Overflowed()) {
        // More status registers than one command block carries: sending it cut short would
        // write a wrong status.
        programmer_->Log().WriteInfoLine(
            "Error : The device library gives more status registers than one command can write !");
        return Line(label, false);
    }
    if (!channel_->SendScript(script))
        return Fail();
    const PollOutcome written = channel_->PollState(state::kStatusWritten);
    if (!written)
        return Fail();
    return Line(label, written.lastTransferOk);
}

bool DeviceOperations::ProtectSectors(const DeviceRecord& record, ProtectDirection direction,
                                      std::string_view label) {
    if (!channel_->StartOperation(operation::kSectorUnprotect, 0))
        return Fail();
    if (!channel_->PollState(operation::kSectorUnprotect))
        return Fail();
    const auto family = At26FamilyOf(record.name);
    const SectorTable table =
        family ? ReadSectorTable(record.sectorTablePath, family->sectors) : SectorTable{};
    if (!family || !table.Matches(family->sectors)) {
        programmer_->Asker().Tell(Severity::Warning, kLibraryWrongMessage);
        return false;
    }
    // Unprotect sends Unprotect Sector for every sector; protect sends Protect Sector.
    const std::uint8_t opcode =
        direction == ProtectDirection::Unprotect ? kAt26UnprotectSector : kAt26ProtectSector;
    Script block(static_cast<std::size_t>(family->blockLength));
    for (const std::uint32_t start : table.starts)
        block.Byte(kWriteEnable).Zero().Byte(opcode).Address(start);
    if (!channel_->SendScript(block))
        return Fail();
    if (!channel_->PollState(state::kSectorsDone))
        return Fail();
    return Line(label, true);
}

bool DeviceOperations::TargetReset(std::uint16_t value, std::uint16_t pulseMs) {
    const bool ok = channel_->TargetReset(value, pulseMs);
    if (!ok)
        programmer_->MessagePump().ProcessPendingMessages();
    if (pulseMs == 0)
        return ok;
    return Line("Reset : ", ok);
}

}  // namespace torq
