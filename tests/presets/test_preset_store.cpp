#include <gtest/gtest.h>

#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "presets/preset_operations.h"
#include "presets/preset_store.h"
#include "temp_dir.h"

namespace quorvel {
namespace {

using testing::readFile;
using testing::TempDir;

TEST(EngineText, TranslatesOnlyWhatTheEngineSpellsDifferently) {
    EXPECT_EQ(PresetStore::engineText("select top 1 ID from NOISE order by ID desc"),
              "select ID from NOISE order by ID desc limit 1");
    EXPECT_EQ(PresetStore::engineText("select top 1 ID from LIMIT order by ID desc"),
              "select ID from \"LIMIT\" order by ID desc limit 1");
    EXPECT_EQ(PresetStore::engineText("delete from LIMIT  where ID=4"), "delete from \"LIMIT\"  where ID=4");
    EXPECT_EQ(PresetStore::engineText("update LIMIT set NAME='x' where ID=1"),
              "update \"LIMIT\" set NAME='x' where ID=1");
    EXPECT_EQ(PresetStore::engineText("insert into LIMIT values(1,'SAVE1','01')"),
              "insert into \"LIMIT\" values(1,'SAVE1','01')");
    EXPECT_EQ(PresetStore::engineText("select * from GEQ order by ID"), "select * from GEQ order by ID");
    // Text inside literals is the user's and stays as typed.
    EXPECT_EQ(PresetStore::engineText("update NOISE set NAME='select top 1 from LIMIT it''s' where ID=2"),
              "update NOISE set NAME='select top 1 from LIMIT it''s' where ID=2");
    // A name quoted by its writer is left as written, never quoted a second time.
    EXPECT_EQ(PresetStore::engineText("select * from \"LIMIT\" order by ID"),
              "select * from \"LIMIT\" order by ID");
}

TEST(LiteralText, DoublesApostrophesOnly) {
    EXPECT_EQ(sqlLiteralText("O'Brien"), "O''Brien");
    EXPECT_EQ(sqlLiteralText("''"), "''''");
    EXPECT_EQ(sqlLiteralText("100% \"ok\";"), "100% \"ok\";");
    EXPECT_EQ(sqlLiteralText(std::string_view("ab\0cd", 5)), "ab");
}

TEST(PresetStore, CreatesAMissingFileWithEveryTableEncrypted) {
    TempDir dir;
    const auto file = PresetStore::pathIn(dir.path());
    EXPECT_EQ(file.filename(), "Lorvex.mdb");
    {
        PresetStore store(file);
        ASSERT_TRUE(store.OpenDatabase()) << store.lastError();
        auto rows = store.RunQuery("select name from sqlite_master where type='table' order by name");
        ASSERT_TRUE(rows);
        std::vector<std::string> names;
        for (; !rows->atEnd(); rows->moveNext()) {
            names.push_back(rows->text("NAME"));
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Compressor", "DELAY", "DeviceDATA", "GEQ", "LIMIT",
                                                   "NOISE", "PEQ", "REV"}));
        for (const PresetTable& t : kPresetTables) {
            auto cols = store.RunQuery("select * from " + std::string(t.name));
            ASSERT_TRUE(cols);
            EXPECT_TRUE(cols->hasColumn("ID") && cols->hasColumn("NAME") && cols->hasColumn(t.dataColumn))
                << t.name;
        }
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_NE(readFile(file).substr(0, 15), "SQLite format 3");

