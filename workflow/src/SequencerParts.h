// What the sequencer's runs of unit 1 and its gang runs share: the progress bar's shares, the
// verdict signal and the one switch from an operation to the device operation that does it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/PageValues.h"
#include "torq/link/DeviceOperations.h"
#include "torq/record/ProductionRecord.h"
#include "torq/workflow/RunPlan.h"

namespace torq {

inline constexpr int kSocketStartAdvance = 5;   // before the start tick
inline constexpr int kSocketTimedAdvance = 10;  // after it
inline constexpr int kSocketEndAdvance = 5;     // before EndRun
inline constexpr int kSingleStepAdvance = 40;   // a step tile before its operation
inline constexpr int kReadEndAdvance = 10;      // a read after its operation
inline constexpr int kProgressMaximum = 100;
inline constexpr std::uint8_t kVerdictPass = 0x01;  // SetLamp's index byte after a pass
inline constexpr std::uint8_t kVerdictFail = 0x00;
inline constexpr std::uint16_t kResetPulseFlag = 0x0100;

// Runs the device operation; a read's status registers go to `readBack`.
bool RunDeviceOperation(DeviceOperations& ops, Operation operation, const DeviceRecord& record,
                        const PageValues& values, const RunPlan& plan, PageValues* readBack);

// The line that tells why a step failed, for its record: the first of the step's lines that
// reports a failure or an error, else its last; without the time stamp and the unit's prefix.
class StepLines final : public LogView {
  public:
    explicit StepLines(InformationLog& log) : log_(log) { log_.Subscribe(this); }
    ~StepLines() override { log_.Unsubscribe(this); }
    StepLines(const StepLines&) = delete;
    StepLines& operator=(const StepLines&) = delete;
    void LineAdded(const std::string& line) override;
    void Reset(const std::vector<std::string>&) override {}
    const std::string& Why() const { return failure_.empty() ? last_ : failure_; }

  private:
    InformationLog& log_;
    std::string failure_, last_;
};

// "Pass", "Fail" or "Stopped", and the seconds of a step's record.
StepRecord StepOutcome(Operation operation, bool pass, bool stopped, std::uint32_t elapsedMs);

// The record's verdict word of a socket.
inline const char* RecordVerdict(bool pass, bool stopped) {
    return stopped ? "STOPPED" : pass ? "PASS" : "FAIL";
}

}  // namespace torq
