// A bar on stderr while a step runs, when stderr is a terminal: the step's name and its percent.
#pragma once

#include <cstdio>
#include <string>

#include "torq/workflow/Sequencer.h"

namespace torq::cli {

class TerminalProgress final : public SequencerObserver {
  public:
    void StepProgress(Operation operation, std::uint64_t done, std::uint64_t total) override {
        if (total == 0)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == shown_)
            return;
        shown_ = percent;
        const int filled = percent / 4;
        std::fprintf(stderr, "\r%-12s [%s%s] %3d%%",
                     std::string(OperationLogName(operation)).c_str(),
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(25 - filled), ' ').c_str(), percent);
        std::fflush(stderr);
    }
    void StepEnded(Operation, bool) override { Clear(); }
    ~TerminalProgress() override { Clear(); }

  private:
    void Clear() {
        if (shown_ < 0)
            return;
        std::fputs("\r                                              \r", stderr);
        std::fflush(stderr);
        shown_ = -1;
    }
    int shown_ = -1;
};

}  // namespace torq::cli
