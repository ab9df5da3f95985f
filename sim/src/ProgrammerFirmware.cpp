#include "torq/sim/ProgrammerFirmware.h"

#include <algorithm>

namespace torq::sim {

namespace {

// Vendor requests of the programmer protocol.
constexpr std::uint8_t kRamWrite = 0xA0;
constexpr std::uint8_t kStartOperation = 0x90;
constexpr std::uint8_t kSetCount = 0x91;
constexpr std::uint8_t kFirmwareVersion = 0xC2;
constexpr std::uint8_t kEndRun = 0xC3;
constexpr std::uint8_t kSetLamp = 0xD0;
constexpr std::uint8_t kSetUnitMode = 0xD1;
constexpr std::uint8_t kTargetReset = 0xD2;
constexpr std::uint8_t kGetState = 0xE0;
constexpr std::uint8_t kGetBlockReady = 0xE1;
constexpr std::uint8_t kSetTargetBoard = 0xE2;

constexpr std::uint8_t kFinished = 0x02;
constexpr std::size_t kReadBlock = 1024;
constexpr std::size_t kAnswerLength = 512;

std::uint32_t Address24(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 16) | (std::uint32_t{bytes[at + 1]} << 8) | bytes[at + 2];
}

std::vector<std::uint8_t> WithAddress(std::uint8_t opcode, std::uint32_t address) {
    return {opcode, static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
}

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

ProgrammerFirmware::ProgrammerFirmware(FirmwareConfig config, std::unique_ptr<SpiChip> chip)
    : config_(std::move(config)), chip_(std::move(chip)) {}

void ProgrammerFirmware::PowerOff() {
    ResetOperation();
    std::fill(memory_.begin(), memory_.end(), 0x00);
    held_ = false;
    running_ = false;
    image_.reset();
    if (chip_)
        chip_->SetSupply(0);
}

void ProgrammerFirmware::SetClock(SimClock* clock) {
    clock_ = clock;
    if (chip_)
        chip_->EnableTiming(clock != nullptr);
    SyncTime();
}

void ProgrammerFirmware::ResetOperation() {
    if (readOpen_ && chip_)
        chip_->End();
    readOpen_ = false;
    readBlocksLeft_ = 0;
    operation_ = 0;
    parameter_ = 0;
    state_ = 0;
    busyRemaining_ = 0;
    blockReady_ = false;
    programEchoed_ = false;
    pending_.clear();
    // A restart drops the firmware's plan; a chip still busy finishes on its own.
    queue_.clear();
    stepBusy_ = SimTime{0};
    SyncTime();
}

void ProgrammerFirmware::SyncTime() {
    if (!clock_)
        return;
    executedUpTo_ = std::max(executedUpTo_, clock_->Now());
    if (chip_)
        chip_->SetTime(executedUpTo_);
}

void ProgrammerFirmware::BeginStep(std::uint8_t busyCode) {
    busyCode_ = busyCode;
    if (queue_.empty())
        stepBusy_ = SimTime{0};
}

void ProgrammerFirmware::Queue(std::vector<std::uint8_t> command, std::size_t answer,
                               std::function<void(const std::vector<std::uint8_t>&)> then) {
    if (chip_ && chip_->Timed())
        stepBusy_ += chip_->TypicalBusy(command);
    queue_.push_back([this, command = std::move(command), answer, then = std::move(then)] {
        const std::vector<std::uint8_t> bytes =
            chip_ ? chip_->Transaction(command, answer)
                  : std::vector<std::uint8_t>(answer, kUndrivenByte);
        if (then)
            then(bytes);
    });
}

void ProgrammerFirmware::QueueFinish(std::uint8_t state, bool blockReady) {
    queue_.push_back([this, state, blockReady] { Finish(state, blockReady); });
}

void ProgrammerFirmware::CatchUp() {
    if (!clock_) {
        while (!queue_.empty()) {
            auto action = std::move(queue_.front());
            queue_.pop_front();
            action();
        }
        return;
    }
    const SimTime now = clock_->Now();
    while (!queue_.empty()) {
        const SimTime at = chip_ ? std::max(executedUpTo_, chip_->BusyUntil()) : executedUpTo_;
        if (at > now)
            return;
        executedUpTo_ = at;
        if (chip_)
            chip_->SetTime(at);
        auto action = std::move(queue_.front());
        queue_.pop_front();
        action();
    }
    SyncTime();
}

void ProgrammerFirmware::HoldWhileUnderWay() {
    CatchUp();
    if (!clock_ || queue_.empty())
        return;
    const SimTime deadline = clock_->Now() + std::max(kPollHold, stepBusy_ / 64);
    while (!queue_.empty()) {
        const SimTime now = clock_->Now();
        if (now >= deadline)
            return;
        const SimTime next = chip_ ? std::max(executedUpTo_, chip_->BusyUntil()) : executedUpTo_;
        if (next > now)
            clock_->SleepUntil(std::min(next, deadline));
        CatchUp();
    }
}

std::vector<std::uint8_t> ProgrammerFirmware::RunNow(std::vector<std::uint8_t> command,
                                                     std::size_t answer) {
    SyncTime();
    if (!chip_)
        return std::vector<std::uint8_t>(answer, kUndrivenByte);
    return chip_->Transaction(command, answer);
}

bool ProgrammerFirmware::StoreFailed() {
    if (!chip_ || !chip_->Memory().TakeFailure())
        return false;
    Fail();
    return true;
}

void ProgrammerFirmware::Start() {
    ResetOperation();
    const auto d = std::span(memory_).subspan(kDescriptorAddress, 16);
    const bool valid = d[0] == 'T' && d[1] == 'Q' && d[2] == 'D' && d[3] == 'I' && d[4] == 1 &&
                       (d[5] == 25 || d[5] == 45);
    if (!valid) {
        // No program we know: the microcontroller runs nothing that answers the host.
        running_ = false;
        image_.reset();
        if (chip_)
            chip_->SetSupply(0);
        return;
    }
    DriverDescriptor descriptor;
    descriptor.family = d[5];
    descriptor.millivolts = static_cast<std::uint16_t>((d[6] << 8) | d[7]);
    descriptor.pageSize = static_cast<std::uint16_t>((d[8] << 8) | d[9]);
    image_ = descriptor;
    running_ = true;
    ++starts_;
    if (chip_)
        chip_->SetSupply(descriptor.millivolts);
}

bool ProgrammerFirmware::ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                    std::span<const std::uint8_t> data) {
    if (request == kRamWrite) {
        // Served by the boot loader whether or not a program runs.
        if (value == kCpuControlAddress) {
            if (data.empty())
                return false;
            const bool hold = (data[0] & 1) != 0;
            if (hold) {
                held_ = true;
                running_ = false;
                ResetOperation();
            } else if (held_) {
                held_ = false;
                Start();
            }
            return true;
        }
        for (std::size_t i = 0; i < data.size() && value + i < memory_.size(); ++i) {
            memory_[value + i] = data[i];
        }
        return true;
    }
    if (!running_)
        return false;
    CatchUp();
    switch (request) {
        case kStartOperation: {
            ResetOperation();
            const std::uint8_t code = static_cast<std::uint8_t>(value);
            const bool known = code == 0x11 || code == 0x21 || code == 0x31 || code == 0x41 ||
                               code == 0x51 || code == 0x61;
            operation_ = known ? code : 0;
            parameter_ = index;
            state_ = known ? code : kScriptErrorState;
            return true;
        }
        case kSetCount:
            count_ = (std::uint32_t{value} << 16) | index;
            return true;
        case kEndRun:
            ++outputs_.endRuns;
            return true;
        case kSetLamp:
            outputs_.lampValue = value;
            outputs_.lampIndex = index;
            ++outputs_.lampRequests;
            return true;
        case kSetUnitMode:
            outputs_.unitMode = value;
            ++outputs_.unitModeRequests;
            return true;
        case kTargetReset:
            outputs_.resetValue = value;
            outputs_.resetPulseMs = index;
            ++outputs_.resetRequests;
            return true;
        case kSetTargetBoard:
            outputs_.targetBoard = value;
            ++outputs_.targetBoardRequests;
            return true;
        default:
            return false;
    }
}

bool ProgrammerFirmware::ControlIn(std::uint8_t request, std::uint16_t, std::uint16_t,
                                   std::span<std::uint8_t> data) {
    if (!running_)
        return false;
    std::fill(data.begin(), data.end(), 0x00);
    switch (request) {
        case kGetState: {
            HoldWhileUnderWay();
            if (StoreFailed())
                return false;
            // A program with nothing to write: once its echo has been seen, asking again
            // finds the operation finished.
            if (operation_ == 0x11 && state_ == 0x11 && !StepUnderWay()) {
                if (programEchoed_)
                    state_ = kFinished;
                programEchoed_ = true;
            }
            std::uint8_t answer = state_;
            if (StepUnderWay()) {
                answer = busyCode_;
            } else if (busyRemaining_ > 0) {
                --busyRemaining_;
                answer = busyCode_;
            }
            if (stalledStates_.count(answer) != 0)
                answer = 0x00;
            if (!data.empty())
                data[0] = answer;
            return true;
        }
        case kGetBlockReady: {
            HoldWhileUnderWay();
            if (StoreFailed())
                return false;
            bool ready = blockReady_ && !StepUnderWay();
            if (!StepUnderWay() && busyRemaining_ > 0) {
                --busyRemaining_;
                ready = false;
            }
            if (stallBlockReady_)
                ready = false;
            if (!data.empty())
                data[0] = ready ? 0x01 : 0x00;
            return true;
        }
        case kFirmwareVersion:
            std::copy_n(config_.version.begin(), std::min(config_.version.size(), data.size()),
                        data.begin());
            return true;
        default:
            return false;
    }
}

bool ProgrammerFirmware::BulkOut(std::span<const std::uint8_t> data) {
    if (!running_ || operation_ == 0 || data.empty())
        return false;
    CatchUp();
    const bool dataFlash = image_->family == 45;
    bool understood = false;
    switch (operation_) {
        case 0x51:
            understood = Identify(data);
            break;
        case 0x21:
            understood = StartRead(data);
            break;
        case 0x31:
            understood = dataFlash ? Erase45(data) : Erase25(data);
            break;
        case 0x11:
            if (dataFlash) {
                understood = data[0] == 0x3D ? PageSizeSetup(data, 0x13) : DataFlashProgram(data);
            } else if (parameter_ == 1) {
                understood = PageProgram(data);
            } else if (parameter_ == 2 || parameter_ == 3) {
                understood = AutoIncrementProgram(data, parameter_ == 2);
            }
            break;
        case 0x41:
            understood = StatusWrite(data);
            break;
        case 0x61:
            understood = SectorUnprotect(data);
            break;
        default:
            break;
    }
    if (!understood) {
        Fail();
        return true;
    }
    CatchUp();
    return !StoreFailed();
}

bool ProgrammerFirmware::BulkIn(std::span<std::uint8_t> data) {
    if (!running_)
        return false;
    CatchUp();
    if (StoreFailed() || pending_.empty())
        return false;
    std::fill(data.begin(), data.end(), 0x00);
    std::copy_n(pending_.begin(), std::min(pending_.size(), data.size()), data.begin());
    pending_.clear();
    blockReady_ = false;
    if (operation_ == 0x51) {
        state_ = kFinished;
    } else if (operation_ == 0x21) {
        NextReadBlock();
    }
    return !StoreFailed();
}

void ProgrammerFirmware::Finish(std::uint8_t state, bool blockReady) {
    state_ = state;
    busyRemaining_ = config_.busyPolls;
    blockReady_ = blockReady;
}

void ProgrammerFirmware::Fail() {
    state_ = kScriptErrorState;
    blockReady_ = false;
    busyRemaining_ = 0;
    queue_.clear();
    pending_.clear();
}

bool ProgrammerFirmware::Identify(std::span<const std::uint8_t> script) {
    // The opcode alone; 0x90 also takes its three address bytes (zero) before the answer. The
    // answer is read at once: a busy chip shows it in its status.
    std::vector<std::uint8_t> command{script[0]};
    if (script[0] == 0x90 && script.size() >= 4)
        command.assign(script.begin(), script.begin() + 4);
    pending_ = RunNow(command, kAnswerLength);
    blockReady_ = true;
    return true;
}

bool ProgrammerFirmware::StartRead(std::span<const std::uint8_t> script) {
    if (script.size() < 4)
        return false;
    std::vector<std::uint8_t> command(script.begin(), script.begin() + 4);
    if (script[0] == 0xE8)
        command.resize(8, 0x00);  // four don't-care bytes before the data
    // The count is in units of 256 bytes; the host takes them in 1024-byte blocks.
    readBlocksLeft_ = (std::uint64_t{count_} * 256 + kReadBlock - 1) / kReadBlock;
    BeginStep(operation_);
    if (readBlocksLeft_ == 0) {
        QueueFinish(kFinished, false);
        return true;
    }
    // The read starts when the chip is ready, then runs on block by block.
    queue_.push_back([this, command = std::move(command)] {
        if (chip_)
            chip_->Begin(command);
        readOpen_ = true;
        NextReadBlock();
    });
    return true;
}

void ProgrammerFirmware::NextReadBlock() {
    if (readBlocksLeft_ == 0) {
        if (readOpen_ && chip_)
            chip_->End();
        readOpen_ = false;
        Finish(kFinished, false);
        return;
    }
    --readBlocksLeft_;
    pending_.assign(kReadBlock, kUndrivenByte);
    if (chip_)
        chip_->Read(pending_);
    busyCode_ = operation_;
    Finish(operation_, true);
}

bool ProgrammerFirmware::Erase25(std::span<const std::uint8_t> script) {
    // 0x06, 0x00, erase opcode, 0x00, 0x05
    if (script.size() < 5 || script[0] != 0x06 || script[1] != 0 || script[3] != 0 ||
        script[4] != 0x05) {
        return false;
    }
    const std::uint8_t opcode = script[2];
    BeginStep(0x32);
    if (opcode == 0xC7 || opcode == 0x60 || opcode == 0x62) {
        Queue({0x06});
        Queue({opcode});
    } else {
        // Block and sector erase opcodes are applied across the whole chip, in the unit the
        // part erases with that opcode; one the part does not have goes out every 64 KiB (4 KiB
        // for 0x20) and does nothing.
        const EraseCommand* erase = chip_ ? chip_->Spec().FindErase(opcode) : nullptr;
        const std::uint64_t step =
            erase && erase->size != 0 ? erase->size : (opcode == 0x20 ? 4 * 1024 : 64 * 1024);
        const std::uint64_t size = chip_ ? chip_->AddressableSize() : 0;
        for (std::uint64_t address = 0; address < size; address += step) {
            Queue({0x06});
            Queue(WithAddress(opcode, static_cast<std::uint32_t>(address)));
        }
    }
    Queue({0x05}, 1);
    QueueFinish(kFinished, false);
    return true;
}

bool ProgrammerFirmware::PageSizeSetup(std::span<const std::uint8_t> script,
                                       std::uint8_t doneState) {
    if (script.size() < 4 || script[0] != 0x3D || script[1] != 0x2A || script[2] != 0x80 ||
        script[3] != 0xA6) {
        return false;
    }
    BeginStep(operation_);
    Queue({0x3D, 0x2A, 0x80, 0xA6});
    QueueFinish(doneState, false);
    return true;
}

bool ProgrammerFirmware::Erase45(std::span<const std::uint8_t> script) {
    if (script[0] == 0x3D)
        return PageSizeSetup(script, 0x33);
    // 0x50, address, 0xD7
    if (script.size() < 5 || script[0] != 0x50 || script[4] != 0xD7)
        return false;
    BeginStep(operation_);
    Queue(WithAddress(0x50, Address24(script, 1)));
    Queue({0xD7}, 1);
    QueueFinish(kFinished, true);
    return true;
}

bool ProgrammerFirmware::PageProgram(std::span<const std::uint8_t> block) {
    // 0x06, 0x00, 0x02, address, n data bytes, 0x05, zero padding: the 0x05 is the last
    // non-zero byte, which gives n.
    std::size_t last = block.size();
    while (last > 0 && block[last - 1] == 0)
        --last;
    if (last < 7 || block[0] != 0x06 || block[1] != 0 || block[2] != 0x02 ||
        block[last - 1] != 0x05) {
        return false;
    }
    const std::size_t n = last - 1 - 6;
    BeginStep(operation_);
    Queue({0x06});
    Queue(std::vector<std::uint8_t>(block.begin() + 2,
                                    block.begin() + 6 + static_cast<std::ptrdiff_t>(n)));
    Queue({0x05}, 1);
    QueueFinish(kFinished, true);
    return true;
}

bool ProgrammerFirmware::AutoIncrementProgram(std::span<const std::uint8_t> block, bool word) {
    const std::uint8_t opcode = word ? 0xAD : 0xAF;
    const std::size_t groups = word ? 127 : 255, groupLength = word ? 4 : 2;
    const std::size_t end = 8 + groups * groupLength;  // offset of the closing 0x04
    if (block.size() <= end || block[0] != 0x06 || block[2] != opcode || block[end] != 0x04 ||
        (!word && block[7] != 0x00)) {
        return false;
    }
    for (std::size_t i = 0; i < groups; ++i) {
        if (block[8 + i * groupLength] != opcode)
            return false;
    }
    BeginStep(operation_);
    Queue({0x06});
    Queue(std::vector<std::uint8_t>(block.begin() + 2, block.begin() + (word ? 8 : 7)));
    for (std::size_t i = 0; i < groups; ++i) {
        // Word groups are opcode, a place-holder zero (the firmware waits for the part there),
        // two data bytes; byte groups are opcode and one data byte.
        const std::size_t at = 8 + i * groupLength;
        if (word) {
            Queue({opcode, block[at + 2], block[at + 3]});
        } else {
            Queue({opcode, block[at + 1]});
        }
    }
    Queue({0x04});
    QueueFinish(kFinished, true);
    return true;
}

bool ProgrammerFirmware::DataFlashProgram(std::span<const std::uint8_t> block) {
    // 0x84, 0, 0, 0, P data bytes, 0x88, page address, 0xD7, with P the image's page size.
    const std::size_t p = image_->pageSize;
    if (block.size() < 9 + p || block[0] != 0x84 || block[4 + p] != 0x88 || block[8 + p] != 0xD7) {
        return false;
    }
    BeginStep(operation_);
    Queue(std::vector<std::uint8_t>(block.begin(),
                                    block.begin() + 4 + static_cast<std::ptrdiff_t>(p)));
    Queue(WithAddress(0x88, Address24(block, 5 + p)));
    Queue({0xD7}, 1);
    QueueFinish(kFinished, true);
    return true;
}

bool ProgrammerFirmware::StatusWrite(std::span<const std::uint8_t> script) {
    // 0x06, 0x00, 0x50, 0x00, 0x01, v1..vG, then G read-backs (opcode, 0x00, vi), zero padding.
    // G is not written anywhere: it is the smallest count for which the bytes fit that shape.
    if (script.size() < 9 || script[0] != 0x06 || script[1] != 0 || script[2] != 0x50 ||
        script[3] != 0 || script[4] != 0x01) {
        return false;
    }
    std::size_t groups = 0;
    for (std::size_t g = 1; 5 + 4 * g <= script.size() && groups == 0; ++g) {
        bool fits = AllZero(script.subspan(5 + 4 * g));
        for (std::size_t i = 0; i < g && fits; ++i) {
            const std::size_t at = 5 + g + 3 * i;
            fits = script[at] != 0 && script[at + 1] == 0 && script[at + 2] == script[5 + i];
        }
        if (fits)
            groups = g;
    }
    if (groups == 0)
        return false;
    BeginStep(operation_);
    Queue({0x06});
    Queue({0x50});
    std::vector<std::uint8_t> write{0x01};
    write.insert(write.end(), script.begin() + 5,
                 script.begin() + 5 + static_cast<std::ptrdiff_t>(groups));
    Queue(std::move(write));
    statusReadBack_.clear();
    for (std::size_t i = 0; i < groups; ++i) {
        Queue({script[5 + groups + 3 * i]}, 1, [this](const std::vector<std::uint8_t>& answer) {
            statusReadBack_.push_back(answer[0]);
        });
    }
    QueueFinish(0x42, false);
    return true;
}

bool ProgrammerFirmware::SectorUnprotect(std::span<const std::uint8_t> block) {
    // Groups of 0x06, 0x00, opcode, address until the zero padding; the opcode is 0x39
    // (unprotect sector) or 0x36 (protect sector).
    std::vector<std::vector<std::uint8_t>> commands;
    for (std::size_t at = 0; at + 6 <= block.size(); at += 6) {
        const std::uint8_t opcode = block[at + 2];
        if (block[at] != 0x06 || block[at + 1] != 0 || (opcode != 0x39 && opcode != 0x36)) {
            if (!AllZero(block.subspan(at)))
                return false;
            break;
        }
        commands.push_back(WithAddress(opcode, Address24(block, at + 3)));
    }
    BeginStep(operation_);
    for (auto& command : commands) {
        Queue({0x06});
        Queue(std::move(command));
    }
    QueueFinish(0x62, false);
    return true;
}

}  // namespace torq::sim
