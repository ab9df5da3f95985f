// read, verify, erase, blank, program, protect, unprotect, reset, run, pages: the device
// operations from the command line.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "CliContext.h"
#include "SelectedDevice.h"
#include "Session.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/Text.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Identification.h"

namespace torq::cli {

namespace {

// A bar on stderr while a block loop runs, when stderr is a terminal.
class TerminalProgress final : public ProgressSink {
  public:
    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (total == 0)
            return;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent == shown_)
            return;
        shown_ = percent;
        const int filled = percent / 4;
        std::fprintf(stderr, "\r[%s%s] %3d%%",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(25 - filled), ' ').c_str(), percent);
        if (percent == 100)
            std::fputs("\r", stderr);
        std::fflush(stderr);
    }
    ~TerminalProgress() override {
        if (shown_ >= 0)
            std::fputs("\r                                  \r", stderr);
    }

  private:
    int shown_ = -1;
};

// "Finished with total time : " takes the shortest general form of the seconds (3.5, 12.016, 4).
std::string FinishedSeconds(std::uint32_t milliseconds) {
    const long double seconds = static_cast<long double>(milliseconds) * 0.001L;
    char text[64];
    std::snprintf(text, sizeof text, "%.15Lg", seconds);
    return text;
}

enum class Step { Erase, BlankCheck, Program, Verify, Protect };
constexpr Step kStepOrder[] = {Step::Erase, Step::BlankCheck, Step::Program, Step::Verify,
                               Step::Protect};

const char* LogName(Step step) {
    switch (step) {
        case Step::Erase:
            return "Erase";
        case Step::BlankCheck:
            return "Blank Check";
        case Step::Program:
            return "Program";
        case Step::Verify:
            return "Verify";
        case Step::Protect:
            return "Protect";
    }
    return "";
}

std::optional<Step> StepNamed(std::string_view name) {
    static const std::map<std::string, Step> kNames{
        {"erase", Step::Erase},     {"blank", Step::BlankCheck}, {"check", Step::BlankCheck},
        {"program", Step::Program}, {"verify", Step::Verify},    {"protect", Step::Protect}};
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto found = kNames.find(lower);
    if (found == kNames.end())
        return std::nullopt;
    return found->second;
}

// An open programmer with the selected device's image loaded, ready for operations.
struct Bench {
    Session session;
    std::optional<DeviceOperations> ops;
    TerminalProgress progress;
};

// With `checkId`, the chip must answer with the selected device's ID first.
int OpenBench(CliContext& context, Bench& bench, bool checkId) {
    if (const int code = OpenSession(context, bench.session, false); code != kSuccess)
        return code;
    Programmer& programmer = *bench.session.programmer;
    if (programmer.ProgrammerCount() == 0)
        return Fail(kFailed, "no programmer connected");
    if (!programmer.OpenProgrammer(bench.session.record.driverImagePath, 0)) {
        return Fail(kFailed, "Please turn on programmers or check the USB connection !");
    }
    // The command line has no Emulator tab: the target board never supplies the emulator.
    programmer.SendTargetBoardMode(false);
    bench.ops.emplace(programmer, bench.session.library->Directories());
    if (checkId && !ReadId(programmer, bench.session.record)) {
        return Fail(kFailed,
                    "the chip in the socket is not the selected device (--skip-id runs anyway)");
    }
    if (::isatty(STDERR_FILENO))
        bench.ops->SetProgressSink(&bench.progress);
    return kSuccess;
}

// The verdict of a run: EndRun, then the lamp request for a pass or a fail.
void SendVerdict(Programmer& programmer, bool pass) {
    programmer.Channel().EndRun();
    programmer.Channel().SetLamp(1, pass ? 0x01 : 0x00);
}

bool RunOperation(Bench& bench, const std::string& name) {
    DeviceOperations& ops = *bench.ops;
    const DeviceRecord& record = bench.session.record;
    const Options& options = bench.session.options;
    const auto menuIni = bench.session.library->Directories().MenuIni();
    const PageValues values = PageValues::Read(menuIni);
    if (name == "read") {
        PageValues readBack;
        const bool pass = ops.ReadDevice(record, &readBack);
        if (pass && readBack.Exists())
            readBack.Write(menuIni);
        return pass;
    }
    if (name == "verify") {
        return ops.VerifyDevice(record,
                                {options.verifyErrorsListLimited, options.verifyErrorsListLimit});
    }
    if (name == "erase")
        return ops.EraseDevice(record, values);
    if (name == "blank")
        return ops.BlankCheck(record);
    if (name == "program")
        return ops.ProgramDevice(record, values);
    if (name == "protect")
        return ops.ProtectDevice(record, ProtectDirection::Protect, values);
    if (name == "unprotect")
        return ops.ProtectDevice(record, ProtectDirection::Unprotect, values);
    return false;
}

