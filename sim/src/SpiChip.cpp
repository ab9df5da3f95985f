#include "torq/sim/SpiChip.h"

#include <algorithm>

namespace torq::sim {

namespace {

// Opcode, address and dummy bytes a command needs before its answer starts. When the host sends
// fewer, the missing bytes are the zero bytes it clocks in while reading, and the answer bytes
// clocked out meanwhile are undriven.
std::size_t SerialHeaderLength(std::uint8_t opcode) {
    switch (opcode) {
        case 0x03:
        case 0x90:
        case 0xAB:
        case 0x3C:
            return 4;
        case 0x0B:
            return 5;
        default:
            return 1;
    }
}

std::size_t DataFlashHeaderLength(std::uint8_t opcode) {
    switch (opcode) {
        case 0x03:
            return 4;
        case 0x0B:
            return 5;
        case 0xE8:
        case 0xD2:
            return 8;
        default:
            return 1;
    }
}

}  // namespace

const EraseCommand* ChipSpec::FindErase(std::uint8_t opcode) const {
    for (const EraseCommand& erase : eraseCommands) {
        if (erase.opcode == opcode)
            return &erase;
    }
    return nullptr;
}

bool ChipSpec::ErasesChip(std::uint8_t opcode) const {
    return std::find(chipEraseOpcodes.begin(), chipEraseOpcodes.end(), opcode) !=
           chipEraseOpcodes.end();
}

void SpiChip::SetSupply(std::uint32_t millivolts) {
    const bool works = millivolts >= spec_.minMillivolts && millivolts <= spec_.maxMillivolts;
    const bool powerUp = works && (!powered_ || millivolts != supplyMillivolts_);
    if (powerUp || !works)
        busyUntil_ = now_;  // losing power ends whatever was under way
    supplyMillivolts_ = millivolts;
    powered_ = works;
    if (powerUp)
        PowerUp();
}

std::vector<std::uint8_t> SpiChip::Transaction(std::span<const std::uint8_t> command,
                                               std::size_t answerLength) {
    std::vector<std::uint8_t> answer(answerLength);
    Begin(command);
    Read(answer);
    End();
    return answer;
}

void SpiChip::Begin(std::span<const std::uint8_t> command) {
    command_.assign(command.begin(), command.end());
    position_ = 0;
    selected_ = true;
}

void SpiChip::Read(std::span<std::uint8_t> out) {
    const bool ignored = command_.empty() || (Busy() && !TakenWhileBusy(command_[0]));
    if (!selected_ || !powered_ || ignored) {
        std::fill(out.begin(), out.end(), kUndrivenByte);
        return;
    }
    const std::size_t header = spec_.kind == ChipKind::DataFlash
                                   ? DataFlashHeaderLength(command_[0])
                                   : SerialHeaderLength(command_[0]);
    std::size_t i = 0;
    while (i < out.size() && command_.size() < header) {
        command_.push_back(0x00);
        out[i++] = kUndrivenByte;
    }
    if (i < out.size()) {
        Answer(out.subspan(i));
        position_ += out.size() - i;
    }
}

void SpiChip::End() {
    if (selected_ && powered_ && !command_.empty() && (!Busy() || TakenWhileBusy(command_[0])))
        Execute();
    selected_ = false;
    command_.clear();
}

void SpiChip::StartBusy() {
    if (!timed_)
        return;
    const SimTime busy = TypicalBusy(command_);
    busyUntil_ = now_ + busy;
    busyTotal_ += busy;
}

std::unique_ptr<SpiChip> MakeChip(const ChipSpec& spec, std::unique_ptr<ChipMemory> memory) {
    if (!memory)
        memory = std::make_unique<SparseMemory>(spec.size);
    if (spec.kind == ChipKind::DataFlash) {
        return std::make_unique<DataFlashChip>(spec, std::move(memory));
    }
    return std::make_unique<SerialFlashChip>(spec, std::move(memory));
}

// ---------------------------------------------------------------------------------------------
// 25-series flash and serial EEPROM

SerialFlashChip::SerialFlashChip(ChipSpec spec, std::unique_ptr<ChipMemory> memory)
    : SpiChip(std::move(spec), std::move(memory)),
      sectorProtected_(spec_.sectorStarts.size(), true) {}

void SerialFlashChip::PowerUp() {
    writeEnabled_ = false;
    statusWriteEnabled_ = false;
    autoIncrementActive_ = false;
    // A register the WP# pin holds locked keeps what it holds, whatever the part powers up with.
    if (spec_.powerUpStatus && !StatusRegisterLocked())
        status_ = *spec_.powerUpStatus;
    if (!spec_.sectorStarts.empty()) {
        std::fill(sectorProtected_.begin(), sectorProtected_.end(), true);
        status_ = 0;  // the sector protection register lock is cleared at power-up
    }
}

bool SerialFlashChip::StatusRegisterLocked() const {
    return writeProtectHeld_ && (status_ & 0x80) != 0;
}

void SerialFlashChip::LockStatusRegister() {
    const std::uint8_t everyBlock = static_cast<std::uint8_t>((1u << spec_.blockProtectBits) - 1);
    status_ = static_cast<std::uint8_t>(0x80 | (everyBlock << 2));
}

std::uint8_t SerialFlashChip::Status() const {
    std::uint8_t status = status_;
    if (!spec_.sectorStarts.empty()) {
        const auto protectedCount =
            std::count(sectorProtected_.begin(), sectorProtected_.end(), true);
        const std::uint8_t summary =
            protectedCount == 0                                                      ? 0x00
            : protectedCount == static_cast<std::ptrdiff_t>(sectorProtected_.size()) ? 0x0C
                                                                                     : 0x04;
        status = static_cast<std::uint8_t>((status_ & 0x80) | summary | 0x10);  // WP not asserted
    }
    if (autoIncrementActive_)
        status |= 0x40;
    if (writeEnabled_)
        status |= 0x02;
    if (Busy())
        status |= 0x03;  // write in progress; the latch stays set until it ends
    return status;
}

bool SerialFlashChip::TakenWhileBusy(std::uint8_t opcode) const {
    return opcode == 0x05 ||
           (spec_.secondRegisterOpcode != 0 && opcode == spec_.secondRegisterOpcode);
}

bool SerialFlashChip::AutoIncrementOpcode(std::uint8_t opcode) const {
    return (opcode == 0xAD && spec_.autoIncrement == AutoIncrement::Word) ||
           (opcode == 0xAF && spec_.autoIncrement == AutoIncrement::Byte);
}

SimTime SerialFlashChip::TypicalBusy(std::span<const std::uint8_t> command) const {
    if (command.empty())
        return SimTime{0};
    const std::uint8_t opcode = command[0];
    std::uint64_t micros = 0;
    if (opcode == 0x02) {
        micros = spec_.pageProgramMicros;
    } else if (opcode == 0x01) {
        micros = spec_.statusWriteMicros;
    } else if (AutoIncrementOpcode(opcode)) {
        micros = spec_.autoIncrementMicros;
    } else if (const EraseCommand* erase = spec_.FindErase(opcode)) {
        micros = erase->typicalMicros;
    } else if (spec_.ErasesChip(opcode)) {
        micros = spec_.chipEraseMicros;
    }
    return std::chrono::microseconds(micros);
}

std::uint32_t SerialFlashChip::Address(std::size_t at) const {
    std::uint32_t address = 0;
    for (std::size_t i = at; i < at + 3; ++i) {
        address = (address << 8) | (i < command_.size() ? command_[i] : 0);
    }
    return address;
}

std::size_t SerialFlashChip::SectorOf(std::uint64_t address) const {
    const auto& starts = spec_.sectorStarts;
    const auto after = std::upper_bound(starts.begin(), starts.end(), address);
    return after == starts.begin() ? 0 : static_cast<std::size_t>(after - starts.begin() - 1);
}

bool SerialFlashChip::AddressProtected(std::uint64_t address) const {
    if (!spec_.sectorStarts.empty())
        return sectorProtected_[SectorOf(address)];
    const std::uint8_t mask = static_cast<std::uint8_t>((1u << spec_.blockProtectBits) - 1);
    const std::uint8_t bp = (status_ >> 2) & mask;
    if (bp == 0)
        return false;
    if (bp == mask)
        return true;
    const std::uint64_t protectedBytes =
        std::min<std::uint64_t>(spec_.size, std::uint64_t{spec_.protectUnit} << (bp - 1));
    return address >= spec_.size - protectedBytes;
}

void SerialFlashChip::Answer(std::span<std::uint8_t> out) {
    const std::uint8_t opcode = command_[0];
    const auto repeat = [&](auto byteAt) {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = byteAt(position_ + i);
    };
    const auto undriven = [&] { std::fill(out.begin(), out.end(), kUndrivenByte); };
    const bool eeprom = spec_.kind == ChipKind::Eeprom;

    if (opcode == 0x05) {
        repeat([&](std::uint64_t) { return Status(); });
    } else if (opcode == 0x03 || opcode == 0x0B) {
        // Reads run on through the array and wrap at its end.
        const std::uint64_t start = (Address() + position_) % spec_.size;
        for (std::size_t done = 0; done < out.size();) {
            const std::uint64_t at = (start + done) % spec_.size;
            const std::size_t chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>(out.size() - done, spec_.size - at));
            memory_->Read(at, out.subspan(done, chunk));
            done += chunk;
        }
    } else if (eeprom) {
        undriven();
    } else if (opcode == 0x15 && !spec_.productId15.empty()) {
        const auto& id = spec_.productId15;
        repeat([&](std::uint64_t p) { return p < id.size() ? id[p] : kUndrivenByte; });
    } else if (spec_.secondRegisterOpcode != 0 && opcode == spec_.secondRegisterOpcode) {
        repeat([&](std::uint64_t) { return second_; });
    } else if (opcode == 0x9F && !spec_.jedecId.empty()) {
        const auto& id = spec_.jedecId;
        repeat([&](std::uint64_t p) { return id[p % id.size()]; });  // the ID over and over
    } else if ((opcode == 0x90 || (opcode == 0xAB && spec_.signatureIsManufacturerDevice)) &&
               spec_.manufacturerDevice) {
        // Address bit 0 chooses which of the two comes first.
        const auto& pair = *spec_.manufacturerDevice;
        const std::uint64_t first = command_[3] & 1;
        repeat([&](std::uint64_t p) { return pair[(p + first) % 2]; });
    } else if (opcode == 0xAB && spec_.electronicSignature) {
        repeat([&](std::uint64_t) { return *spec_.electronicSignature; });
    } else if (opcode == 0x3C && !spec_.sectorStarts.empty()) {
        const std::uint8_t value = sectorProtected_[SectorOf(Address())] ? 0xFF : 0x00;
        repeat([&](std::uint64_t) { return value; });
    } else {
        undriven();
    }
}

