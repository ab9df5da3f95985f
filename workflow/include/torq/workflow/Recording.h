// The production record of a run: what every socket's record shares is taken on the run's
// thread when it starts; each socket's record is written when its verdict is known, before the
// verdict is shown, from the thread that ran it.
#pragma once

#include <string>

#include "torq/record/ProductionRecord.h"

namespace torq {

// What every record of one run shares.
struct RecordBasis {
    std::string station;
    std::string vendor, type;
    std::string workFile, fileChecksum;
    std::string lot;
};

class RunRecorder {
  public:
    virtual ~RunRecorder() = default;
    // At a run's start, on its thread: false with the reason when no record could be written
    // now; `basis` filled in.
    virtual bool Prepare(RecordBasis& basis, std::string* reason) = 0;
    // One socket's record, its time and serial filled in here; false with the reason. Any
    // thread (the units' workers write at once).
    virtual bool Write(ProductionRecord& record, std::string* reason) = 0;
    // A record that cannot be written fails the socket (on by default).
    virtual bool StopWhenNotWritten() const = 0;
};

// "Error : The production record cannot be written (REASON), the chip does not pass !" when
// that stops runs, else a warning that the run goes on without it.
std::string RecordNotWrittenLine(const std::string& reason, bool stops);
// What the operator is told when a run does not start because no record could be written.
std::string RecordRefusedMessage(const std::string& reason);

}  // namespace torq
