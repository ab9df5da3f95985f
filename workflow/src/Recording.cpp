#include "torq/workflow/Recording.h"

#include "SequencerParts.h"

namespace torq {

std::string RecordNotWrittenLine(const std::string& reason, bool stops) {
    if (stops) {
        return "Error : The production record cannot be written (" + reason +
               "), the chip does not pass !";
    }
    return "Warning : The production record cannot be written (" + reason +
           "), the run goes on without it !";
}

std::string RecordRefusedMessage(const std::string& reason) {
    return "The production record cannot be written (" + reason +
           "), so nothing is programmed. Free space or make the folder writable, or turn off "
           "\"Stop when the record cannot be written\" on the Options tab.";
}

void StepLines::LineAdded(const std::string& line) {
    std::string_view message = line;
    // "2026/12/11 16:05:54 : " and "Unit 3 : " taken away.
    if (message.size() > 22 && message[4] == '/' && message.substr(19, 3) == " : ")
        message.remove_prefix(22);
    if (message.size() > 9 && message.rfind("Unit ", 0) == 0 && message.substr(6, 3) == " : ")
        message.remove_prefix(9);
    // The verify list is one entry of many lines: its first line says enough.
    message = message.substr(0, message.find('\n'));
    last_ = std::string(message);
    if (failure_.empty() &&
        (message.find(": Fail") != std::string_view::npos || message.rfind("Error", 0) == 0)) {
        failure_ = last_;
    }
}

StepRecord StepOutcome(Operation operation, bool pass, bool stopped, std::uint32_t elapsedMs) {
    return {std::string(OperationLogName(operation)),
            stopped ? "Stopped"
            : pass  ? "Pass"
                    : "Fail",
            elapsedMs / 1000.0};
}

}  // namespace torq