std::size_t SerialFlashChip::ProgramBytes(std::uint64_t address, std::span<const std::uint8_t> data,
                                          bool wrapInPage) {
    const std::uint64_t page = spec_.pageSize;
    const std::uint64_t pageStart = address - address % page;
    std::size_t programmed = 0;
    // Runs of consecutive, writable addresses go to the memory in one call.
    std::size_t runFrom = 0, runLength = 0;
    std::uint64_t runAt = 0;
    const auto flush = [&] {
        if (runLength == 0)
            return;
        const auto bytes = data.subspan(runFrom, runLength);
        if (spec_.kind == ChipKind::Eeprom) {
            memory_->Write(runAt, bytes);
        } else {
            memory_->Program(runAt, bytes);
        }
        programmed += runLength;
        runLength = 0;
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint64_t at =
            wrapInPage ? pageStart + (address - pageStart + i) % page : address + i;
        if (at >= spec_.size || AddressProtected(at)) {
            flush();
            continue;
        }
        if (runLength > 0 && at != runAt + runLength)
            flush();
        if (runLength == 0) {
            runFrom = i;
            runAt = at;
        }
        ++runLength;
    }
    flush();
    return programmed;
}

std::uint64_t SerialFlashChip::EraseRange(std::uint64_t start, std::uint64_t length) {
    // Protected parts keep their content; the rest is erased.
    std::uint64_t erased = 0;
    for (std::uint64_t at = start; at < std::min(spec_.size, start + length);) {
        std::uint64_t run = 1;
        const bool isProtected = AddressProtected(at);
        while (at + run < std::min(spec_.size, start + length) && run < 4096 &&
               AddressProtected(at + run) == isProtected) {
            ++run;
        }
        if (!isProtected) {
            memory_->Erase(at, run);
            erased += run;
        }
        at += run;
    }
    return erased;
}

