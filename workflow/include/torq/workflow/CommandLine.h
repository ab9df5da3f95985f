// The command line of the program and the parameter a second start hands over to the first: which
// parameters are options, which name a file, the messages they leave in the log, and which file
// is to be loaded into unit 1, socket 1.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/InformationLog.h"

namespace torq {

inline constexpr std::string_view kGoodOptionPrefix = "Good option : ";
inline constexpr std::string_view kBadOptionPrefix = "Bad option : ";
inline constexpr std::string_view kBadOptionError = "Error : Bad option was specified";
inline constexpr std::string_view kHelpOptionLine = "  -h|?           prints this help";
inline constexpr std::string_view kBeepOptionLine =
    "  -b             generates simple tones on the speaker";
inline constexpr std::string_view kBeepUsageLine = "Usage : Beep(2500,300); Beep(5000,300);";

// Where a parameter comes from: the process's own parameters have the letters a-z folded to upper
// case before the test ("-h" works); a handed-over text is tested as it is (only "-H", "-B", "-?").
enum class ParameterSource { OwnProcess, HandedOver };
enum class ParameterKind { Help, Tones, BadOption, FileName };

ParameterKind ClassifyParameter(std::string_view parameter, ParameterSource source);

// The text a second start hands over: its last parameter followed by one blank; empty without
// parameters.
std::string HandOverText(std::span<const std::string> parameters);

struct CommandLineResult {
    std::optional<std::filesystem::path> fileToLoad;  // the last existing file named
    bool tones = false;                               // "-b" was given
};

// What the parameters ask for, done as each parameter comes: a file is loaded, and "-b" sounds,
// before the parameter's messages are logged and the next parameter is looked at.
class CommandLineActions {
  public:
    virtual ~CommandLineActions() = default;
    virtual void LoadFile(const std::filesystem::path& /*file*/) {}
    virtual void PlayTones() {}
};

class CommandLine {
  public:
    // `programDirectory` completes file names without a directory part; `programFileName` (the
    // executable's name without directory) appears in the usage line.
    CommandLine(std::filesystem::path programDirectory, std::string programFileName,
                InformationLog& log);

    // The process's own parameters: the message list is cleared first, then after each parameter
    // the whole list so far, when not empty, is written to the log as one time-stamped entry.
    CommandLineResult ProcessOwnParameters(std::span<const std::string> parameters,
                                           CommandLineActions* actions = nullptr);
    // A text handed over by a second start: its own list (each name is logged once, not again
    // with every later hand-over). An empty text (a second start without parameters) only brings
    // the window to the front: it changes nothing here.
    CommandLineResult ProcessHandedOver(std::string_view text,
                                        CommandLineActions* actions = nullptr);

    const std::vector<std::string>& Messages() const { return messages_; }

  private:
    void Process(std::string_view parameter, ParameterSource source, CommandLineResult& result,
                 CommandLineActions* actions);
    std::filesystem::path AbsoluteFileName(std::string_view name) const;

    std::filesystem::path programDirectory_;
    std::string programFileName_;
    InformationLog& log_;
    std::vector<std::string> messages_;
};

}  // namespace torq
