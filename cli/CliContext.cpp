#include "CliContext.h"

#include <algorithm>
#include <sstream>

#include "torq/devlib/Text.h"
#include "torq/link/LibusbDevice.h"
#include "torq/sim/SimulateOption.h"
#include "torq/workflow/Sequencer.h"

namespace torq::cli {

namespace {

// The USB layer of a command that does not talk to the programmer: nothing is ever found.
class NoUsbDevice final : public UsbDevice {
  public:
    int DeviceCount() override { return 0; }
    bool Open(int) override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    UsbIdentity Identity() const override { return {}; }
    bool ControlIn(std::uint8_t, std::uint16_t, std::uint16_t, std::span<std::uint8_t>) override {
        return false;
    }
    bool ControlOut(std::uint8_t, std::uint16_t, std::uint16_t,
                    std::span<const std::uint8_t>) override {
        return false;
    }
    bool BulkIn(std::span<std::uint8_t>) override { return false; }
    bool BulkOut(std::span<const std::uint8_t>) override { return false; }
    void SetTimeout(UsbEndpoint, std::uint32_t) override {}
    std::uint32_t Timeout(UsbEndpoint) const override { return kDefaultUsbTimeoutMs; }
};

// The USB layer of this run: the simulated programmer with --simulate, else libusb (which finds
// nothing when no programmer is attached).
std::unique_ptr<UsbDevice> MakeUsb(const CliContext& context, bool programmer, std::string& error) {
    if (!programmer)
        return std::make_unique<NoUsbDevice>();
    if (!context.simulate.empty()) {
        sim::SimulateParse parsed = sim::ParseSimulateOptions(context.simulate);
        if (!parsed.programmer)
            error = "--simulate: " + parsed.error;
        return std::move(parsed.programmer);
    }
    std::unique_ptr<LibusbApi> api = CreateSystemLibusb();
    if (!api)
        std::cerr << "warning: libusb cannot be initialised; no programmer can be found\n";
    return std::make_unique<LibusbDevice>(std::move(api));
}

// The window's question for a chip that is not the selected device names its Yes, Retry and
// Cancel buttons; the command line says what it does instead, and what to run.
std::string CommandLineText(const OperatorMessage& message, std::optional<bool> yes) {
    if (message.text != kConfirmDeviceIdQuestion)
        return std::string(message.text);
    const std::string chip = "the chip in the socket does not give the ID of the selected device";
    if (yes)
        return chip + (*yes ? ": --yes detects the chip's device and selects it"
                            : ": --no skips the socket");
    return chip +
           ": the socket is skipped. Find the chip's device with 'torq-spi-cli detect' and choose "
           "it with 'torq-spi-cli select VENDOR TYPE', or give --skip-id to run without the check";
}

}  // namespace

Answer CliOperator::Respond(const OperatorMessage& message) {
    const char* kind = message.severity == Severity::Error     ? "error: "
                       : message.severity == Severity::Warning ? "warning: "
                                                               : "";
    std::cerr << kind << CommandLineText(message, yes) << '\n';
    switch (message.buttons) {
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

void AddAnswerFlags(CLI::App* command, AnswerFlags& flags) {
    auto* yes = command->add_flag("--yes", flags.yes, "Answer every question with Yes (OK)");
    command->add_flag("--no", flags.no, "Answer every question with No (Cancel)")->excludes(yes);
}

void ApplyAnswerFlags(CliContext& context, const AnswerFlags& flags) {
    if (flags.yes)
        context.op.yes = true;
    if (flags.no)
        context.op.yes = false;
}

int ChooseUnits(const Workbench& bench, const std::string& units, RunPlan& plan) {
    const int found = bench.ProgrammerCount();
    plan.socketsFromBoxes = false;
    plan.sockets.clear();
    if (units.empty()) {
        for (int unit = 1; unit <= found; ++unit)
            plan.sockets.push_back(SocketIndex(unit, 1));
        return kSuccess;
    }
    std::stringstream list(units);
    std::string item;
    while (std::getline(list, item, ',')) {
        const auto unit = ParseUnsigned64(item);
        if (!unit || *unit < 1 || *unit > static_cast<std::uint64_t>(found)) {
            return Fail(kBadUsage, "--units: '" + item + "' is not a unit found (units 1 to " +
                                       std::to_string(found) + ")");
        }
        const int socket = SocketIndex(static_cast<int>(*unit), 1);
        if (std::find(plan.sockets.begin(), plan.sockets.end(), socket) == plan.sockets.end())
            plan.sockets.push_back(socket);
    }
    if (plan.sockets.empty())
        return Fail(kBadUsage, "--units: no unit given");
    return kSuccess;
}

void PrintUnitVerdicts(const RunResult& result, std::ostream& out) {
    for (const RunResult::UnitOutcome& unit : result.units) {
        const Verdict verdict = unit.result.Outcome();
        out << "Unit " << unit.unit << ": "
            << (verdict == Verdict::Pass      ? "Pass"
                : verdict == Verdict::Stopped ? "Stopped"
                                              : "Fail");
        const std::string words = FailureWords(unit.result);
        if (verdict == Verdict::Fail && !words.empty())
            out << " [" << words << "]";
        out << '\n';
    }
}

int Fail(int code, std::string_view message) {
    std::cerr << "torq-spi-cli: " << message << '\n';
    return code;
}

namespace {

bool NeedsProgrammer(Needs needs) {
    return needs == Needs::Programmer || needs == Needs::ProgrammerAnyDevice;
}

// The programmer's commands hold the home folder alone; then the USB layer they talk through
// (none for a command without the programmer). Returns 0, or the exit code (the reason printed).
int TakeUsb(CliContext& context, bool programmer, std::unique_ptr<UsbDevice>& usb) {
    if (programmer) {
        if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
            return code;
    }
    std::string problem;
    usb = MakeUsb(context, programmer, problem);
    return usb ? kSuccess : Fail(kBadUsage, problem);
}

}  // namespace

int OpenBench(CliContext& context, Needs needs) {
    const bool programmer = NeedsProgrammer(needs);
    std::unique_ptr<UsbDevice> usb;
    if (const int code = TakeUsb(context, programmer, usb); code != kSuccess)
        return code;
    std::string problem;
    context.bench = std::make_unique<Workbench>(
        context.Directories(),
        WorkbenchSeams{context.op, context.pump, SystemClock::Instance(), context.watchTimer,
                       context.flashTimer, std::move(usb)},
        context.host);
    Workbench& bench = *context.bench;
    bench.Log().Subscribe(&context.stdoutView);
    const bool anyDevice = needs == Needs::AnyDevice || needs == Needs::ProgrammerAnyDevice;
    if (!bench.OpenForCommand(anyDevice, &problem)) {
        // A library that is not ours is bad usage; a missing selection is a failed command.
        const bool library = problem.rfind(std::string(kLibraryIncorrectMessage), 0) == 0;
        if (needs == Needs::Library && !library)
            return kSuccess;
        return Fail(library ? kBadUsage : kFailed, problem);
    }
    // The runs of the command line take their plans from its arguments: no tab or box is set.
    if (!programmer)
        return kSuccess;
    bench.EnumerateProgrammers(false);
    if (context.host.ended)
        return kFailed;  // the driver image is missing: the warning has been printed
    return kSuccess;
}

int OpenSession(CliContext& context, Needs needs) {
    const bool programmer = NeedsProgrammer(needs);
    std::unique_ptr<UsbDevice> usb;
    if (const int code = TakeUsb(context, programmer, usb); code != kSuccess)
        return code;
    std::string problem;
    context.sessionLog.Subscribe(&context.stdoutView);
    context.session = std::make_unique<DeviceSession>(
        context.Directories(), DeviceSessionSeams{context.sessionLog, context.op, context.pump,
                                                  SystemClock::Instance(), std::move(usb)});
    DeviceSession& session = *context.session;
    const ProgramDirectory& dirs = session.Directories();
    // A library that is not ours is bad usage; a missing selection is a failed command.
    if (!session.OpenLibrary()) {
        return Fail(kBadUsage,
                    std::string(kLibraryIncorrectMessage) + " (" + dirs.SelectIni().string() + ")");
    }
    const Options options = LoadOptions(dirs.HistoryIni(), context.sessionLog);
    const bool anyDevice = needs == Needs::AnyDevice || needs == Needs::ProgrammerAnyDevice;
    if (!session.OpenRemembered(anyDevice, &problem))
        return needs == Needs::Library ? kSuccess : Fail(kFailed, problem);
    if (!programmer)
        return kSuccess;
    // Without a path (the image the device file names is missing or was refused), the warning
    // names the device file and key instead.
    const std::string origin =
        session.DeviceFile().filename().string() + " : UserWav=" + session.Record().userWav;
    const EnumerationResult found = session.Link().EnumerateProgrammers(
        session.Record().driverImagePath, options.ResetIdleLevel(), origin);
    // A missing driver image: the warning has been printed.
    return found.imageMissing ? kFailed : kSuccess;
}

void AddRecordFlags(CLI::App* command, RecordFlags& flags) {
    command->add_option("--lot", flags.lot, "The lot the production records of this run carry");
    command->add_option("--serial", flags.serial,
                        "The serial the records carry; {n} counts up within the lot");
}

void ApplyRecordFlags(Workbench& bench, const RecordFlags& flags) {
    bench.SetRunOptions([&](Options& options) {
        if (flags.lot)
            options.lot = ProductionText(*flags.lot);
        if (flags.serial)
            options.serial = ProductionText(*flags.serial);
    });
}

int LockHome(CliContext& context, HomeAccess access) {
    if (context.homeLock) {
        // Taken once per command, before anything is read; a command that reads first and then
        // writes takes it alone from the start.
        return context.homeAccess == HomeAccess::Exclusive || access == HomeAccess::Shared
                   ? kSuccess
                   : Fail(kBadUsage, "internal error: the home folder is held for reading only");
    }
    std::string problem;
    context.homeLock = HomeLock::Acquire(context.Directories(), "torq-spi-cli " + context.command,
                                         &problem, access);
    context.homeAccess = access;
    return context.homeLock ? kSuccess : Fail(kFailed, problem);
}

}  // namespace torq::cli
