#include "torq/record/RecordStore.h"

#include <sqlite3.h>

#include <system_error>
#include <utility>

namespace torq {

namespace fs = std::filesystem;

namespace {

// The schema, one step per version; a database at version N runs the steps after N.
constexpr const char* kMigrations[] = {
    // 1: the records, and the counts per day that reports read and pruning keeps.
    R"sql(
CREATE TABLE record (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    time_utc TEXT NOT NULL,
    time_local TEXT NOT NULL,
    day TEXT NOT NULL,
    station TEXT NOT NULL,
    unit INTEGER NOT NULL,
    programmer_path TEXT NOT NULL,
    firmware TEXT NOT NULL,
    vendor TEXT NOT NULL,
    type TEXT NOT NULL,
    chip_id TEXT NOT NULL,
    work_file TEXT NOT NULL,
    file_checksum TEXT NOT NULL,
    ic_checksum TEXT NOT NULL,
    steps TEXT NOT NULL,
    failing_step TEXT NOT NULL,
    failing_line TEXT NOT NULL,
    duration_ms INTEGER NOT NULL,
    verdict TEXT NOT NULL,
    lot TEXT NOT NULL,
    serial TEXT NOT NULL);
CREATE INDEX record_day ON record(day);
CREATE INDEX record_lot ON record(lot);
CREATE TABLE tally (
    day TEXT NOT NULL,
    station TEXT NOT NULL,
    unit INTEGER NOT NULL,
    vendor TEXT NOT NULL,
    type TEXT NOT NULL,
    file_checksum TEXT NOT NULL,
    lot TEXT NOT NULL,
    verdict TEXT NOT NULL,
    failing_step TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (day, station, unit, vendor, type, file_checksum, lot, verdict, failing_step))
    WITHOUT ROWID;
)sql",
};
static_assert(std::size(kMigrations) == kRecordSchemaVersion);

constexpr int kBusyTimeoutMs = 10000;

std::string Message(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

bool Damaged(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        code_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return code_ == SQLITE_OK && stmt_ != nullptr; }
    int Code() const { return code_; }
    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() {
        code_ = sqlite3_step(stmt_);
        return code_;
    }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text != nullptr
                   ? std::string(reinterpret_cast<const char*>(text),
                                 static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                   : std::string();
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = SQLITE_OK;
};

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The filter as a WHERE clause over a table with the record's columns, and its values in order.
struct Where {
    std::string clause;
    std::vector<std::string> values;
};
Where WhereOf(const RecordFilter& filter, bool withVerdict) {
    Where where;
    const auto add = [&](const std::string& condition, const std::string& value, int uses = 1) {
        where.clause += where.clause.empty() ? " WHERE " : " AND ";
        where.clause += condition;
        for (int i = 0; i < uses; ++i)
            where.values.push_back(value);
    };
    if (!filter.since.empty())
        add("day >= ?", filter.since);
    if (!filter.until.empty())
        add("day <= ?", filter.until);
    if (withVerdict && !filter.verdict.empty())
        add("verdict = ?", filter.verdict);
    if (!filter.device.empty())
        add("(type = ? OR vendor || ' ' || type = ?)", filter.device, 2);
    if (!filter.fileChecksum.empty())
        add("file_checksum = ?", filter.fileChecksum);
    if (!filter.lot.empty())
        add("lot = ?", filter.lot);
    return where;
}

constexpr const char* kColumns =
    "id, time_utc, time_local, station, unit, programmer_path, firmware, vendor, type, chip_id, "
    "work_file, file_checksum, ic_checksum, steps, failing_step, failing_line, duration_ms, "
    "verdict, lot, serial";

ProductionRecord RowOf(const Statement& row) {
    ProductionRecord r;
    r.id = row.Int(0);
    r.timeUtc = row.Text(1);
    r.timeLocal = row.Text(2);
    r.station = row.Text(3);
    r.unit = static_cast<int>(row.Int(4));
    r.programmerPath = row.Text(5);
    r.firmware = row.Text(6);
    r.vendor = row.Text(7);
    r.type = row.Text(8);
    r.chipId = row.Text(9);
    r.workFile = row.Text(10);
    r.fileChecksum = row.Text(11);
    r.icChecksum = row.Text(12);
    r.steps = ParseStepsText(row.Text(13));
    r.failingStep = row.Text(14);
    r.failingLine = row.Text(15);
    const std::int64_t duration = row.Int(16);
    r.durationMs =
        duration < 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(duration, UINT32_MAX));
    r.verdict = row.Text(17);
    r.lot = row.Text(18);
    r.serial = row.Text(19);
    return r;
}

// The local day of a "YYYY-MM-DD hh:mm:ss" time.
std::string DayOf(const std::string& timeLocal) {
    return timeLocal.substr(0, 10);
}

// A damaged database and its journal files moved aside under one time-stamped name.
std::optional<fs::path> MoveAside(const fs::path& file, const std::string& stamp,
                                  std::string* error) {
    fs::path aside = file;
    aside += ".damaged-" + stamp;
    for (int n = 2; fs::exists(aside); ++n) {
        aside = file;
        aside += ".damaged-" + stamp + "-" + std::to_string(n);
    }
    std::error_code ec;
    fs::rename(file, aside, ec);
    if (ec) {
        if (error != nullptr)
            *error = "the damaged file cannot be moved aside (" + ec.message() + ")";
        return std::nullopt;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        fs::path journal = file;
        journal += suffix;
        if (fs::exists(journal, ec)) {
            fs::path journalAside = aside;
            journalAside += suffix;
            fs::rename(journal, journalAside, ec);
        }
    }
    return aside;
}

// Opens and prepares one database file: nullptr with the reason and the SQLite code. The
// connection is closed with sqlite3_close_v2, which waits for a statement still open on a
// failure path instead of leaving the connection behind.
sqlite3* OpenFile(const fs::path& file, std::string* error, int* code) {
    sqlite3* db = nullptr;
    *code = sqlite3_open_v2(file.c_str(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr);
    if (*code != SQLITE_OK) {
        *error = Message(db);
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    int version = 0;
    {
        Statement query(db, "PRAGMA user_version");
        *code = query.Ok() ? query.Step() : query.Code();
        if (*code != SQLITE_ROW) {
            *error = Message(db);
            sqlite3_close_v2(db);
            return nullptr;
        }
        version = static_cast<int>(query.Int(0));
    }
    if (version > kRecordSchemaVersion) {
        *error = "it was written by a newer TORQ-SPI (record version " + std::to_string(version) +
                 ", this one knows up to " + std::to_string(kRecordSchemaVersion) +
                 "); it is left as it is";
        *code = SQLITE_OK;
        sqlite3_close_v2(db);
        return nullptr;
    }
    if (sqlite3_db_readonly(db, "main") == 0) {
        // WAL: readers never wait for the writer; FULL: a commit is on the disk when it returns.
        Exec(db, "PRAGMA journal_mode=WAL");
        Exec(db, "PRAGMA synchronous=FULL");
        if (version < kRecordSchemaVersion) {
            *code = Exec(db, "BEGIN IMMEDIATE");
            for (int step = version; *code == SQLITE_OK && step < kRecordSchemaVersion; ++step)
                *code = Exec(db, kMigrations[step]);
            if (*code == SQLITE_OK) {
                const std::string setVersion =
                    "PRAGMA user_version=" + std::to_string(kRecordSchemaVersion);
                *code = Exec(db, setVersion.c_str());
            }
            if (*code == SQLITE_OK)
                *code = Exec(db, "COMMIT");
            if (*code != SQLITE_OK) {
                *error = Message(db);
                Exec(db, "ROLLBACK");
                sqlite3_close_v2(db);
                return nullptr;
            }
        }
    } else if (version < kRecordSchemaVersion) {
        *error = "it is read-only and has no records yet";
        *code = SQLITE_READONLY;
        sqlite3_close_v2(db);
        return nullptr;
    }
    // A file that is not a database or whose schema pages are damaged shows here.
    Statement check(db, "SELECT count(*) FROM sqlite_master");
    *code = check.Ok() ? check.Step() : check.Code();
    if (*code != SQLITE_ROW) {
        *error = Message(db);
        sqlite3_close_v2(db);
        return nullptr;
    }
    *code = SQLITE_OK;
    return db;
}

}  // namespace

double YieldRow::YieldPercent() const {
    const std::uint64_t decided = passed + failed;
    return decided == 0 ? 0.0 : 100.0 * static_cast<double>(passed) / static_cast<double>(decided);
}

RecordStore::Opened RecordStore::Open(const fs::path& file, Stamp stamp) {
    Opened opened;
    std::error_code ec;
    if (fs::exists(file, ec) && !fs::is_regular_file(file, ec)) {
        opened.error = "it is not a regular file";
        return opened;
    }
    int code = SQLITE_OK;
    sqlite3* db = OpenFile(file, &opened.error, &code);
    if (db == nullptr && Damaged(code)) {
        std::string moveError;
        opened.movedAside = MoveAside(file, stamp ? stamp() : "unknown", &moveError);
        if (!opened.movedAside) {
            opened.error += "; " + moveError;
            return opened;
        }
        opened.error.clear();
        db = OpenFile(file, &opened.error, &code);
    }
    if (db == nullptr)
        return opened;
    opened.store.reset(new RecordStore(file, db, std::move(stamp)));
    return opened;
}

RecordStore::RecordStore(fs::path file, sqlite3* db, Stamp stamp)
    : file_(std::move(file)), db_(db), stamp_(std::move(stamp)) {}

RecordStore::~RecordStore() {
    sqlite3_close_v2(db_);
}

std::optional<fs::path> RecordStore::TakeMovedAside() {
    const std::lock_guard lock(mutex_);
    return std::exchange(movedAside_, std::nullopt);
}

bool RecordStore::InsertLocked(ProductionRecord& record, std::string* error, int* code) {
    const auto fail = [&](int failed) {
        *code = failed;
        if (error != nullptr)
            *error = Message(db_);
        Exec(db_, "ROLLBACK");
        return false;
    };
    *code = Exec(db_, "BEGIN IMMEDIATE");
    if (*code != SQLITE_OK) {
        if (error != nullptr)
            *error = Message(db_);
        return false;
    }
    // "{n}" in the serial: the lot's records so far plus one, counted inside this transaction
    // (so two writers never take the same number) from the counts that pruning keeps.
    const std::size_t counter = record.serial.find("{n}");
    if (counter != std::string::npos) {
        Statement count(db_, "SELECT coalesce(sum(count), 0) FROM tally WHERE lot = ?");
        if (!count.Ok())
            return fail(count.Code());
        count.Bind(1, record.lot);
        if (count.Step() != SQLITE_ROW)
            return fail(count.Code());
        record.serial.replace(counter, 3, std::to_string(count.Int(0) + 1));
    }
    Statement insert(db_,
                     "INSERT INTO record (time_utc, time_local, day, station, unit, "
                     "programmer_path, firmware, vendor, type, chip_id, work_file, file_checksum, "
                     "ic_checksum, steps, failing_step, failing_line, duration_ms, verdict, lot, "
                     "serial) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    if (!insert.Ok())
        return fail(insert.Code());
    const std::string day = DayOf(record.timeLocal);
    int i = 1;
    for (const std::string* text : std::initializer_list<const std::string*>{
             &record.timeUtc, &record.timeLocal, &day, &record.station}) {
        insert.Bind(i++, *text);
    }
    insert.Bind(i++, static_cast<std::int64_t>(record.unit));
    const std::string steps = StepsText(record.steps);
    for (const std::string* text : std::initializer_list<const std::string*>{
             &record.programmerPath, &record.firmware, &record.vendor, &record.type, &record.chipId,
             &record.workFile, &record.fileChecksum, &record.icChecksum, &steps,
             &record.failingStep, &record.failingLine}) {
        insert.Bind(i++, *text);
    }
    insert.Bind(i++, static_cast<std::int64_t>(record.durationMs));
    for (const std::string* text :
         std::initializer_list<const std::string*>{&record.verdict, &record.lot, &record.serial})
        insert.Bind(i++, *text);
    if (insert.Step() != SQLITE_DONE)
        return fail(insert.Code());
    const std::int64_t id = sqlite3_last_insert_rowid(db_);

    Statement tally(db_,
                    "INSERT INTO tally (day, station, unit, vendor, type, file_checksum, lot, "
                    "verdict, failing_step, count) VALUES (?,?,?,?,?,?,?,?,?,1) "
                    "ON CONFLICT DO UPDATE SET count = count + 1");
    if (!tally.Ok())
        return fail(tally.Code());
    i = 1;
    tally.Bind(i++, day);
    tally.Bind(i++, record.station);
    tally.Bind(i++, static_cast<std::int64_t>(record.unit));
    for (const std::string* text : std::initializer_list<const std::string*>{
             &record.vendor, &record.type, &record.fileChecksum, &record.lot, &record.verdict,
             &record.failingStep}) {
        tally.Bind(i++, *text);
    }
    if (tally.Step() != SQLITE_DONE)
        return fail(tally.Code());
    *code = Exec(db_, "COMMIT");
    if (*code != SQLITE_OK)
        return fail(*code);
    record.id = id;
    return true;
}

bool RecordStore::Insert(ProductionRecord& record, std::string* error) {
    const std::lock_guard lock(mutex_);
    int code = SQLITE_OK;
    const std::string serial = record.serial;
    if (InsertLocked(record, error, &code))
        return true;
    record.serial = serial;
    if (!Damaged(code))
        return false;
    // A damaged database: kept aside, and the record goes to a new one.
    std::string reason;
    const auto aside = MoveAside(file_, stamp_ ? stamp_() : "unknown", &reason);
    if (!aside) {
        if (error != nullptr)
            *error += "; " + reason;
        return false;
    }
    sqlite3_close_v2(db_);
    db_ = OpenFile(file_, &reason, &code);
    if (db_ == nullptr) {
        // Nothing to write to: a new connection on an empty in-memory database keeps the
        // object usable and every later insert failing with the reason.
        sqlite3_open(":memory:", &db_);
        Exec(db_, "PRAGMA query_only=1");
        if (error != nullptr)
            *error = "a new record cannot be started (" + reason + ")";
        movedAside_ = aside;
        return false;
    }
    movedAside_ = aside;
    return InsertLocked(record, error, &code);
}

bool RecordStore::CheckWritable(std::string* error) {
    const std::lock_guard lock(mutex_);
    if (sqlite3_db_readonly(db_, "main") != 0) {
        if (error != nullptr)
            *error = "the file is read-only";
        return false;
    }
    // The write lock taken and given back: a locked or unwritable file shows here.
    if (Exec(db_, "BEGIN IMMEDIATE") != SQLITE_OK) {
        if (error != nullptr)
            *error = Message(db_);
        return false;
    }
    Exec(db_, "ROLLBACK");
    std::error_code ec;
    if (!fs::exists(file_, ec)) {
        if (error != nullptr)
            *error = "the file is gone";
        return false;
    }
    return true;
}

bool RecordStore::Walk(const RecordFilter& filter, std::size_t limit,
                       std::optional<std::int64_t> beforeId,
                       const std::function<bool(const ProductionRecord&)>& each,
                       std::string* error) {
    const std::lock_guard lock(mutex_);
    Where where = WhereOf(filter, true);
    std::string sql = std::string("SELECT ") + kColumns + " FROM record" + where.clause;
    // With dates the day's index gives the order (a day, then the records as written), so a page
    // never sorts every record of the range.
    const bool byDay = !filter.since.empty() || !filter.until.empty();
    if (beforeId) {
        sql += where.clause.empty() ? " WHERE " : " AND ";
        sql += byDay ? "(day < (SELECT day FROM record WHERE id = ?) OR "
                       "(day = (SELECT day FROM record WHERE id = ?) AND id < ?))"
                     : "id < ?";
    }
    sql += byDay ? " ORDER BY day DESC, id DESC" : " ORDER BY id DESC";
    if (limit > 0)
        sql += " LIMIT " + std::to_string(limit);
    Statement query(db_, sql);
    if (!query.Ok()) {
        if (error != nullptr)
            *error = Message(db_);
        return false;
    }
    int i = 1;
    for (const std::string& value : where.values)
        query.Bind(i++, value);
    for (int uses = beforeId ? (byDay ? 3 : 1) : 0; uses > 0; --uses)
        query.Bind(i++, *beforeId);
    int code = SQLITE_OK;
    while ((code = query.Step()) == SQLITE_ROW) {
        if (!each(RowOf(query)))
            return true;
    }
    if (code != SQLITE_DONE) {
        if (error != nullptr)
            *error = Message(db_);
        return false;
    }
    return true;
}

std::vector<ProductionRecord> RecordStore::Page(const RecordFilter& filter, std::size_t limit,
                                                std::optional<std::int64_t> beforeId) {
    std::vector<ProductionRecord> page;
    Walk(
        filter, limit, beforeId,
        [&](const ProductionRecord& record) {
            page.push_back(record);
            return true;
        },
        nullptr);
    return page;
}

std::uint64_t RecordStore::Count(const RecordFilter& filter) {
    const std::lock_guard lock(mutex_);
    const Where where = WhereOf(filter, true);
    Statement query(db_, "SELECT count(*) FROM record" + where.clause);
    if (!query.Ok())
        return 0;
    int i = 1;
    for (const std::string& value : where.values)
        query.Bind(i++, value);
    return query.Step() == SQLITE_ROW ? static_cast<std::uint64_t>(query.Int(0)) : 0;
}

std::vector<YieldRow> RecordStore::Yield(ReportGroup group, const RecordFilter& filter) {
    const std::lock_guard lock(mutex_);
    const char* key = "day";
    switch (group) {
        case ReportGroup::Day:
            key = "day";
            break;
        case ReportGroup::Device:
            key = "vendor || ' ' || type";
            break;
        case ReportGroup::FileChecksum:
            key = "file_checksum";
            break;
        case ReportGroup::Unit:
            key = "CAST(unit AS TEXT)";
            break;
        case ReportGroup::Station:
            key = "station";
            break;
    }
    const Where where = WhereOf(filter, false);
    Statement query(db_, std::string("SELECT ") + key +
                             ", sum(CASE verdict WHEN 'PASS' THEN count ELSE 0 END)"
                             ", sum(CASE verdict WHEN 'FAIL' THEN count ELSE 0 END)"
                             ", sum(CASE verdict WHEN 'STOPPED' THEN count ELSE 0 END)"
                             " FROM tally" +
                             where.clause + " GROUP BY 1 ORDER BY 1");
    std::vector<YieldRow> rows;
    if (!query.Ok())
        return rows;
    int i = 1;
    for (const std::string& value : where.values)
        query.Bind(i++, value);
    while (query.Step() == SQLITE_ROW) {
        rows.push_back({query.Text(0), static_cast<std::uint64_t>(query.Int(1)),
                        static_cast<std::uint64_t>(query.Int(2)),
                        static_cast<std::uint64_t>(query.Int(3))});
    }
    return rows;
}

std::vector<FailingStepRow> RecordStore::TopFailingSteps(const RecordFilter& filter,
                                                         std::size_t limit) {
    const std::lock_guard lock(mutex_);
    const Where where = WhereOf(filter, false);
    std::string sql = "SELECT failing_step, sum(count) FROM tally" + where.clause;
    sql += where.clause.empty() ? " WHERE" : " AND";
    sql += " verdict = 'FAIL' AND failing_step <> '' GROUP BY 1 ORDER BY 2 DESC, 1 LIMIT " +
           std::to_string(limit);
    Statement query(db_, sql);
    std::vector<FailingStepRow> rows;
    if (!query.Ok())
        return rows;
    int i = 1;
    for (const std::string& value : where.values)
        query.Bind(i++, value);
    while (query.Step() == SQLITE_ROW)
        rows.push_back({query.Text(0), static_cast<std::uint64_t>(query.Int(1))});
    return rows;
}

std::optional<std::uint64_t> RecordStore::Prune(const RetentionPolicy& policy,
                                                const std::string& today, std::string* error) {
    const std::lock_guard lock(mutex_);
    const auto changes = [&] { return static_cast<std::uint64_t>(sqlite3_changes(db_)); };
    std::uint64_t deleted = 0;
    if (policy.maxAgeDays && IsRecordDate(today)) {
        Statement remove(db_, "DELETE FROM record WHERE day < date(?, ?)");
        if (!remove.Ok()) {
            if (error != nullptr)
                *error = Message(db_);
            return std::nullopt;
        }
        remove.Bind(1, today);
        remove.Bind(2, "-" + std::to_string(std::max(0, *policy.maxAgeDays)) + " days");
        if (remove.Step() != SQLITE_DONE) {
            if (error != nullptr)
                *error = Message(db_);
            return std::nullopt;
        }
        deleted += changes();
    }
    if (policy.maxBytes) {
        // The pages in use, not the file: deleted rows leave free pages the next ones reuse.
        const auto usedBytes = [&]() -> std::uint64_t {
            Statement pages(db_,
                            "SELECT (page_count - freelist_count) * page_size FROM "
                            "pragma_page_count, pragma_freelist_count, pragma_page_size");
            return pages.Ok() && pages.Step() == SQLITE_ROW
                       ? static_cast<std::uint64_t>(pages.Int(0))
                       : 0;
        };
        const auto records = [&]() -> std::uint64_t {
            Statement count(db_, "SELECT count(*) FROM record");
            return count.Ok() && count.Step() == SQLITE_ROW
                       ? static_cast<std::uint64_t>(count.Int(0))
                       : 0;
        };
        for (std::uint64_t used = usedBytes(); used > *policy.maxBytes; used = usedBytes()) {
            // The oldest records that make up the excess at the mean size of a record.
            const std::uint64_t count = records();
            if (count == 0)
                break;
            const std::uint64_t perRecord = std::max<std::uint64_t>(1, used / count);
            const std::uint64_t excess = (used - *policy.maxBytes + perRecord - 1) / perRecord;
            Statement remove(db_,
                             "DELETE FROM record WHERE id IN "
                             "(SELECT id FROM record ORDER BY id LIMIT ?)");
            if (!remove.Ok()) {
                if (error != nullptr)
                    *error = Message(db_);
                return std::nullopt;
            }
            remove.Bind(1, static_cast<std::int64_t>(std::min<std::uint64_t>(excess, count)));
            if (remove.Step() != SQLITE_DONE) {
                if (error != nullptr)
                    *error = Message(db_);
                return std::nullopt;
            }
            if (changes() == 0)
                break;
            deleted += changes();
        }
    }
    return deleted;
}

std::uint64_t RecordStore::SizeBytes() const {
    std::uint64_t size = 0;
    std::error_code ec;
    for (const char* suffix : {"", "-wal"}) {
        fs::path part = file_;
        part += suffix;
        const auto bytes = fs::file_size(part, ec);
        if (!ec)
            size += bytes;
    }
    return size;
}

}  // namespace torq