bool SerialFlashChip::WriteStatus() {
    if (command_.size() < 2)
        return false;
    const std::uint8_t value = command_[1];
    if (!spec_.sectorStarts.empty()) {
        // Writing the protect bits all ones or all zeros protects or unprotects every sector,
        // unless the sector protection registers are locked.
        const bool locked = (status_ & 0x80) != 0;
        if (!locked && (value & 0x3C) == 0x3C)
            std::fill(sectorProtected_.begin(), sectorProtected_.end(), true);
        if (!locked && (value & 0x3C) == 0x00)
            std::fill(sectorProtected_.begin(), sectorProtected_.end(), false);
        status_ = value & 0x80;
        return true;
    }
    // The BP field and the bits above it (lock bits) are kept as written; WEL and busy are not
    // writable.
    status_ = value & 0xFC;
    if (spec_.secondRegisterOpcode != 0 && command_.size() >= 3)
        second_ = command_[2];
    return true;
}

void SerialFlashChip::AutoIncrementProgram(std::size_t bytesPerCommand) {
    std::size_t dataAt = 1;
    if (!autoIncrementActive_) {
        if (!writeEnabled_)
            return;
        autoIncrementActive_ = true;
        autoIncrementAddress_ = Address() & ~std::uint64_t{bytesPerCommand - 1};
        dataAt = 4;
    }
    if (command_.size() < dataAt + bytesPerCommand)
        return;
    if (ProgramBytes(autoIncrementAddress_, std::span(command_).subspan(dataAt, bytesPerCommand),
                     false) > 0) {
        StartBusy();
    }
    autoIncrementAddress_ += bytesPerCommand;
    if (autoIncrementAddress_ >= spec_.size) {
        autoIncrementActive_ = false;
        writeEnabled_ = false;
    }
}