bool RunStep(Bench& bench, Step step) {
    switch (step) {
        case Step::Erase:
            return RunOperation(bench, "erase");
        case Step::BlankCheck:
            return RunOperation(bench, "blank");
        case Step::Program:
            return RunOperation(bench, "program");
        case Step::Verify:
            return RunOperation(bench, "verify");
        case Step::Protect:
            return RunOperation(bench, "protect");
    }
    return false;
}

void LogChecksums(CliContext& context, const Bench& bench) {
    const auto path = bench.session.library->Directories().BufferFile();
    const auto length = BufferFile(path).Length().value_or(0);
    const auto sum =
        length == 0 ? std::optional<std::uint32_t>(0) : Checksum(path, length - 1, 0xFF);
    const std::string text = ChecksumText(sum.value_or(0));
    context.log.WriteInfoLine("File checksum=0x" + text);
    context.log.WriteInfoLine("IC checksum=0x" + text);
}

// One operation, as a single-step tile runs it: Read ID first, then the operation, the
// finished line and the verdict.
int SingleOperation(CliContext& context, const std::string& name, bool checkId) {
    if (name == "read") {  // replaces the buffer and Menu.ini
        if (const int code = LockHome(context, name); code != kSuccess)
            return code;
    }
    Bench bench;
    if (const int code = OpenBench(context, bench, checkId); code != kSuccess)
        return code;
    Programmer& programmer = *bench.session.programmer;
    const Clock& clock = SystemClock::Instance();
    const std::uint32_t start = clock.TickMs();
    const bool pass = RunOperation(bench, name);
    context.log.WriteInfoLine("Finished with total time : " +
                              FinishedSeconds(TicksBetween(start, clock.TickMs())) + " Sec.");
    if (pass && name == "read")
        LogChecksums(context, bench);
    SendVerdict(programmer, pass);
    return pass ? kSuccess : kFailed;
}

// Erase, Blank Check, Program, Verify, Protect in that order, the ones asked for, stopping at
// the first failure; the Programmer tab's Execute All.
int RunSteps(CliContext& context, const std::string& list, bool checkId) {
    std::vector<bool> wanted(std::size(kStepOrder), false);
    std::stringstream names(list);
    std::string name;
    bool any = false;
    while (std::getline(names, name, ',')) {
        if (name.empty())
            continue;
        const auto step = StepNamed(name);
        if (!step) {
            return Fail(kBadUsage,
                        "unknown step '" + name + "' (erase, blank, program, verify, protect)");
        }
        wanted[static_cast<std::size_t>(*step)] = true;
        any = true;
    }
    if (!any)
        return Fail(kBadUsage, "no step given");
    Bench bench;
    if (const int code = OpenBench(context, bench, checkId); code != kSuccess)
        return code;
    Programmer& programmer = *bench.session.programmer;
    bench.ops->TargetReset(static_cast<std::uint16_t>(bench.session.options.ResetIdleLevel()), 0);
    const Clock& clock = SystemClock::Instance();
    const std::uint32_t start = clock.TickMs();
    bool pass = true;
    for (const Step step : kStepOrder) {
        if (!wanted[static_cast<std::size_t>(step)] || !pass)
            continue;
        context.log.WriteInfoLine(std::string("Start [") + LogName(step) + "]");
        pass = RunStep(bench, step) && pass;
        context.log.WriteInfoLine(std::string("End [") + LogName(step) + "]");
    }
    context.log.WriteInfoLine("Finished with total time : " +
                              FinishedSeconds(TicksBetween(start, clock.TickMs())) + " Sec.");
    SendVerdict(programmer, pass);
    std::cout << (pass ? "Pass" : "Fail") << '\n';
    return pass ? kSuccess : kFailed;
}

