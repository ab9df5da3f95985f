#include "torq/devlib/Options.h"

#include <algorithm>

#include "torq/devlib/Ini.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace {

int ClampToField(const NumericFieldRule& rule, int value) {
    return std::clamp(value, rule.minimum, rule.Maximum());
}

}  // namespace

int NumericFieldRule::Maximum() const {
    int maximum = 1;
    for (int i = 0; i < maxDigits; ++i)
        maximum *= 10;
    return maximum - 1;
}

std::string LogFileSettingShown(std::string_view stored) {
    // Relative (".\" or "./") and absolute ("C:\" or "/...") paths are taken as paths.
    const bool looksLikePath = Contains(stored, ".\\") || Contains(stored, ":\\") ||
                               Contains(stored, "./") || (!stored.empty() && stored.front() == '/');
    return looksLikePath ? std::string(stored) : std::string(kDefaultInfoLogFile);
}

Options LoadOptions(const std::filesystem::path& historyIni, InformationLog& log) {
    if (const auto kind = io::NonRegularKind(historyIni)) {
        log.WriteInfoLine("Error : " + io::NotRegularFileText(historyIni, *kind) +
                          ", the default options are used !");
    }
    return LoadOptions(historyIni);
}

Options LoadOptions(const std::filesystem::path& historyIni) {
    const IniFile ini(historyIni);
    const auto flag = [&](std::string_view key, bool fallback) {
        return ini.ReadBool(kOptionSection, key, fallback);
    };
    const auto number = [&](std::string_view key, const NumericFieldRule& rule) {
        const int value = ini.ReadInteger(kOptionSection, key, rule.defaultValue);
        return value <= 0 ? rule.defaultValue : ClampToField(rule, value);
    };
    Options o;
    o.emulatorWatch = flag("Emulator_Watch", true);
    // Read, but these steps are always checked.
    (void)flag("Emulator_LoadFile", true);
    (void)flag("Emulator_Erase", true);
    (void)flag("Emulator_Program", true);
    (void)flag("Programmer_LoadFile", true);
    o.emulatorVerify = flag("Emulator_Verify", true);
    o.emulatorReset = flag("Emulator_Reset", true);
    o.programmerErase = flag("Programmer_Erase", true);
    o.programmerCheck = flag("Programmer_Check", true);
    o.programmerProgram = flag("Programmer_Program", true);
    o.programmerVerify = flag("Programmer_Verify", true);
    o.programmerProtect = flag("Programmer_Protect", true);

    o.watchAutoReload = flag("WatchAutoReload_Checked", false);
    o.watchAutoProcedure = flag("WatchAutoProcedure_Checked", false);
    o.verifyErrorsListLimited = flag("VerifyErrorsList_Checked", true);
    o.verifyErrorsListLimit = number("VerifyErrorsList_Text", kVerifyErrorsField);
    o.infoMessageLimited = flag("InfoMessageLimit_Checked", true);
    o.infoMessageLimit = number("InfoMessageLimit_Text", kInfoMessageLimitField);
    o.infoMessageLimitSavesToFile = flag("InfoMessageLimit_RChecked", false);
    o.infoMessageLimitSaveFile = LogFileSettingShown(
        ini.ReadString(kOptionSection, "InfoMessageLimitSaveFile_Text", kDefaultInfoLogFile));
    o.resetNormalHigh = flag("ResetNorm_RChecked", true);
    o.resetTimeMs = number("ResetTime_Text", kResetTimeField);
    o.userTargetBoard = flag("UserTargetBoard_CheckBox", false);
    o.recordStopsRun = flag("ProductionRecordStop_Checked", true);
    o.station = ProductionText(ini.ReadString(kOptionSection, "ProductionStation_Text", ""));
    o.lot = ProductionText(ini.ReadString(kOptionSection, "ProductionLot_Text", ""));
    o.serial = ProductionText(ini.ReadString(kOptionSection, "ProductionSerial_Text", ""));
    o.recordMaxDays = std::clamp(ini.ReadInteger(kOptionSection, "ProductionRecordMaxDays_Text", 0),
                                 0, kRecordMaxDaysLimit);
    o.recordMaxMiB = std::clamp(ini.ReadInteger(kOptionSection, "ProductionRecordMaxMiB_Text", 0),
                                0, kRecordMaxMiBLimit);
    return o;
}

