#include "presets/preset_store.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>

#include "presets/preset_tables.h"

namespace quorvel {

namespace {

constexpr const char* kKeyPragma = "PRAGMA key='514273'";

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool onlyBlanks(const char* p) {
    for (; p != nullptr && *p != '\0'; ++p) {
        if (std::isspace(static_cast<unsigned char>(*p)) == 0) {
            return false;
        }
    }
    return true;
}

// Table names that the engine reserves as keywords and that must therefore be quoted where a
// table name stands.
bool isReservedTableName(std::string_view word) {
    return equalsNoCase(word, "LIMIT");
}

bool precedesTableName(std::string_view word) {
    for (const char* k : {"from", "into", "update", "table", "exists"}) {
        if (equalsNoCase(word, k)) {
            return true;
        }
    }
    return false;
}

} // namespace

// ---- RecordSet -------------------------------------------------------------------------------

RecordSet::RecordSet(std::vector<std::string> columns,
                     std::vector<std::vector<std::optional<std::string>>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

const std::optional<std::string>* RecordSet::field(std::string_view column) const {
    if (atEnd()) {
        return nullptr;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (equalsNoCase(columns_[i], column)) {
            return &rows_[pos_][i];
        }
    }
    return nullptr;
}

bool RecordSet::hasColumn(std::string_view column) const {
    return std::any_of(columns_.begin(), columns_.end(),
                       [&](const std::string& c) { return equalsNoCase(c, column); });
}

std::string RecordSet::text(std::string_view column) const {
    const auto* f = field(column);
    return f != nullptr && f->has_value() ? **f : std::string();
}

std::optional<long long> RecordSet::number(std::string_view column) const {
    const std::string t = text(column);
    long long v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) {
        return std::nullopt;
    }
    return v;
}

// ---- PresetStore -----------------------------------------------------------------------------

std::filesystem::path PresetStore::pathIn(const std::filesystem::path& dataDir) {
    return dataDir / kFileName;
}

PresetStore::PresetStore(std::filesystem::path file) : file_(std::move(file)) {}

PresetStore::~PresetStore() {
    Close();
}

void PresetStore::Close() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void PresetStore::reportError(const std::string& message) {
    lastError_ = message;
    ++errorCount_;
    if (errorSink_) {
        errorSink_(message);
    }
}

bool PresetStore::fail(const std::string& message) {
    reportError(message);
    return false;
}

bool PresetStore::OpenDatabase() {
    Close();
    // When the path cannot even be inspected the open below fails and the engine says why.
    std::error_code ec;
    const bool existed = std::filesystem::exists(file_, ec);
    // An existing file is never opened with the create flag: whatever it holds stays untouched
    // until the key has been proven right.
    const int flags = SQLITE_OPEN_READWRITE | (existed ? 0 : SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    const std::string path = file_.string();
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return fail(message);
    }
    // Another instance may be writing; wait for it briefly instead of failing at once.
    sqlite3_busy_timeout(db, 2000);
    // The key is only applied here; the first read shows whether it fits the file.
    const char* steps[] = {kKeyPragma, "select count(*) from sqlite_master"};
    for (const char* sql : steps) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            const std::string message = sqlite3_errmsg(db);
            sqlite3_close_v2(db);
            return fail(message);
        }
    }
    // A write-ahead log commits with one flush instead of three, which keeps a save well inside
    // what feels instant, and a killed writer still leaves either the whole statement or none.
    // Where the mode cannot be changed (a read-only file) the default journal serves as well.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    db_ = db;
    return createMissingTables();
}

bool PresetStore::createMissingTables() {
    RecordSet existing;
    if (!execute("select name from sqlite_master where type='table'", &existing)) {
        Close();
        return false;
    }
    std::vector<std::string> names;
    for (; !existing.atEnd(); existing.moveNext()) {
        names.push_back(existing.text("name"));
    }
    for (const PresetTable& t : kPresetTables) {
        const bool present = std::any_of(names.begin(), names.end(),
                                         [&](const std::string& n) { return equalsNoCase(n, t.name); });
        if (!present && !execute(presetsql::create(t), nullptr)) {
            Close();
            return false;
        }
    }
    return true;
}