void SerialFlashChip::Execute() {
    const std::uint8_t opcode = command_[0];
    if (autoIncrementActive_) {
        // In auto-increment mode the part takes only further data, status reads and 0x04.
        if (AutoIncrementOpcode(opcode)) {
            AutoIncrementProgram(spec_.autoIncrement == AutoIncrement::Word ? 2 : 1);
        } else if (opcode == 0x04) {
            autoIncrementActive_ = false;
            writeEnabled_ = false;
        }
        return;
    }
    // The part's own erase commands come first: an opcode that other parts use otherwise (0x50
    // enables the status write on SST parts) may erase on this one.
    if (const EraseCommand* erase = spec_.FindErase(opcode)) {
        // Without its whole address the command is dropped.
        if (writeEnabled_ && command_.size() >= 4 && erase->size != 0) {
            const std::uint64_t address = Address() % spec_.size;
            if (EraseRange(address - address % erase->size, erase->size) > 0)
                StartBusy();
        }
        writeEnabled_ = false;
        return;
    }
    if (spec_.ErasesChip(opcode)) {
        // Chip erase is refused as a whole when any part is protected.
        bool anyProtected = false;
        if (!spec_.sectorStarts.empty()) {
            anyProtected = std::find(sectorProtected_.begin(), sectorProtected_.end(), true) !=
                           sectorProtected_.end();
        } else {
            anyProtected = AddressProtected(spec_.size - 1);
        }
        if (writeEnabled_ && !anyProtected) {
            memory_->Erase(0, spec_.size);
            StartBusy();
        }
        writeEnabled_ = false;
        return;
    }
    switch (opcode) {
        case 0x06:
            writeEnabled_ = true;
            return;
        case 0x04:
            writeEnabled_ = false;
            return;
        case 0x50:
            statusWriteEnabled_ = true;
            return;
        case 0x01:
            if ((writeEnabled_ || statusWriteEnabled_) && !StatusRegisterLocked() && WriteStatus())
                StartBusy();
            writeEnabled_ = statusWriteEnabled_ = false;
            return;
        case 0x02:
            if (writeEnabled_ && command_.size() > 4 &&
                ProgramBytes(Address(), std::span(command_).subspan(4), true) > 0) {
                StartBusy();
            }
            writeEnabled_ = false;
            return;
        default:
            break;
    }
    if (spec_.kind == ChipKind::Eeprom)
        return;  // no ID, no sectors
    if (AutoIncrementOpcode(opcode)) {
        AutoIncrementProgram(opcode == 0xAD ? 2 : 1);
        return;
    }
    if ((opcode == 0x39 || opcode == 0x36) && !spec_.sectorStarts.empty()) {
        if (writeEnabled_ && (status_ & 0x80) == 0) {
            sectorProtected_[SectorOf(Address() % spec_.size)] = opcode == 0x36;
        }
        writeEnabled_ = false;
    }
}