int Reset(CliContext& context, std::optional<int> milliseconds, bool low, bool high) {
    Session session;
    if (const int code = OpenSession(context, session, false); code != kSuccess)
        return code;
    Programmer& programmer = *session.programmer;
    if (programmer.ProgrammerCount() == 0)
        return Fail(kFailed, "no programmer connected");
    const bool normalLow = low || (!high && !session.options.resetNormalHigh);
    const int pulse = milliseconds.value_or(session.options.resetTimeMs);
    if (pulse < 1 || pulse > 0xFFFF)
        return Fail(kBadUsage, "--ms takes 1 to 65535");
    DeviceOperations ops(programmer, session.library->Directories());
    const bool pass =
        ops.TargetReset(normalLow ? 0x0101 : 0x0100, static_cast<std::uint16_t>(pulse));
    return pass ? kSuccess : kFailed;
}

// The selected device's parameter pages, without a programmer.
int LoadPages(CliContext& context, Session& session, ParameterPages& pages) {
    session.library.emplace(context.Directories());
    if (!session.library->IdentityOk())
        return Fail(kBadUsage, kLibraryIncorrectMessage);
    const DeviceSelection selected = SelectedDevice(context);
    if (!selected.error.empty())
        return Fail(kFailed, selected.error);
    FixedOperator silent;
    session.record = ReadDeviceRecord(session.library->DeviceFileOf(selected.vendor, selected.type),
                                      session.library->Directories(), DeviceRecord{},
                                      selected.vendor, selected.type, silent);
    if (session.record.protMode == 0 || session.record.menuFilePath.empty() ||
        !std::filesystem::is_regular_file(session.record.menuFilePath)) {
        context.log.WriteInfoLine("Premium Tabs : No Parameter");
        return kFailed;
    }
    pages =
        BuildParameterPages(session.record.menuFilePath, session.library->Directories().MenuIni());
    return kSuccess;
}

std::string ShownValue(const PageComponent& c) {
    switch (c.type) {
        case ComponentType::CheckBox:
            return c.checked ? "[x]" : "[ ]";
        case ComponentType::RadioGroup:
            return c.selectedIndex < 0
                       ? "(none)"
                       : std::to_string(c.selectedIndex) + " = " +
                             c.radioChoices[static_cast<std::size_t>(c.selectedIndex)];
        case ComponentType::ValueField:
            return c.text;
        default:
            return "";
    }
}

int ShowPages(CliContext& context) {
    Session session;
    ParameterPages pages;
    if (const int code = LoadPages(context, session, pages); code != kSuccess)
        return code;
    for (std::size_t p = 0; p < pages.pages.size(); ++p) {
        std::cout << "Page " << p << ": " << pages.pages[p].caption << '\n';
        for (const auto& c : pages.pages[p].components) {
            std::cout << "  " << c.number << ' ';
            switch (c.type) {
                case ComponentType::CheckBox:
                    std::cout << "check box  " << c.caption;
                    break;
                case ComponentType::RadioGroup: {
                    std::cout << "radio group " << c.caption << " {";
                    for (std::size_t i = 0; i < c.radioChoices.size(); ++i) {
                        std::cout << (i ? ", " : "") << i << ": " << c.radioChoices[i];
                    }
                    std::cout << '}';
                    break;
                }
                case ComponentType::ValueField:
                    std::cout << "value      " << c.LabelText();
                    break;
                case ComponentType::Explanation:
                    std::cout << "explanation";
                    for (const auto& line : c.explanationLines)
                        std::cout << "\n      " << line;
                    break;
                case ComponentType::None:
                    std::cout << "(unknown component)";
                    break;
            }
            const std::string value = ShownValue(c);
            if (!value.empty())
                std::cout << " = " << value;
            std::cout << '\n';
        }
    }
    return kSuccess;
}

