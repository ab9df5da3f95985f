// The settings of the Options tab and the default states of the step check boxes, kept in the
// section "Option" of History.ini; and the rules of the three numeric option fields.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "torq/devlib/InformationLog.h"

namespace torq {

inline constexpr std::string_view kOptionSection = "Option";
inline constexpr std::string_view kDefaultInfoLogFile = ".Information.log";

struct Options {
    // Step check boxes (read, never written back). LoadFile, Erase and Program of the emulator
    // and LoadFile of the programmer are always checked.
    bool emulatorWatch = true;
    bool emulatorLoadFile = true;
    bool emulatorErase = true;
    bool emulatorProgram = true;
    bool emulatorVerify = true;
    bool emulatorReset = true;
    bool programmerLoadFile = true;
    bool programmerErase = true;
    bool programmerCheck = true;
    bool programmerProgram = true;
    bool programmerVerify = true;
    bool programmerProtect = true;

    // Written back when they change and at shutdown.
    bool watchAutoReload = false;
    bool watchAutoProcedure = false;
    bool verifyErrorsListLimited = true;
    int verifyErrorsListLimit = 100;
    bool infoMessageLimited = true;
    int infoMessageLimit = 5000;
    bool infoMessageLimitSavesToFile = false;  // "Save to file and clear the contents"
    std::string infoMessageLimitSaveFile{kDefaultInfoLogFile};
    bool resetNormalHigh = true;
    int resetTimeMs = 500;
    bool userTargetBoard = false;
    // The production record: a record that cannot be written fails the run; the station's name
    // (empty: the host name); the lot and serial written into each record ("{n}" in the serial
    // counts up within the lot); the caps on its age in days and its size in MiB (0: none).
    bool recordStopsRun = true;
    std::string station;
    std::string lot;
    std::string serial;
    int recordMaxDays = 0;
    int recordMaxMiB = 0;

    // The idle level sent with the target reset request: 1 for "Normal Low", 0 for "Normal High".
    int ResetIdleLevel() const { return resetNormalHigh ? 0 : 1; }

    bool operator==(const Options&) const = default;
};

// Reads the section "Option" with the read rules; a missing file or key gives the defaults.
Options LoadOptions(const std::filesystem::path& historyIni);
// The same, read without blocking: what is at the path and is not a regular file reads as the
// defaults, and the log says so.
Options LoadOptions(const std::filesystem::path& historyIni, InformationLog& log);
// Writes the keys that are written back (after the numeric fields' leave rule), keeping every
// other section and key of the file. False when the file could not be written, or was not read
// whole and is left as it is; `error` (when given) then says why.
bool SaveOptions(const std::filesystem::path& historyIni, const Options& options,
                 std::string* error = nullptr);

// A log-file setting is shown only when it looks like a path; otherwise the default name is used.
std::string LogFileSettingShown(std::string_view stored);

// The longest station, lot or serial text kept; control characters are taken out.
inline constexpr std::size_t kProductionTextLimit = 128;
std::string ProductionText(std::string_view text);
inline constexpr int kRecordMaxDaysLimit = 36500;
inline constexpr int kRecordMaxMiBLimit = 1048576;

// The three numeric option fields.
struct NumericFieldRule {
    int defaultValue;
    int minimum;
    int maxDigits;
    int Maximum() const;
};
inline constexpr NumericFieldRule kVerifyErrorsField{100, 1, 3};
inline constexpr NumericFieldRule kResetTimeField{500, 50, 4};
inline constexpr NumericFieldRule kInfoMessageLimitField{5000, 500, 5};

// Only digits and backspace are accepted.
bool NumericFieldAcceptsKey(char key);
// After an edit: an empty or zero value is never left; the field's default is put in instead.
std::string NumericFieldAfterEdit(const NumericFieldRule& rule, std::string_view text);
// On leaving the field: a value below the minimum becomes the minimum (and the field takes the
// focus back); digits beyond the field length are cut.
struct LeaveResult {
    std::string text;
    bool refocus = false;
};
LeaveResult NumericFieldOnLeave(const NumericFieldRule& rule, std::string_view text);
// The value a numeric field holds, with the leave rule applied.
int NumericFieldValue(const NumericFieldRule& rule, std::string_view text);

}  // namespace torq
