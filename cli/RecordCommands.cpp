// torq-spi-cli record list / record report: the production record for scripts and a line's MES
// (CSV, or one JSON object per line), read while the window may be writing to it.
#include <cstdio>
#include <iostream>
#include <string>

#include "CliContext.h"
#include "torq/devlib/Text.h"
#include "torq/record/RecordStore.h"
#include "torq/workflow/ProductionRecorder.h"

namespace torq::cli {

namespace {

struct RecordOptions {
    std::string since, until, verdict, lot, device, checksum;
    std::size_t limit = 0;
    bool csv = false, json = false;
};

// The filter from the options; the dates are checked first.
int FilterOf(const RecordOptions& options, RecordFilter& filter) {
    for (const auto& [name, date] :
         {std::pair{"--since", &options.since}, std::pair{"--until", &options.until}}) {
        if (!date->empty() && !IsRecordDate(*date))
            return Fail(kBadUsage, std::string(name) + ": '" + *date +
                                       "' is not a date (YYYY-MM-DD, a local day)");
    }
    filter.since = options.since;
    filter.until = options.until;
    filter.verdict = ToUpper(options.verdict);
    filter.lot = options.lot;
    filter.device = options.device;
    filter.fileChecksum = options.checksum;
    return kSuccess;
}

// The database, when there is one: a missing file is an empty record, not an error.
int OpenRecord(CliContext& context, std::unique_ptr<RecordStore>& store) {
    if (const int code = LockHome(context, HomeAccess::Shared); code != kSuccess)
        return code;
    const std::filesystem::path file = context.Directories().DataFolder() / kProductionDatabaseName;
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return kSuccess;
    RecordStore::Opened opened =
        RecordStore::Open(file, [] { return FileTimeStamp(SystemClock::Instance().Now()); });
    if (opened.movedAside) {
        std::cerr << "The production record " << file.string() << " was damaged; it was kept as "
                  << opened.movedAside->string() << " and a new one started.\n";
    }
    if (!opened.store)
        return Fail(kFailed, "the production record " + file.string() + " cannot be opened (" +
                                 opened.error + ")");
    store = std::move(opened.store);
    return kSuccess;
}

// The filter checked, then the database opened (none when there is no record yet).
int OpenFiltered(CliContext& context, const RecordOptions& options, RecordFilter& filter,
                 std::unique_ptr<RecordStore>& store) {
    if (const int code = FilterOf(options, filter); code != kSuccess)
        return code;
    return OpenRecord(context, store);
}

std::string OneDecimal(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

int List(CliContext& context, const RecordOptions& options) {
    RecordFilter filter;
    std::unique_ptr<RecordStore> store;
    if (const int code = OpenFiltered(context, options, filter, store); code != kSuccess)
        return code;
    if (options.csv)
        std::cout << CsvHeaderLine();
    if (!store)
        return kSuccess;
    std::string error;
    const bool read = store->Walk(
        filter, options.limit, std::nullopt,
        [&](const ProductionRecord& r) {
            if (options.csv) {
                std::cout << CsvLine(r);
            } else if (options.json) {
                std::cout << JsonLine(r);
            } else {
                std::cout << r.id << "  " << r.timeLocal << "  unit " << r.unit << "  " << r.vendor
                          << ' ' << r.type << "  " << r.verdict;
                if (!r.failingStep.empty())
                    std::cout << " [" << r.failingStep << ']';
                if (!r.serial.empty())
                    std::cout << "  " << r.serial;
                std::cout << "  " << r.fileChecksum << "  " << r.workFile << '\n';
            }
            return static_cast<bool>(std::cout);
        },
        &error);
    std::cout << std::flush;
    if (!read)
        return Fail(kFailed, "the production record cannot be read (" + error + ")");
    return kSuccess;
}

int Report(CliContext& context, const RecordOptions& options) {
    RecordFilter filter;
    std::unique_ptr<RecordStore> store;
    if (const int code = OpenFiltered(context, options, filter, store); code != kSuccess)
        return code;
    const std::pair<ReportGroup, const char*> groups[] = {
        {ReportGroup::Day, "day"},
        {ReportGroup::Device, "device"},
        {ReportGroup::FileChecksum, "file checksum"},
        {ReportGroup::Unit, "unit"},
        {ReportGroup::Station, "station"}};
    for (const auto& [group, name] : groups) {
        const std::vector<YieldRow> rows =
            store ? store->Yield(group, filter) : std::vector<YieldRow>{};
        if (!options.json)
            std::cout << "Yield by " << name << ":\n";
        for (const YieldRow& row : rows) {
            if (options.json) {
                std::cout << "{\"group\":\"" << name << "\",\"key\":" << JsonQuoted(row.key)
                          << ",\"passed\":" << row.passed << ",\"failed\":" << row.failed
                          << ",\"stopped\":" << row.stopped
                          << ",\"yield_percent\":" << OneDecimal(row.YieldPercent()) << "}\n";
            } else {
                std::cout << "  " << row.key << "  passed " << row.passed << "  failed "
                          << row.failed << "  stopped " << row.stopped << "  yield "
                          << OneDecimal(row.YieldPercent()) << "%\n";
            }
        }
    }
    const std::vector<FailingStepRow> steps =
        store ? store->TopFailingSteps(filter, 5) : std::vector<FailingStepRow>{};
    if (!options.json)
        std::cout << "Top failing steps:\n";
    for (const FailingStepRow& row : steps) {
        if (options.json)
            std::cout << "{\"failing_step\":" << JsonQuoted(row.step) << ",\"count\":" << row.count
                      << "}\n";
        else
            std::cout << "  " << row.step << "  " << row.count << '\n';
    }
    std::cout << std::flush;
    return kSuccess;
}

void AddFilterOptions(CLI::App* command, RecordOptions& options) {
    command->add_option("--since", options.since, "From this local day on (YYYY-MM-DD)");
    command->add_option("--until", options.until, "Up to this local day (YYYY-MM-DD)");
    command->add_option("--lot", options.lot, "Only this lot");
    command->add_option("--device", options.device, "Only this type, or \"VENDOR TYPE\"");
    command->add_option("--checksum", options.checksum, "Only this file checksum (0x...)");
}

}  // namespace

void AddRecordCommands(CLI::App& app, CliContext& context, int& exitCode) {
    auto* record = app.add_subcommand("record", "The production record: a record per chip run");
    record->require_subcommand(1);
    static RecordOptions options;
    auto* list = record->add_subcommand("list", "The records, newest first");
    AddFilterOptions(list, options);
    list->add_option("--verdict", options.verdict, "Only this verdict: pass, fail or stopped")
        ->check(CLI::IsMember({"pass", "fail", "stopped"}, CLI::ignore_case));
    list->add_option("--limit", options.limit, "At most this many (default: all)");
    auto* csv = list->add_flag("--csv", options.csv, "As CSV (RFC 4180), with a header line");
    list->add_flag("--json", options.json, "One JSON object per line")->excludes(csv);
    list->callback([&] { exitCode = List(context, options); });

    auto* report = record->add_subcommand(
        "report", "Yield by day, device, file checksum, unit and station; the top failing steps");
    AddFilterOptions(report, options);
    report->add_flag("--json", options.json, "One JSON object per line");
    report->callback([&] { exitCode = Report(context, options); });
}

}  // namespace torq::cli
