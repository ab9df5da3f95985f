// Begin ... End around one job of the editor's core, End also on early returns.
#pragma once

#include <cstdint>

#include "torq/devlib/Seams.h"

namespace torq::editor {

class ProgressFrame {
  public:
    ProgressFrame(ProgressSink* sink, std::uint64_t total) : sink_(sink), total_(total) {
        if (sink_ != nullptr)
            sink_->Begin(total_);
    }
    ~ProgressFrame() {
        if (sink_ != nullptr)
            sink_->End();
    }
    ProgressFrame(const ProgressFrame&) = delete;
    ProgressFrame& operator=(const ProgressFrame&) = delete;
    void Done(std::uint64_t done) {
        if (sink_ != nullptr)
            sink_->Progress(done, total_);
    }

  private:
    ProgressSink* sink_;
    std::uint64_t total_;
};

}  // namespace torq::editor