// ---------------------------------------------------------------------------------------------
// DataFlash

DataFlashChip::DataFlashChip(ChipSpec spec, std::unique_ptr<ChipMemory> memory)
    : SpiChip(std::move(spec), std::move(memory)), buffer_(spec_.standardPageSize, 0xFF) {}

void DataFlashChip::PowerUp() {
    std::fill(buffer_.begin(), buffer_.end(), 0xFF);
}

std::uint8_t DataFlashChip::Status() const {
    const std::uint8_t ready =
        static_cast<std::uint8_t>(spec_.statusReady | (binaryPages_ ? 0x01 : 0x00));
    return Busy() ? static_cast<std::uint8_t>(ready & 0x7F) : ready;  // bit 7: ready
}

bool DataFlashChip::TakenWhileBusy(std::uint8_t opcode) const {
    return opcode == 0xD7 || opcode == 0x57;
}

SimTime DataFlashChip::TypicalBusy(std::span<const std::uint8_t> command) const {
    if (command.empty())
        return SimTime{0};
    const std::uint8_t opcode = command[0];
    const auto eraseMicros = [&](std::uint8_t erase) -> std::uint64_t {
        const EraseCommand* found = spec_.FindErase(erase);
        return found ? found->typicalMicros : 0;
    };
    std::uint64_t micros = 0;
    if (opcode == 0x88) {
        micros = spec_.pageProgramMicros;
    } else if (opcode == 0x83) {
        micros = spec_.pageProgramMicros + eraseMicros(0x81);
    } else if (opcode == 0x81 || opcode == 0x50) {
        micros = eraseMicros(opcode);
    } else if (opcode == 0xC7) {
        micros = spec_.chipEraseMicros;
    }
    return std::chrono::microseconds(micros);
}

std::uint32_t DataFlashChip::PageAddressShift() const {
    std::uint32_t shift = 0;
    while ((1u << shift) < spec_.standardPageSize)
        ++shift;
    return shift;
}

std::pair<std::uint32_t, std::uint32_t> DataFlashChip::Split(std::uint32_t address) const {
    if (binaryPages_) {
        return {(address / spec_.binaryPageSize) % spec_.pages, address % spec_.binaryPageSize};
    }
    const std::uint32_t shift = PageAddressShift();
    return {(address >> shift) % spec_.pages,
            (address & ((1u << shift) - 1)) % spec_.standardPageSize};
}

std::uint8_t DataFlashChip::ByteAt(std::uint64_t hostAddress) const {
    const std::uint32_t page = static_cast<std::uint32_t>(hostAddress / PageSize());
    const std::uint32_t byte = static_cast<std::uint32_t>(hostAddress % PageSize());
    return memory_->ReadByte(ArrayOffset(page, byte));
}

