#include "CliContext.h"

namespace torq::cli {

Answer CliOperator::Respond(const OperatorMessage& message) {
    const Severity severity = message.severity;
    const Buttons buttons = message.buttons;
    const char* kind = severity == Severity::Error     ? "error: "
                       : severity == Severity::Warning ? "warning: "
                                                       : "";
    std::cerr << kind << message.text << '\n';
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            if (yes)
                return *yes ? Answer::Ok : Answer::Cancel;
            unanswered = true;
            return Answer::Cancel;
        case Buttons::YesNo:
            if (yes)
                return *yes ? Answer::Yes : Answer::No;
            unanswered = true;
            return Answer::No;
        case Buttons::YesRetryCancel:
            if (yes)
                return *yes ? Answer::Yes : Answer::Cancel;
            unanswered = true;
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

int LockHome(CliContext& context, std::string_view command) {
    if (context.homeLock)
        return kSuccess;
    std::string problem;
    context.homeLock =
        HomeLock::Acquire(context.Directories(), "torq-spi-cli " + std::string(command), &problem);
    return context.homeLock ? kSuccess : Fail(kFailed, problem);
}

int Fail(int code, std::string_view message) {
    std::cerr << "torq-spi-cli: " << message << '\n';
    return code;
}

}  // namespace torq::cli
