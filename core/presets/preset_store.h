// The preset library's database: one encrypted SQLite file holding a table per block and the
// scene list. Statements are plain SQL texts built by the callers; the store translates the
// few constructs the engine spells differently, in one place, and reports every database error
// with the engine's own message.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace quorvel {

// The rows of one query, read like a forward cursor: check atEnd(), read fields by column name,
// moveNext(). Values are already converted to text; NULL reads as "".
class RecordSet {
public:
    RecordSet() = default;
    RecordSet(std::vector<std::string> columns, std::vector<std::vector<std::optional<std::string>>> rows);

    bool atEnd() const { return pos_ >= rows_.size(); }
    void moveNext() { ++pos_; }
    std::size_t rowCount() const { return rows_.size(); }

    // Column names compare without regard to case, as the tables' users have always written them.
    bool hasColumn(std::string_view column) const;
    std::string text(std::string_view column) const;
    // Decimal reading of the field's text; nullopt when it is not a whole number.
    std::optional<long long> number(std::string_view column) const;

private:
    const std::optional<std::string>* field(std::string_view column) const;

    std::vector<std::string> columns_;
    std::vector<std::vector<std::optional<std::string>>> rows_;
    std::size_t pos_ = 0;
};

class PresetStore {
public:
    static constexpr const char* kFileName = "Lorvex.mdb";

    // The database file inside the data directory.
    static std::filesystem::path pathIn(const std::filesystem::path& dataDir);

    explicit PresetStore(std::filesystem::path file);
    ~PresetStore();
    PresetStore(const PresetStore&) = delete;
    PresetStore& operator=(const PresetStore&) = delete;

    // Opens the file with its key; a missing file is created with every table. An existing file
    // that cannot be read (wrong key, not a database) is reported and left exactly as it is.
    bool OpenDatabase();
    // Runs one query; nullopt after a reported error. Opens the database first if needed.
    std::optional<RecordSet> RunQuery(std::string_view sql);
    // Runs one statement that returns no rows; false after a reported error. Each statement
    // commits on its own, so a crash leaves either all of it or none.
    bool RunStatement(std::string_view sql);
    void Close();

    bool connected() const { return db_ != nullptr; }
    const std::filesystem::path& file() const { return file_; }
    // Text of the last statement as the caller built it.
    const std::string& commandText() const { return commandText_; }
    const std::string& lastError() const { return lastError_; }
    // Grows by one with every reported error, so a caller can tell whether a call failed.
    unsigned errorCount() const { return errorCount_; }

    // Where errors go: the application shows them in a message box. Without a sink they are only
    // kept in lastError().
    using ErrorSink = std::function<void(const std::string& message)>;
    void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }
    // Reports a failure through the sink, for callers that find a stored row unusable.
    void reportError(const std::string& message);

    // Sees every statement before it runs: the text as built and the text handed to the engine.
    using SqlHook = std::function<void(std::string_view text, std::string_view engineText)>;
    void setSqlHook(SqlHook hook) { sqlHook_ = std::move(hook); }

    // The statement as the engine must read it: "select top N ..." becomes "select ... limit N",
    // and a table named like a reserved word is quoted. Literals and quoted names are never touched.
    static std::string engineText(std::string_view sql);

private:
    bool ensureOpen();
    bool createMissingTables();
    bool execute(std::string_view sql, RecordSet* rows);
    bool fail(const std::string& message);

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::string commandText_;
    std::string lastError_;
    unsigned errorCount_ = 0;
    ErrorSink errorSink_;
    SqlHook sqlHook_;
};

// A text as an SQL string literal's content: apostrophes doubled, so a name is stored exactly as
// typed and can never end the literal early. Text after a NUL is dropped, as a name field would.
std::string sqlLiteralText(std::string_view text);

} // namespace quorvel