void DataFlashChip::Answer(std::span<std::uint8_t> out) {
    const std::uint8_t opcode = command_[0];
    const auto address = [&] {
        return (std::uint32_t{command_[1]} << 16) | (std::uint32_t{command_[2]} << 8) | command_[3];
    };
    if (opcode == 0x9F && !spec_.jedecId.empty()) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::uint64_t p = position_ + i;
            out[i] = spec_.jedecId[p % spec_.jedecId.size()];
        }
    } else if (opcode == 0xD7 || opcode == 0x57) {
        // The E parts give their two status bytes in turn.
        const std::uint8_t first = Status();
        std::uint8_t second = first;
        if (spec_.secondStatusReady) {
            second = Busy() ? static_cast<std::uint8_t>(*spec_.secondStatusReady & 0x7F)
                            : *spec_.secondStatusReady;
        }
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = (position_ + i) % 2 == 0 ? first : second;
    } else if (opcode == 0xE8 || opcode == 0x0B || opcode == 0x03) {
        // Continuous array read: page after page in the current layout, wrapping at the end.
        const auto [page, byte] = Split(address());
        const std::uint64_t total = AddressableSize();
        const std::uint64_t pageSize = PageSize();
        const std::uint64_t start = (std::uint64_t{page} * pageSize + byte + position_) % total;
        for (std::size_t done = 0; done < out.size();) {
            const std::uint64_t at = (start + done) % total;
            const std::uint64_t inPage = at % pageSize;
            const std::size_t chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>(out.size() - done, pageSize - inPage));
            memory_->Read(ArrayOffset(static_cast<std::uint32_t>(at / pageSize),
                                      static_cast<std::uint32_t>(inPage)),
                          out.subspan(done, chunk));
            done += chunk;
        }
    } else {
        std::fill(out.begin(), out.end(), kUndrivenByte);
    }
}

void DataFlashChip::Execute() {
    const std::uint8_t opcode = command_[0];
    const std::uint32_t address =
        command_.size() >= 4
            ? (std::uint32_t{command_[1]} << 16) | (std::uint32_t{command_[2]} << 8) | command_[3]
            : 0;
    const auto [page, byte] = Split(address);
    const std::uint32_t pageSize = PageSize();
    switch (opcode) {
        case 0x84: {  // buffer 1 write
            std::uint32_t at = byte % pageSize;
            for (std::size_t i = 4; i < command_.size(); ++i) {
                buffer_[at] = command_[i];
                at = (at + 1) % pageSize;
            }
            return;
        }
        case 0x88:    // buffer 1 to page, without built-in erase: only clears bits
        case 0x83: {  // with built-in erase
            const std::uint64_t offset = ArrayOffset(page, 0);
            if (opcode == 0x83)
                memory_->Erase(offset, pageSize);
            memory_->Program(offset, std::span(buffer_.data(), pageSize));
            StartBusy();
            return;
        }
        case 0x81:
            memory_->Erase(ArrayOffset(page, 0), spec_.standardPageSize);
            StartBusy();
            return;
        case 0x50: {  // block erase: eight pages
            const std::uint32_t first = page - page % 8;
            memory_->Erase(ArrayOffset(first, 0), std::uint64_t{spec_.standardPageSize} * 8);
            StartBusy();
            return;
        }
        case 0xC7:
            if (command_.size() >= 4 && command_[1] == 0x94 && command_[2] == 0x80 &&
                command_[3] == 0x9A) {
                memory_->Erase(0, spec_.size);
                StartBusy();
            }
            return;
        case 0x3D:
            // Page size configuration: power-of-two (0xA6) or standard (0xA7) pages.
            if (spec_.binaryPageSize != 0 && command_.size() >= 4 && command_[1] == 0x2A &&
                command_[2] == 0x80 && (command_[3] == 0xA6 || command_[3] == 0xA7)) {
                binaryPages_ = command_[3] == 0xA6;
            }
            return;
        default:
            return;
    }
}

}  // namespace torq::sim
