// What the separate Information window and the line limit's timer work on: the log, where its
// questions go, whether the window is shown, and the line limit.
#pragma once

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"

namespace torq {

class InformationModel {
  public:
    virtual InformationLog& Log() = 0;
    virtual Operator& Asker() = 0;
    // The information window shown separately hides the docked panel.
    virtual void SetInformationWindowShown(bool shown) = 0;
    // The line limit's timer runs while its box is checked and the Options tab is not shown.
    virtual bool InfoMessageLimitTimerWanted() const = 0;
    // One tick of the line limit. `unsaved` says what becomes of the oldest lines when they
    // cannot be saved to the log file: the window keeps them.
    virtual void InfoMessageLimitTick(UnsavedLines unsaved = UnsavedLines::Keep) = 0;

  protected:
    ~InformationModel() = default;
};

}  // namespace torq
