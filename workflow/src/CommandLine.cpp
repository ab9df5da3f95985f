#include "torq/workflow/CommandLine.h"

#include <system_error>

#include "torq/devlib/Text.h"

namespace torq {

namespace fs = std::filesystem;

ParameterKind ClassifyParameter(std::string_view parameter, ParameterSource source) {
    if (parameter.empty() || parameter.front() != '-')
        return ParameterKind::FileName;
    if (parameter.size() < 2)
        return ParameterKind::BadOption;
    const char second =
        source == ParameterSource::OwnProcess ? ToUpper(parameter.substr(1, 1))[0] : parameter[1];
    if (second == 'H' || second == '?')
        return ParameterKind::Help;
    if (second == 'B')
        return ParameterKind::Tones;
    return ParameterKind::BadOption;
}

std::string HandOverText(std::span<const std::string> parameters) {
    if (parameters.empty())
        return {};
    return parameters.back() + " ";
}

CommandLine::CommandLine(fs::path programDirectory, std::string programFileName,
                         InformationLog& log)
    : programDirectory_(std::move(programDirectory)),
      programFileName_(std::move(programFileName)),
      log_(log) {}

fs::path CommandLine::AbsoluteFileName(std::string_view name) const {
    const fs::path path(name);
    if (!path.has_parent_path())
        return programDirectory_ / path;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute;
}

void CommandLine::Process(std::string_view parameter, ParameterSource source,
                          CommandLineResult& result, CommandLineActions* actions) {
    const auto bad = [&] {
        messages_.push_back(std::string(kBadOptionPrefix).append(parameter));
        messages_.emplace_back(kBadOptionError);
    };
    switch (ClassifyParameter(parameter, source)) {
        case ParameterKind::Help:
            messages_.push_back(std::string(kGoodOptionPrefix).append(parameter));
            messages_.push_back("Usage : " + programFileName_ + " [option(s)...] [filename]");
            messages_.emplace_back(kHelpOptionLine);
            messages_.emplace_back(kBeepOptionLine);
            break;
        case ParameterKind::Tones:
            messages_.push_back(std::string(kGoodOptionPrefix).append(parameter));
            messages_.emplace_back(kBeepUsageLine);
            result.tones = true;
            if (actions != nullptr)
                actions->PlayTones();
            break;
        case ParameterKind::BadOption:
            bad();
            break;
        case ParameterKind::FileName: {
            // A hand-over carries one blank after the name.
            std::string_view name = parameter;
            if (source == ParameterSource::HandedOver && name.ends_with(' '))
                name.remove_suffix(1);
            const fs::path file = name.empty() ? fs::path() : AbsoluteFileName(name);
            std::error_code error;
            if (!name.empty() && fs::is_regular_file(file, error)) {
                result.fileToLoad = file;
                if (actions != nullptr)
                    actions->LoadFile(file);
            } else {
                bad();
            }
            break;
        }
    }
    if (messages_.empty())
        return;
    std::string entry;
    for (const std::string& line : messages_)
        entry.append(line).append("\n");
    log_.WriteInfoLine(entry);
}

CommandLineResult CommandLine::ProcessOwnParameters(std::span<const std::string> parameters,
                                                    CommandLineActions* actions) {
    messages_.clear();
    CommandLineResult result;
    for (const std::string& parameter : parameters)
        Process(parameter, ParameterSource::OwnProcess, result, actions);
    return result;
}

CommandLineResult CommandLine::ProcessHandedOver(std::string_view text,
                                                 CommandLineActions* actions) {
    CommandLineResult result;
    if (text.empty())
        return result;
    // A hand-over starts its own list: carried over, every earlier name would be logged again
    // with each new one, and a run of bad hand-overs would grow the log with their square.
    messages_.clear();
    Process(text, ParameterSource::HandedOver, result, actions);
    return result;
}

}  // namespace torq
