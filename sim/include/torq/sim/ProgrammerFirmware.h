// What runs inside the simulated programmer: the FX2's boot loader (vendor request 0xA0 into a
// modelled internal memory, the 0xE600 hold/release) and, once a driver image with a valid
// descriptor has been started, the programmer firmware that answers the vendor requests and
// executes each command script and block as SPI transactions on the chip in the socket.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "torq/sim/SimClock.h"
#include "torq/sim/SpiChip.h"

namespace torq::sim {

inline constexpr std::uint16_t kCpuControlAddress = 0xE600;
inline constexpr std::uint16_t kDescriptorAddress = 0x1F00;
// State answered after a script the firmware could not make sense of; no host waits for it.
inline constexpr std::uint8_t kScriptErrorState = 0xEE;

// The descriptor our driver images carry at 0x1F00 ("TQDI", version 1).
struct DriverDescriptor {
    std::uint8_t family = 25;  // 25 or 45
    std::uint16_t millivolts = 3300;
    std::uint16_t pageSize = 256;  // DataFlash: spare bytes included
};

struct FirmwareConfig {
    std::string version = "1.10";  // empty: the version request answers zero bytes
    // GetState / GetBlockReady answers that still report "under way" after each script or
    // block (0: every step is done by the next poll).
    int busyPolls = 0;
};

// What the host last told the programmer through the requests that have no visible effect
// on the chip.
struct ProgrammerOutputs {
    std::uint16_t lampValue = 0, lampIndex = 0;
    int lampRequests = 0;
    std::uint16_t unitMode = 0;
    int unitModeRequests = 0;
    std::uint16_t resetValue = 0, resetPulseMs = 0;
    int resetRequests = 0;
    std::uint16_t targetBoard = 0;
    int targetBoardRequests = 0;
    int endRuns = 0;
};

class ProgrammerFirmware {
  public:
    // `chip` may be null: an empty socket.
    ProgrammerFirmware(FirmwareConfig config, std::unique_ptr<SpiChip> chip);

    bool ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                   std::span<std::uint8_t> data);
    bool ControlOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                    std::span<const std::uint8_t> data);
    bool BulkIn(std::span<std::uint8_t> data);
    bool BulkOut(std::span<const std::uint8_t> data);

    // Loss of bus power: memory contents lost, microcontroller stopped, chip unpowered.
    void PowerOff();

    // Real-time mode (null: off). The chip is then busy for its typical times and the firmware
    // works through each step's chip commands as the chip becomes ready, in the clock's time,
    // while the host polls; a poll answer is held back while the step runs, for at most a 64th
    // of the step's modelled busy time (at least kPollHold), so that any step ends within 64
    // polls, well inside the host's 101.
    void SetClock(SimClock* clock);
    static constexpr SimTime kPollHold = std::chrono::milliseconds(10);
    // The step's chip commands are not all carried out yet.
    bool StepUnderWay() const { return !queue_.empty(); }

    bool Held() const { return held_; }
    bool Running() const { return running_; }
    int Starts() const { return starts_; }
    const std::optional<DriverDescriptor>& Image() const { return image_; }
    std::span<const std::uint8_t> Memory() const { return memory_; }
    SpiChip* Chip() { return chip_.get(); }
    const SpiChip* Chip() const { return chip_.get(); }
    std::uint8_t State() const { return state_; }
    std::uint32_t Count() const { return count_; }
    const ProgrammerOutputs& Outputs() const { return outputs_; }
    // Status bytes read back by the last status-register write script.
    const std::vector<std::uint8_t>& StatusReadBack() const { return statusReadBack_; }
    FirmwareConfig& Config() { return config_; }

    // Fault injection: GetState never reports this code (it answers 0x00 instead), or
    // GetBlockReady never reports a ready block.
    void StallState(std::uint8_t code) { stalledStates_.insert(code); }
    void StallBlockReady(bool stall = true) { stallBlockReady_ = stall; }

  private:
    void Start();
    void ResetOperation();
    // A step is a queue of chip transactions, carried out in order, each when the chip is no
    // longer busy with the one before (at once when the chip is untimed).
    void BeginStep(std::uint8_t busyCode);
    void Queue(std::vector<std::uint8_t> command, std::size_t answer = 0,
               std::function<void(const std::vector<std::uint8_t>&)> then = {});
    void QueueFinish(std::uint8_t state, bool blockReady);
    void CatchUp();
    void HoldWhileUnderWay();
    void SyncTime();
    // A transaction that does not wait for the chip (identification, status).
    std::vector<std::uint8_t> RunNow(std::vector<std::uint8_t> command, std::size_t answer);
    void Finish(std::uint8_t state, bool blockReady);
    void Fail();
    // The chip's backing store failed since the last look: the step is abandoned.
    bool StoreFailed();

    bool Identify(std::span<const std::uint8_t> script);
    bool StartRead(std::span<const std::uint8_t> script);
    void NextReadBlock();
    bool Erase25(std::span<const std::uint8_t> script);
    bool Erase45(std::span<const std::uint8_t> script);
    bool PageProgram(std::span<const std::uint8_t> block);
    bool AutoIncrementProgram(std::span<const std::uint8_t> block, bool word);
    bool DataFlashProgram(std::span<const std::uint8_t> block);
    bool PageSizeSetup(std::span<const std::uint8_t> script, std::uint8_t doneState);
    bool StatusWrite(std::span<const std::uint8_t> script);
    bool SectorUnprotect(std::span<const std::uint8_t> block);

    FirmwareConfig config_;
    std::unique_ptr<SpiChip> chip_;
    std::vector<std::uint8_t> memory_ = std::vector<std::uint8_t>(0x10000, 0x00);
    bool held_ = false;
    bool running_ = false;
    int starts_ = 0;
    std::optional<DriverDescriptor> image_;

    std::uint8_t operation_ = 0;
    bool programEchoed_ = false;  // the program's echo has been answered
    std::uint16_t parameter_ = 0;
    std::uint32_t count_ = 0;
    std::uint8_t state_ = 0;
    std::uint8_t busyCode_ = 0;
    int busyRemaining_ = 0;
    bool blockReady_ = false;
    std::vector<std::uint8_t> pending_;  // answer or read block waiting for the host
    bool readOpen_ = false;
    std::uint64_t readBlocksLeft_ = 0;
    std::vector<std::uint8_t> statusReadBack_;
    ProgrammerOutputs outputs_;
    std::set<std::uint8_t> stalledStates_;
    bool stallBlockReady_ = false;

    SimClock* clock_ = nullptr;
    std::deque<std::function<void()>> queue_;
    SimTime executedUpTo_{0};  // the time the queue has been worked through to
    SimTime stepBusy_{0};      // the modelled busy time of the step's commands
};

}  // namespace torq::sim
