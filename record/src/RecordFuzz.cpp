#include "torq/record/RecordFuzz.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "torq/record/RecordStore.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

fs::path ScratchFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "torq-record-fuzz.XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr)
            std::abort();
        return fs::path(made);
    }();
    return folder;
}

}  // namespace

void FuzzRecordFile(const std::uint8_t* data, std::size_t size) {
    const fs::path folder = ScratchFolder();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        fs::remove(entry.path(), ec);
    const fs::path file = folder / "production.db";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    RecordStore::Opened opened = RecordStore::Open(file, [] { return std::string("fuzz"); });
    if (!opened.store) {
        if (opened.error.empty())
            std::abort();  // no store must come with its reason
        return;
    }
    RecordStore& store = *opened.store;
    RecordFilter every;
    store.Page(every, 50);
    store.Count(every);
    for (const ReportGroup group :
         {ReportGroup::Day, ReportGroup::Device, ReportGroup::FileChecksum, ReportGroup::Unit,
          ReportGroup::Station}) {
        store.Yield(group, every);
    }
    store.TopFailingSteps(every, 5);
    ProductionRecord record;
    record.timeLocal = "2026-12-11 10:00:00";
    record.verdict = "PASS";
    std::string error;
    store.Insert(record, &error);
    store.Page(every, 5);
}

}  // namespace torq
