// What the Options tab works on: the options, the three numeric fields as typed, the about
// values, and the operator's changes, which the model applies and stores.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "torq/devlib/Options.h"
#include "torq/devlib/Seams.h"

namespace torq {

// The three numeric fields of the Options tab as the operator typed them.
enum class OptionField { VerifyErrorsList, ResetTime, InfoMessageLimit };

struct OptionFieldTexts {
    std::string verifyErrorsList = "100";
    std::string resetTime = "500";
    std::string infoMessageLimit = "5000";

    const std::string& Of(OptionField field) const {
        switch (field) {
            case OptionField::VerifyErrorsList:
                return verifyErrorsList;
            case OptionField::ResetTime:
                return resetTime;
            case OptionField::InfoMessageLimit:
                break;
        }
        return infoMessageLimit;
    }
    std::string& Of(OptionField field) {
        return const_cast<std::string&>(std::as_const(*this).Of(field));
    }
};

// The typing and leave rules of a numeric field.
inline const NumericFieldRule& OptionFieldRule(OptionField field) {
    switch (field) {
        case OptionField::VerifyErrorsList:
            return kVerifyErrorsField;
        case OptionField::ResetTime:
            return kResetTimeField;
        case OptionField::InfoMessageLimit:
            break;
    }
    return kInfoMessageLimitField;
}

class OptionsModel {
  public:
    virtual const Options& Settings() const = 0;
    virtual const OptionFieldTexts& OptionFields() const = 0;
    // The operator changed options: they apply at once and are stored.
    virtual void EditOptions(const std::function<void(Options&)>& change) = 0;
    // The operator typed into a numeric field (the text after the typing rule).
    virtual void SetOptionFieldText(OptionField field, std::string text) = 0;
    // The field's leave check; false when it had to correct the value (the field takes the focus
    // back). A new value is stored as EditOptions does.
    virtual bool LeaveOptionField(OptionField field) = 0;
    // "Normal Low" / "Normal High" chosen: the new idle level is sent at once.
    virtual void ResetLevelChanged(bool normalHigh) = 0;
    virtual std::string FirmwareVersion() const = 0;
    virtual const std::string& LibraryDate() const = 0;
    // Where the desktop group's questions and messages go.
    virtual Operator& Asker() = 0;

  protected:
    ~OptionsModel() = default;
};

}  // namespace torq
