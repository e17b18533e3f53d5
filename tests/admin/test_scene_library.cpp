#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "../presets/temp_dir.h"
#include "admin/scene.h"
#include "admin/scene_library.h"
#include "link/field_registry.h"
#include "presets/preset_store.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

struct Library {
    testing::TempDir dir;
    fs::path trash = dir.path() / "trash";
    PresetStore store{PresetStore::pathIn(dir.path())};
    SceneLibrary lib{store, dir.path(), [this](const fs::path& f, std::string& error) {
                         std::error_code ec;
                         fs::create_directories(trash, ec);
                         fs::rename(f, trash / f.filename(), ec);
                         error = ec.message();
                         return !ec;
                     }};
    Library() { EXPECT_TRUE(store.OpenDatabase()) << store.lastError(); }

    std::vector<int> ids() {
        std::vector<int> out;
        for (const auto& s : lib.list())
            out.push_back(s.id);
        return out;
    }
};

DeviceState sample() {
    DeviceState s;
    loadFactoryDefaults(s);
    s.in(3).level = 22;
    s.units[1] = {4, 0, 13, 0, 0};
    return s;
}

TEST(SceneLibrary, NewIdIsTheHighestPlusOneAndTheFileIsComplete) {
    Library l;
    const DeviceState s = sample();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(l.lib.save(s).ok());
    ASSERT_TRUE(l.lib.remove(3).ok());
    ASSERT_TRUE(l.lib.remove(4).ok());
    EXPECT_EQ(l.ids(), (std::vector<int>{1, 2, 5}));
    EXPECT_TRUE(fs::exists(l.trash / "SAVE3.dat"));
    EXPECT_FALSE(fs::exists(l.dir.path() / "SAVE4.dat"));

    const SceneResult r = l.lib.save(s);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.id, 6);
    const fs::path file = l.dir.path() / "SAVE6.dat";
    EXPECT_EQ(fs::file_size(file), 20568u);
    auto rows = l.store.RunQuery("select * from DeviceDATA where ID=6");
    ASSERT_TRUE(rows && !rows->atEnd());
    EXPECT_EQ(rows->text("NAME"), "SAVE6");
    EXPECT_EQ(rows->text("FILENAME"), file.string());
    // Deleting the last one gives its ID back; a gap below stays.
    ASSERT_TRUE(l.lib.remove(6).ok());
    EXPECT_EQ(l.lib.save(s).id, 6);

    ASSERT_TRUE(l.lib.rename(2, "Panel's talk").ok());
    EXPECT_EQ(l.lib.list().at(1).caption(), "2:Panel's talk");
    EXPECT_EQ(l.lib.rename(3, "x").status, SceneStatus::NoSuchId);
}

TEST(SceneLibrary, A33rdSaveIsRefusedWithAMessage) {
    Library l;
    const DeviceState s = sample();
    ASSERT_TRUE(l.store.RunStatement("insert into DeviceDATA values(32,'last','SAVE32.dat')"));
    const SceneResult r = l.lib.save(s);
    EXPECT_EQ(r.status, SceneStatus::Full);
    EXPECT_EQ(r.message, "All 32 scenes are in use.");
    EXPECT_FALSE(fs::exists(l.dir.path() / "SAVE33.dat"));
}