bool PresetStore::ensureOpen() {
    return connected() || OpenDatabase();
}

std::optional<RecordSet> PresetStore::RunQuery(std::string_view sql) {
    commandText_ = std::string(sql);
    if (!ensureOpen()) {
        return std::nullopt;
    }
    RecordSet rows;
    if (!execute(sql, &rows)) {
        return std::nullopt;
    }
    return rows;
}

bool PresetStore::RunStatement(std::string_view sql) {
    commandText_ = std::string(sql);
    if (!ensureOpen()) {
        return false;
    }
    return execute(sql, nullptr);
}

bool PresetStore::execute(std::string_view sql, RecordSet* rows) {
    const std::string engine = engineText(sql);
    if (sqlHook_) {
        sqlHook_(sql, engine);
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, engine.c_str(), static_cast<int>(engine.size() + 1), &stmt, &tail) !=
        SQLITE_OK) {
        return fail(sqlite3_errmsg(db_));
    }
    if (stmt == nullptr) {
        return fail("The statement is empty.");
    }
    // One call runs one statement; a second one behind it could only have been smuggled in.
    if (!onlyBlanks(tail)) {
        sqlite3_finalize(stmt);
        return fail("Only one statement can be run at a time.");
    }
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> data;
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        columns.emplace_back(name != nullptr ? name : "");
    }
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows == nullptr) {
            continue;
        }
        auto& row = data.emplace_back();
        row.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
            } else {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                row.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
            }
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        return fail(sqlite3_errmsg(db_));
    }
    if (rows != nullptr) {
        *rows = RecordSet(std::move(columns), std::move(data));
    }
    return true;
}

std::string PresetStore::engineText(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 16);
    std::string previousWord;
    std::string topCount;
    std::size_t i = 0;
    bool firstWord = true;
    bool isSelect = false;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // Copy a literal or an already quoted name whole, including doubled quotes inside it.
            std::size_t j = i + 1;
            while (j < sql.size()) {
                if (sql[j] == c) {
                    if (j + 1 < sql.size() && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const std::size_t end = std::min(j + 1, sql.size());
            out.append(sql.substr(i, end - i));
            i = end;
            previousWord.clear();
            continue;
        }
        if (!isWordChar(c)) {
            out.push_back(c);
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < sql.size() && isWordChar(sql[j])) {
            ++j;
        }
        const std::string_view word = sql.substr(i, j - i);
        if (firstWord) {
            isSelect = equalsNoCase(word, "select");
            firstWord = false;
        } else if (isSelect && topCount.empty() && equalsNoCase(previousWord, "select") &&
                   equalsNoCase(word, "top")) {
            // "top N" right after select: the row limit moves to the end of the statement.
            std::size_t k = j;
            while (k < sql.size() && sql[k] == ' ') {
                ++k;
            }
            std::size_t d = k;
            while (d < sql.size() && std::isdigit(static_cast<unsigned char>(sql[d])) != 0) {
                ++d;
            }
            if (d > k) {
                topCount = std::string(sql.substr(k, d - k));
                while (d < sql.size() && sql[d] == ' ') {
                    ++d;
                }
                i = d;
                continue;
            }
        }
        if (isReservedTableName(word) && precedesTableName(previousWord)) {
            out.push_back('"');
            out.append(word);
            out.push_back('"');
        } else {
            out.append(word);
        }
        previousWord = std::string(word);
        i = j;
    }
    if (!topCount.empty()) {
        out.append(" limit ").append(topCount);
    }
    return out;
}

std::string sqlLiteralText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string out;
    out.reserve(text.size() + 4);
    for (const char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out;
}

} // namespace quorvel
