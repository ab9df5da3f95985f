// The production record: one row per socket run, written when its verdict is known, so that a
// line can say afterwards which chips passed, with which image, when, on which station and unit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torq {

struct StepRecord {
    std::string step;    // the step's log name: "Erase", "Blank Check", ...
    std::string result;  // "Pass", "Fail" or "Stopped"
    double seconds = 0;
    bool operator==(const StepRecord&) const = default;
};

struct ProductionRecord {
    std::int64_t id = 0;    // the database's number, once written
    std::string timeUtc;    // "2026-12-11T16:05:54Z"
    std::string timeLocal;  // "2026-12-11 17:05:54"
    std::string station;
    int unit = 1;
    std::string programmerPath;  // where the programmer sits on the USB bus ("1-2")
    std::string firmware;
    std::string vendor, type;
    std::string chipId;  // as the identity check read it ("EF3011"); empty when none was read
    std::string workFile;
    std::string fileChecksum;  // of the image in the buffer ("0x12345678")
    std::string icChecksum;    // of the chip: after a passed verify or a read
    std::vector<StepRecord> steps;
    std::string failingStep;
    std::string failingLine;  // the log line that told why
    std::uint32_t durationMs = 0;
    std::string verdict;  // "PASS", "FAIL" or "STOPPED"
    std::string lot, serial;
    bool operator==(const ProductionRecord&) const = default;
};

// Which records a list, a count or a report takes. Empty fields take every record; the dates
// are local days ("2026-12-11"), both ends included.
struct RecordFilter {
    std::string since{}, until{};
    std::string verdict{};  // "PASS", "FAIL" or "STOPPED"
    std::string device{};   // a type, or "Vendor Type"
    std::string fileChecksum{};
    std::string lot{};
};

// "YYYY-MM-DD" with a real month and day; for the filters' dates.
bool IsRecordDate(std::string_view text);

// Steps as one text ("Erase=Pass:1.234;Program=Fail:0.500") for the CSV and the database, and
// back; a text that does not parse gives no steps.
std::string StepsText(const std::vector<StepRecord>& steps);
std::vector<StepRecord> ParseStepsText(std::string_view text);

// The CSV of the records (RFC 4180: a field with a comma, a quote or a line break is quoted, its
// quotes doubled; lines end with CRLF) and one JSON object per line.
std::string CsvHeaderLine();
std::string CsvLine(const ProductionRecord& record);
std::string JsonLine(const ProductionRecord& record);
// A JSON string with its quotes: control characters escaped, and bytes that are not UTF-8 (a
// file name may hold any) replaced by U+FFFD so the line stays valid JSON.
std::string JsonQuoted(std::string_view text);

}  // namespace torq