TEST(SceneLibrary, RecallChecksTheWholeFileBeforeTheStateChanges) {
    Library l;
    DeviceState s = sample();
    ASSERT_TRUE(l.lib.save(s).ok());
    DeviceState target;
    loadFactoryDefaults(target);
    target.link.linkOnline = true;
    ASSERT_TRUE(l.lib.recall(1, target).ok());
    EXPECT_EQ(target.in(3).level, 22);
    EXPECT_TRUE(target.link.linkOnline); // the link is not part of a scene

    // Short file: refused, the state exactly as it was.
    const fs::path file = l.dir.path() / "SAVE1.dat";
    fs::resize_file(file, 20000);
    target.in(3).level = 50;
    const auto before = serialiseScene(target);
    SceneResult r = l.lib.recall(1, target);
    EXPECT_EQ(r.status, SceneStatus::Damaged);
    EXPECT_NE(r.message.find("20000"), std::string::npos) << r.message;
    EXPECT_EQ(serialiseScene(target), before);

    // Out-of-range values come back clamped; a unit value twice is refused.
    auto image = serialiseScene(s);
    const FieldInfo* level = FieldRegistry::instance().find("input[3].level");
    const FieldInfo* gain = FieldRegistry::instance().find("input[1].peq[1].bandGain");
    ASSERT_TRUE(level && gain);
    image[level->sceneOffset] = 0xFF;
    image[level->sceneOffset + 1] = 0x7F;
    image[gain->sceneOffset + 3] = 0x80; // negative
    { std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 20568); }
    ASSERT_TRUE(l.lib.recall(1, target).ok());
    EXPECT_EQ(target.in(3).level, 70);
    EXPECT_EQ(target.in(1).peq[0].bandGain, 0);
    const FieldInfo* unit = FieldRegistry::instance().find("units[4][5]");
    ASSERT_TRUE(unit);
    image[unit->sceneOffset] = 4; // CH04 is already on unit 2
    { std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 20568); }
    const auto kept = serialiseScene(target);
    EXPECT_EQ(l.lib.recall(1, target).status, SceneStatus::Damaged);
    image[unit->sceneOffset] = 17;
    { std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 20568); }
    EXPECT_EQ(l.lib.recall(1, target).status, SceneStatus::Damaged);
    EXPECT_EQ(serialiseScene(target), kept);

    EXPECT_EQ(l.lib.recall(0, target).status, SceneStatus::NoSuchId);
    EXPECT_EQ(l.lib.recall(33, target).status, SceneStatus::NoSuchId);
    EXPECT_EQ(l.lib.recall(7, target).status, SceneStatus::NoSuchId);
}

TEST(SceneLibrary, ARowsFilenameIsNeverOpenedNorDeleted) {
    Library l;
    const fs::path victim = l.dir.path() / "victim.txt";
    { std::ofstream(victim) << "keep me"; }
    const std::string row = "insert into DeviceDATA values(4,'odd','" + victim.string() + "')";
    ASSERT_TRUE(l.store.RunStatement(row));
    ASSERT_TRUE(l.store.RunStatement("insert into DeviceDATA values(40,'far','../../etc/passwd')"));
    ASSERT_TRUE(l.store.RunStatement("insert into DeviceDATA values(-1,'neg','x')"));
    int skipped = 0;
    const auto slots = l.lib.list(&skipped);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(slots[0].id, 4);
    EXPECT_EQ(skipped, 2);

    DeviceState s = sample();
    EXPECT_EQ(l.lib.recall(4, s).status, SceneStatus::FileError); // SAVE4.dat does not exist
    ASSERT_TRUE(l.lib.remove(4).ok());                            // only the row goes
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_EQ(l.ids(), std::vector<int>{});
    EXPECT_EQ(l.lib.remove(40).status, SceneStatus::NoSuchId);
}

TEST(SceneLibrary, AWriterKilledMidSaveLeavesNoRowWithoutItsWholeFile) {
    Library l;
    l.store.Close();
    // The child saves as fast as it can until it is killed at some point of a save.
    for (int round = 0; round < 4; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PresetStore store(PresetStore::pathIn(l.dir.path()));
            SceneLibrary lib(store, l.dir.path(), {});
            DeviceState s = sample();
            for (;;) {
                if (lib.save(s).status == SceneStatus::Full) {
                    for (int id = 1; id <= 32; ++id)
                        store.RunStatement("delete from DeviceDATA where ID=" + std::to_string(id));
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 37 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        PresetStore store(PresetStore::pathIn(l.dir.path()));
        SceneLibrary lib(store, l.dir.path(), {});
        for (const SceneSlot& slot : lib.list()) {
            SCOPED_TRACE(slot.id);
            const fs::path f = lib.fileOf(slot.id);
            ASSERT_TRUE(fs::exists(f));
            EXPECT_EQ(fs::file_size(f), 20568u);
            DeviceState t;
            loadFactoryDefaults(t);
            EXPECT_TRUE(lib.recall(slot.id, t).ok());
            EXPECT_EQ(t.in(3).level, 22);
        }
    }
}

} // namespace
} // namespace quorvel
