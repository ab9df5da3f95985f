// What the Premium sheets work on: the parameter pages of the selected device as built for the
// tab, the operator's changes to their components, and OK and Cancel.
#pragma once

#include <string>

#include "torq/devlib/ParameterPages.h"

namespace torq {

class PremiumModel {
  public:
    virtual const ParameterPages& PremiumPages() const = 0;
    // A component's new value as its control shows it; a page or component that is no longer
    // there (the pages were built again) is ignored.
    virtual void SetPageChecked(int page, int component, bool checked) = 0;
    virtual void SetPageChoice(int page, int component, int choice) = 0;
    virtual void SetPageText(int page, int component, std::string text) = 0;
    // OK saves the values and goes back to the last operation tab; Cancel goes back only.
    virtual void PremiumOk() = 0;
    virtual void PremiumCancel() = 0;

  protected:
    ~PremiumModel() = default;
};

}  // namespace torq