    // Reopening finds the tables and keeps the rows.
    PresetStore again(file);
    ASSERT_TRUE(again.RunStatement("insert into NOISE values(1,'a','01010101')"));
    again.Close();
    auto rows = again.RunQuery("select * from NOISE order by ID");
    ASSERT_TRUE(rows && rows->rowCount() == 1);
}

void writeWithKey(const std::filesystem::path& file, const char* keyPragma) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
    if (keyPragma != nullptr) {
        ASSERT_EQ(sqlite3_exec(db, keyPragma, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ASSERT_EQ(sqlite3_exec(db,
                           "create table NOISE (ID integer, NAME text, NOISEDATA text);"
                           "insert into NOISE values(1,'keep me','01010101')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

// A file the store cannot read is reported with the engine's text, every later call fails the
// same way without crashing, and the file keeps every byte.
TEST(PresetStore, UnreadableFilesAreReportedAndLeftAlone) {
    struct Case {
        const char* what;
        const char* keyPragma;
        bool plainText;
    };
    for (const Case c : {Case{"wrong key", "PRAGMA key='123456'", false}, Case{"unencrypted", nullptr, false},
                         Case{"not a database", nullptr, true}}) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto file = PresetStore::pathIn(dir.path());
        if (c.plainText) {
            std::ofstream(file) << "shopping list: cables, tape, batteries\n";
        } else {
            writeWithKey(file, c.keyPragma);
        }
        const std::string before = readFile(file);

        PresetStore store(file);
        std::vector<std::string> shown;
        store.setErrorSink([&](const std::string& m) { shown.push_back(m); });
        EXPECT_FALSE(store.OpenDatabase());
        EXPECT_FALSE(store.connected());
        EXPECT_EQ(store.lastError(), "file is encrypted or is not a database");
        ASSERT_EQ(shown.size(), 1U);
        EXPECT_EQ(shown[0], store.lastError());

        PresetOperations ops(store, kNoiseTable);
        EXPECT_EQ(ops.fill(), std::vector<std::string>{"SAVE PRESET"});
        EXPECT_FALSE(ops.save("01010101"));
        EXPECT_FALSE(ops.remove("1:keep me"));
        EXPECT_GE(shown.size(), 4U);
        store.Close();
        EXPECT_EQ(readFile(file), before);
        EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal"));
        EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
    }
}

TEST(PresetStore, UnusableDirectoryIsReported) {
    TempDir dir;
    std::ofstream(dir.path() / "plain") << "x";
    PresetStore store(PresetStore::pathIn(dir.path() / "plain"));
    EXPECT_FALSE(store.OpenDatabase());
    EXPECT_EQ(store.lastError(), "unable to open database file");
    EXPECT_EQ(readFile(dir.path() / "plain"), "x");
}

TEST(PresetStore, ErrorsCarryTheEngineTextAndOneStatementRunsAtATime) {
    TempDir dir;
    PresetStore store(PresetStore::pathIn(dir.path()));
    ASSERT_TRUE(store.OpenDatabase());
    EXPECT_FALSE(store.RunQuery("select * from NOSUCH order by ID"));
    EXPECT_EQ(store.lastError(), "no such table: NOSUCH");
    EXPECT_EQ(store.commandText(), "select * from NOSUCH order by ID");

    ASSERT_TRUE(store.RunStatement("insert into NOISE values(1,'a','01010101')"));
    EXPECT_FALSE(store.RunStatement("insert into NOISE values(1,'dup','01010101')"));
    EXPECT_NE(store.lastError().find("UNIQUE"), std::string::npos);
    EXPECT_FALSE(store.RunStatement("delete from NOISE  where ID=1; drop table NOISE"));
    auto rows = store.RunQuery("select * from NOISE order by ID");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->rowCount(), 1U);
}

TEST(PresetStore, RowsReadByColumnName) {
    TempDir dir;
    PresetStore store(PresetStore::pathIn(dir.path()));
    ASSERT_TRUE(store.RunStatement("insert into GEQ values(7,NULL,'x')"));
    auto rows = store.RunQuery("select * from GEQ order by ID");
    ASSERT_TRUE(rows);
    ASSERT_FALSE(rows->atEnd());
    EXPECT_EQ(rows->number("id"), 7);
    EXPECT_EQ(rows->text("Name"), "");
    EXPECT_EQ(rows->text("GEQDATA"), "x");
    EXPECT_EQ(rows->text("missing"), "");
    EXPECT_FALSE(rows->number("GEQDATA"));
    rows->moveNext();
    EXPECT_TRUE(rows->atEnd());
}

// A writer killed at an arbitrary moment of its saves leaves a file that passes the integrity
// check and holds only whole rows.
TEST(PresetStore, KilledWriterLeavesAConsistentFile) {
    TempDir dir;
    const auto file = PresetStore::pathIn(dir.path());
    {
        PresetStore store(file);
        ASSERT_TRUE(store.OpenDatabase());
    }
    const std::string data(124, 'A');
    for (int round = 0; round < 3; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            PresetStore store(file);
            PresetOperations ops(store, kGeqTable);
            bool told = false;
            for (;;) {
                if (!ops.save(data)) {
                    _exit(3);
                }
                if (!told) {
                    // Opening derives the key slowly; the clock starts once writing does.
                    told = write(ready[1], "w", 1) == 1;
                }
            }
        }
        close(ready[1]);
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 37 * round));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped by itself: " << status;

        PresetStore store(file);
        auto check = store.RunQuery("PRAGMA integrity_check");
        ASSERT_TRUE(check) << store.lastError();
        ASSERT_FALSE(check->atEnd());
        EXPECT_EQ(check->text("integrity_check"), "ok");
        auto rows = store.RunQuery("select * from GEQ order by ID");
        ASSERT_TRUE(rows);
        EXPECT_GT(rows->rowCount(), 0U);
        long long expected = 1;
        for (; !rows->atEnd(); rows->moveNext(), ++expected) {
            ASSERT_EQ(rows->number("ID"), expected);
            ASSERT_EQ(rows->text("NAME"), "SAVE" + std::to_string(expected));
            ASSERT_EQ(rows->text("GEQDATA"), data);
        }
    }
}

} // namespace
} // namespace quorvel