// Sets one component's value the way its control would take it; a value the control would not
// accept is refused with the reason.
int SetPageValue(CliContext& context, int page, int component, const std::string& value) {
    if (const int code = LockHome(context, "pages set"); code != kSuccess)
        return code;
    Session session;
    ParameterPages pages;
    if (const int code = LoadPages(context, session, pages); code != kSuccess)
        return code;
    if (page < 0 || page >= static_cast<int>(pages.pages.size()) || component < 0 ||
        component >=
            static_cast<int>(pages.pages[static_cast<std::size_t>(page)].components.size())) {
        return Fail(kBadUsage, "no component " + std::to_string(component) + " on page " +
                                   std::to_string(page));
    }
    PageComponent& c =
        pages.pages[static_cast<std::size_t>(page)].components[static_cast<std::size_t>(component)];
    const auto number = ParseIniInteger(value);
    switch (c.type) {
        case ComponentType::CheckBox:
            if (!number || (*number != 0 && *number != 1))
                return Fail(kBadUsage, "a check box takes 0 or 1");
            c.checked = *number == 1;
            break;
        case ComponentType::RadioGroup:
            if (!number || *number < -1 || *number >= static_cast<int>(c.radioChoices.size())) {
                return Fail(kBadUsage, "choose -1 (none) or 0 to " +
                                           std::to_string(c.radioChoices.size() - 1));
            }
            c.selectedIndex = *number;
            break;
        case ComponentType::ValueField: {
            std::string typed;
            for (char key : value) {
                if (!FilterValueKey(c.valueType, key)) {
                    return Fail(kBadUsage,
                                std::string("'") + key + "' is not accepted by " + c.LabelText());
                }
                typed.push_back(key);
            }
            if (const std::string checked = CheckValueText(c, typed); checked != typed) {
                return Fail(kBadUsage,
                            "'" + value + "' does not fit " + c.LabelText() + " (at most " +
                                (ValueTypeRuleOf(c.valueType).input == ValueTypeRule::Input::Hex
                                     ? HexText(c.valueMax)
                                     : std::to_string(c.valueMax)) +
                                ")");
            }
            c.text = typed;
            break;
        }
        default:
            return Fail(kBadUsage, "this component holds no value");
    }
    if (!SaveParameterValues(pages, session.library->Directories().MenuIni())) {
        return Fail(kFailed, "cannot write " + session.library->Directories().MenuIni().string());
    }
    std::cout << pages.pages[static_cast<std::size_t>(page)].caption << " / " << c.caption << " = "
              << ShownValue(c) << '\n';
    return kSuccess;
}

}  // namespace

void AddOperationCommands(CLI::App& app, CliContext& context, int& exitCode) {
    static bool skipId = false;
    const auto operation = [&](const char* name, const char* help) {
        auto* command = app.add_subcommand(name, help);
        command->add_flag("--skip-id", skipId, "Do not check the chip's ID first");
        command->callback(
            [&context, &exitCode, name] { exitCode = SingleOperation(context, name, !skipId); });
    };
    operation("read", "Read the chip into the buffer");
    operation("verify", "Compare the chip with the buffer");
    operation("erase", "Erase the chip");
    operation("blank", "Check that the chip is erased");
    operation("program", "Program the buffer into the chip");
    operation("protect", "Write the protection set on the parameter pages");
    operation("unprotect", "Clear the chip's protection");

    auto* reset = app.add_subcommand("reset", "Pulse the target board's reset line");
    static std::optional<int> ms;
    static bool low = false, high = false;
    reset->add_option("--ms", ms, "Pulse length in milliseconds (default: the option, 500)");
    auto* lowFlag = reset->add_flag("--low", low, "The line idles low");
    reset->add_flag("--high", high, "The line idles high")->excludes(lowFlag);
    reset->callback([&] { exitCode = Reset(context, ms, low, high); });

    auto* run =
        app.add_subcommand("run", "Run steps in the order erase, blank, program, verify, protect");
    static std::string steps;
    run->add_option("STEPS", steps, "Comma-separated: erase,blank,program,verify,protect")
        ->required();
    run->add_flag("--skip-id", skipId, "Do not check the chip's ID first");
    run->callback([&] { exitCode = RunSteps(context, steps, !skipId); });

    auto* pages =
        app.add_subcommand("pages", "The selected device's parameter pages and their values");
    auto* set = pages->add_subcommand("set", "Change one value and save Menu.ini");
    static int page = 0, component = 0;
    static std::string value;
    set->add_option("PAGE", page)->required();
    set->add_option("COMPONENT", component)->required();
    set->add_option("VALUE", value)->required();
    set->callback([&] { exitCode = SetPageValue(context, page, component, value); });
    pages->callback([&, set] {
        if (set->parsed())
            return;
        exitCode = ShowPages(context);
    });
}

}  // namespace torq::cli
