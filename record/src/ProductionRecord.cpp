#include "torq/record/ProductionRecord.h"

#include <charconv>
#include <cstdio>

namespace torq {

namespace {

bool Digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.empty();
}

int Number(std::string_view digits) {
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

}  // namespace

// A JSON string: control characters escaped, and bytes that are not UTF-8 (a file name may hold
// any) replaced by U+FFFD so the line stays valid JSON.
std::string JsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (c < 0x20) {
                        char escaped[8];
                        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                        out += escaped;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        // The length of a well-formed UTF-8 sequence starting here, or 0.
        std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                             : c >= 0xE0 && c <= 0xEF ? 3
                             : c >= 0xF0 && c <= 0xF4 ? 4
                                                      : 0;
        if (length > 0 && i + length <= text.size()) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            bool valid = (second & 0xC0) == 0x80;
            if (c == 0xE0 && second < 0xA0)
                valid = false;  // overlong
            if (c == 0xED && second > 0x9F)
                valid = false;  // a surrogate
            if (c == 0xF0 && second < 0x90)
                valid = false;  // overlong
            if (c == 0xF4 && second > 0x8F)
                valid = false;  // past U+10FFFF
            for (std::size_t k = 2; valid && k < length; ++k)
                valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            if (valid) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        out += "\xEF\xBF\xBD";
        ++i;
    }
    out += '"';
    return out;
}

bool IsRecordDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text.substr(0, 4)) ||
        !Digits(text.substr(5, 2)) || !Digits(text.substr(8, 2))) {
        return false;
    }
    const int year = Number(text.substr(0, 4));
    const int month = Number(text.substr(5, 2));
    const int day = Number(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] && (month != 2 || day <= (leap ? 29 : 28));
}

std::string StepsText(const std::vector<StepRecord>& steps) {
    std::string text;
    for (const StepRecord& step : steps) {
        if (!text.empty())
            text += ';';
        text += step.step + '=' + step.result + ':' + SecondsText(step.seconds);
    }
    return text;
}

std::vector<StepRecord> ParseStepsText(std::string_view text) {
    std::vector<StepRecord> steps;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view item = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::size_t equals = item.find('=');
        const std::size_t colon = item.rfind(':');
        if (equals == std::string_view::npos || colon == std::string_view::npos || colon < equals)
            return {};
        StepRecord step;
        step.step = std::string(item.substr(0, equals));
        step.result = std::string(item.substr(equals + 1, colon - equals - 1));
        const std::string seconds(item.substr(colon + 1));
        char* parsedEnd = nullptr;
        step.seconds = std::strtod(seconds.c_str(), &parsedEnd);
        if (seconds.empty() || parsedEnd != seconds.c_str() + seconds.size() ||
            !(step.seconds >= 0)) {
            return {};
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

std::string CsvHeaderLine() {
    return "id,time_utc,time_local,station,unit,programmer_path,firmware,vendor,type,chip_id,"
           "work_file,file_checksum,ic_checksum,steps,failing_step,failing_line,duration_s,"
           "verdict,lot,serial\r\n";
}

std::string CsvLine(const ProductionRecord& r) {
    std::string line = std::to_string(r.id);
    for (const std::string& field :
         {r.timeUtc, r.timeLocal, r.station, std::to_string(r.unit), r.programmerPath, r.firmware,
          r.vendor, r.type, r.chipId, r.workFile, r.fileChecksum, r.icChecksum, StepsText(r.steps),
          r.failingStep, r.failingLine, SecondsText(r.durationMs / 1000.0), r.verdict, r.lot,
          r.serial}) {
        line += ',';
        line += CsvField(field);
    }
    line += "\r\n";
    return line;
}

std::string JsonLine(const ProductionRecord& r) {
    std::string line = "{\"id\":" + std::to_string(r.id);
    const auto text = [&](const char* name, const std::string& value) {
        line += ",\"";
        line += name;
        line += "\":";
        line += JsonQuoted(value);
    };
    text("time_utc", r.timeUtc);
    text("time_local", r.timeLocal);
    text("station", r.station);
    line += ",\"unit\":" + std::to_string(r.unit);
    text("programmer_path", r.programmerPath);
    text("firmware", r.firmware);
    text("vendor", r.vendor);
    text("type", r.type);
    text("chip_id", r.chipId);
    text("work_file", r.workFile);
    text("file_checksum", r.fileChecksum);
    text("ic_checksum", r.icChecksum);
    line += ",\"steps\":[";
    for (std::size_t i = 0; i < r.steps.size(); ++i) {
        if (i > 0)
            line += ',';
        line += "{\"step\":" + JsonQuoted(r.steps[i].step) +
                ",\"result\":" + JsonQuoted(r.steps[i].result) +
                ",\"seconds\":" + SecondsText(r.steps[i].seconds) + '}';
    }
    line += ']';
    text("failing_step", r.failingStep);
    text("failing_line", r.failingLine);
    line += ",\"duration_s\":" + SecondsText(r.durationMs / 1000.0);
    text("verdict", r.verdict);
    text("lot", r.lot);
    text("serial", r.serial);
    line += "}\n";
    return line;
}

}  // namespace torq