std::string ProductionText(std::string_view text) {
    std::string kept;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            kept += c;
        if (kept.size() == kProductionTextLimit)
            break;
    }
    return kept;
}

bool SaveOptions(const std::filesystem::path& historyIni, const Options& o, std::string* error) {
    IniFile ini(historyIni);
    const auto flag = [&](std::string_view key, bool value) {
        ini.WriteInteger(kOptionSection, key, value ? 1 : 0);
    };
    flag("WatchAutoReload_Checked", o.watchAutoReload);
    flag("WatchAutoProcedure_Checked", o.watchAutoProcedure);
    flag("VerifyErrorsList_Checked", o.verifyErrorsListLimited);
    ini.WriteInteger(kOptionSection, "VerifyErrorsList_Text",
                     ClampToField(kVerifyErrorsField, o.verifyErrorsListLimit));
    flag("InfoMessageLimit_Checked", o.infoMessageLimited);
    ini.WriteInteger(kOptionSection, "InfoMessageLimit_Text",
                     ClampToField(kInfoMessageLimitField, o.infoMessageLimit));
    flag("InfoMessageLimit_RChecked", o.infoMessageLimitSavesToFile);
    ini.WriteString(kOptionSection, "InfoMessageLimitSaveFile_Text", o.infoMessageLimitSaveFile);
    flag("ResetNorm_RChecked", o.resetNormalHigh);
    ini.WriteInteger(kOptionSection, "ResetTime_Text",
                     ClampToField(kResetTimeField, o.resetTimeMs));
    flag("UserTargetBoard_CheckBox", o.userTargetBoard);
    flag("ProductionRecordStop_Checked", o.recordStopsRun);
    ini.WriteString(kOptionSection, "ProductionStation_Text", ProductionText(o.station));
    ini.WriteString(kOptionSection, "ProductionLot_Text", ProductionText(o.lot));
    ini.WriteString(kOptionSection, "ProductionSerial_Text", ProductionText(o.serial));
    ini.WriteInteger(kOptionSection, "ProductionRecordMaxDays_Text",
                     std::clamp(o.recordMaxDays, 0, kRecordMaxDaysLimit));
    ini.WriteInteger(kOptionSection, "ProductionRecordMaxMiB_Text",
                     std::clamp(o.recordMaxMiB, 0, kRecordMaxMiBLimit));
    if (ini.Save())
        return true;
    if (error != nullptr)
        *error = ini.SaveError();
    return false;
}

bool NumericFieldAcceptsKey(char key) {
    return (key >= '0' && key <= '9') || key == '\b';
}

namespace {

// The value of the field's digits (cut to the field length); 0 when there are none.
int DigitsValue(const NumericFieldRule& rule, std::string_view text) {
    int value = 0;
    int digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            continue;
        if (digits++ == rule.maxDigits)
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

std::string NumericFieldAfterEdit(const NumericFieldRule& rule, std::string_view text) {
    const int value = DigitsValue(rule, text);
    if (value == 0)
        return std::to_string(rule.defaultValue);
    return std::string(text.substr(0, static_cast<std::size_t>(rule.maxDigits)));
}

LeaveResult NumericFieldOnLeave(const NumericFieldRule& rule, std::string_view text) {
    const int value = DigitsValue(rule, text);
    if (value == 0)
        return {std::to_string(rule.defaultValue), false};
    if (value < rule.minimum)
        return {std::to_string(rule.minimum), true};
    return {std::to_string(value), false};
}

int NumericFieldValue(const NumericFieldRule& rule, std::string_view text) {
    return ParseIniInteger(NumericFieldOnLeave(rule, text).text).value_or(rule.defaultValue);
}

}  // namespace torq
