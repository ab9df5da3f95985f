// What runs inside the simulated programmer: the FX2's boot loader (vendor request 0xA0 into a
// modelled internal memory, the 0xE600 hold/release) and, once a driver image with a valid
// descriptor has been started, the programmer firmware that answers the vendor requests and
// executes each command script and block as SPI transactions on the chip in the socket.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

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
    std::vector<std::uint8_t> Run(std::vector<std::uint8_t> command, std::size_t answer = 0);
    void Finish(std::uint8_t state, std::uint8_t busyCode, bool blockReady);
    void Fail();

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
};

}  // namespace torq::sim
