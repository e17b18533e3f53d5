// The logs without a link: line format, what the panel filter shows, the event log's memory and
// file, and the rotation of its file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "link/reports.h"
#include "log/event_log.h"
#include "log/rotating_file.h"
#include "log/traffic_log.h"

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() /
               ("quorvel-log-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

std::vector<std::string> readLines(const fs::path& p) {
    std::vector<std::string> out;
    std::ifstream in(p);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

WallClock::time_point localTime(int h, int m, int s, int us) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 9;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return WallClock::from_time_t(std::mktime(&tm)) + std::chrono::microseconds(us);
}

TrafficLine line(char dir, char letter) {
    return {WallClock::now(), dir, letter, {}, {}};
}

} // namespace

TEST(TrafficLine, StampDirectionAndTextOnOneLine) {
    LocalStamp stamp;
    TrafficLine l{localTime(7, 5, 9, 789), '>', 'A', "%A,01,03,00,3C,1234#", {}};
    TrafficLog::formatLine(l, stamp);
    EXPECT_EQ(l.line, "07:05:09.000789 > %A,01,03,00,3C,1234#");
    // A second in the same stamp cache, and text that would break the line.
    TrafficLine junk{localTime(23, 59, 59, 999999), '<', 'Y', std::string("%Y,a\nb\x01#"), {}};
    TrafficLog::formatLine(junk, stamp);
    EXPECT_EQ(junk.line, "23:59:59.999999 < %Y,a\\x0Ab\\x01#");
}

TEST(TrafficLine, ReceivedFramesAndTheirDrops) {
    TrafficLog log(std::chrono::milliseconds(5));
    log.setTapped(true);
    DispatchResult whole;
    whole.addDrop(DropReason::UnusedLetter, 0);
    log.received("%G,01,0000#", whole);
    DispatchResult part;
    part.kind = ReportKind::Levels;
    part.addDrop(DropReason::WrongLength, 2);
    log.received("%P,01,AB,0000#", part);
    DropRecord stranger{DropReason::WrongSender, 0, 0, "from 127.0.0.9"};
    log.dropped(stranger);
    DropRecord junk{DropReason::BadChecksum, 0, 0, "%Q,01\r\n,FFFF#"};
    log.dropped(junk);
    ASSERT_TRUE(log.flush());
    std::vector<TrafficLine> got;
    EXPECT_EQ(log.takeTapped(got), 0u);
    ASSERT_EQ(got.size(), 5u);
    const std::regex stampRe(R"(^\d\d:\d\d:\d\d\.\d{6} .*)");
    for (const auto& l : got)
        EXPECT_TRUE(std::regex_match(l.line, stampRe)) << l.line;
    // A frame the parsers threw away whole was not accepted: only the drop is logged.
    EXPECT_EQ(got[0].line.substr(16), "! %G,01,0000# dropped: unused letter");
    EXPECT_EQ(got[1].line.substr(16), "< %P,01,AB,0000#");
    EXPECT_EQ(got[2].line.substr(16), "! P section 2 dropped: wrong length");
    EXPECT_EQ(got[2].letter, 'P');
    EXPECT_EQ(got[3].line.substr(16), "! from 127.0.0.9 dropped: wrong sender");
    EXPECT_EQ(got[4].line.substr(16), "! %Q,01\\x0D\\x0A,FFFF# dropped: bad checksum");
}

TEST(TrafficLine, TapOnlyWhilePanelShows) {
    TrafficLog log(std::chrono::milliseconds(5));
    EXPECT_FALSE(log.active());
    log.frameSent("%Q,01,00,0000#", WallClock::now());
    ASSERT_TRUE(log.flush());
    std::vector<TrafficLine> got;
    log.takeTapped(got);
    EXPECT_TRUE(got.empty());
    log.setTapped(true);
    EXPECT_TRUE(log.active());
    log.frameSent("%Q,01,01,0000#", WallClock::now());
    ASSERT_TRUE(log.flush());
    log.takeTapped(got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].direction, '>');
    EXPECT_EQ(got[0].letter, 'Q');
    // Closing the panel throws away what it did not take.
    log.frameSent("%Q,01,00,0000#", WallClock::now());
    ASSERT_TRUE(log.flush());
    log.setTapped(false);
    got.clear();
    log.takeTapped(got);
    EXPECT_TRUE(got.empty());
}

TEST(TrafficFilter, ReportsHiddenByDefaultLettersNarrow) {
    TrafficFilter f;
    EXPECT_FALSE(f.showReports);
    EXPECT_FALSE(f.shows(line('<', 'Q')));
    EXPECT_FALSE(f.shows(line('<', 'P')));
    EXPECT_FALSE(f.shows(line('!', 'P'))); // a part of a levels report
    EXPECT_TRUE(f.shows(line('>', 'Q')));  // our stop and start commands are no reports
    EXPECT_TRUE(f.shows(line('<', 'Z')));
    EXPECT_TRUE(f.shows(line('!', 0)));
    f.showReports = true;
    EXPECT_TRUE(f.shows(line('<', 'Q')));

    f = {};
    f.letters = "AV";
    EXPECT_TRUE(f.shows(line('>', 'A')));
    EXPECT_TRUE(f.shows(line('>', 'V')));
    EXPECT_FALSE(f.shows(line('>', 'B')));
    EXPECT_FALSE(f.shows(line('>', 'a'))); // letters are case-sensitive on the wire
    EXPECT_FALSE(f.shows(line('<', 'Q')));
    EXPECT_TRUE(f.shows(line('!', 0)));
    // Asking for the letter asks for its reports.
    f.letters = "Q";
    EXPECT_TRUE(f.shows(line('<', 'Q')));
    EXPECT_FALSE(f.shows(line('<', 'P')));
}

TEST(TrafficLogFile, AppendsAndFlushesWithoutClose) {
    TempDir dir;
    const fs::path file = dir.path / "traffic.txt";
    { std::ofstream(file) << "earlier run\n"; }
    TrafficLog log(std::chrono::milliseconds(20));
    std::string error;
    ASSERT_TRUE(log.openFile(file, error)) << error;
    log.frameSent("%Z,01,7F,00,00,01,98,6C,1234#", WallClock::now());
    ASSERT_TRUE(log.flush());
    // On disk while the log is still open.
    auto lines = readLines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_EQ(lines[1].substr(15), " > %Z,01,7F,00,00,01,98,6C,1234#");
    // Closing writes what was queued; nothing after it reaches the file.
    log.frameSent("%Q,01,01,0000#", WallClock::now());
    log.closeFile();
    EXPECT_FALSE(log.active());
    log.frameSent("%Q,01,00,0000#", WallClock::now());
    ASSERT_TRUE(log.flush());
    lines = readLines(file);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[2].ends_with("> %Q,01,01,0000#"));

    std::string bad;
    TrafficLog other;
    EXPECT_FALSE(other.openFile(dir.path / "no" / "such" / "dir", bad));
    EXPECT_FALSE(bad.empty());
    EXPECT_FALSE(other.active());
}

TEST(RotatingFileTest, RotatesAtTheLimitKeepingThreeFiles) {
    TempDir dir;
    const fs::path file = dir.path / EventLog::kFileName;
    RotatingFile out; // 1 MB, 3 files
    std::string error;
    ASSERT_TRUE(out.open(file, error)) << error;
    const std::string pad(90, 'x');
    const int lines = 40000; // about 3.8 MB
    for (int i = 0; i < lines; ++i) {
        char num[16];
        std::snprintf(num, sizeof num, "%08d ", i);
        ASSERT_TRUE(out.writeLine(std::string(num) + pad));
    }
    out.close();
    ASSERT_TRUE(fs::exists(file));
    ASSERT_TRUE(fs::exists(RotatingFile::numbered(file, 1)));
    ASSERT_TRUE(fs::exists(RotatingFile::numbered(file, 2)));
    EXPECT_FALSE(fs::exists(RotatingFile::numbered(file, 3)));
    for (int n = 0; n < 3; ++n)
        EXPECT_LE(fs::file_size(RotatingFile::numbered(file, n)), RotatingFile::kDefaultLimit);
    EXPECT_GT(fs::file_size(RotatingFile::numbered(file, 1)), RotatingFile::kDefaultLimit - 200);
    // Oldest to newest, with nothing lost between the kept files and no line cut.
    std::vector<std::string> all;
    for (int n = 2; n >= 0; --n)
        for (auto& l : readLines(RotatingFile::numbered(file, n)))
            all.push_back(std::move(l));
    ASSERT_FALSE(all.empty());
    const int first = std::stoi(all.front().substr(0, 8));
    for (std::size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(all[i].size(), 99u);
        ASSERT_EQ(std::stoi(all[i].substr(0, 8)), first + static_cast<int>(i));
    }
    EXPECT_EQ(first + static_cast<int>(all.size()), lines);

    // A restart continues the file it finds and still rotates at the limit.
    const auto before = fs::file_size(file);
    RotatingFile again;
    ASSERT_TRUE(again.open(file, error));
    EXPECT_EQ(again.size(), before);
    const int more = static_cast<int>((RotatingFile::kDefaultLimit - before) / 100) + 2;
    for (int i = 0; i < more; ++i)
        again.writeLine(std::string(99, 'y'));
    again.close();
    EXPECT_LT(fs::file_size(file), before);
    EXPECT_EQ(readLines(RotatingFile::numbered(file, 1)).back(), std::string(99, 'y'));

    // The data directory of a first start does not exist yet.
    const fs::path fresh = dir.path / "new" / "data" / EventLog::kFileName;
    RotatingFile firstStart;
    ASSERT_TRUE(firstStart.open(fresh, error)) << error;
    EXPECT_TRUE(firstStart.writeLine("first start"));
    firstStart.close();
    EXPECT_EQ(readLines(fresh), std::vector<std::string>{"first start"});
}

TEST(EventLogTest, KeepsEntriesAndWritesThemIncludingEarlierOnes) {
    TempDir dir;
    EventLog log;
    log.add("before the file");
    log.add("CANNOT CONNECT.\nCheck the cable.");
    std::vector<EventEntry> got;
    EXPECT_EQ(log.since(0, got), 2u);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].text, "CANNOT CONNECT. / Check the cable.");
    got.clear();
    EXPECT_EQ(log.since(2, got), 2u);
    EXPECT_TRUE(got.empty());

    std::string error;
    ASSERT_TRUE(log.openFile(dir.path / EventLog::kFileName, error)) << error;
    log.add("after the file");
    ASSERT_TRUE(log.flush());
    auto lines = readLines(dir.path / EventLog::kFileName);
    ASSERT_EQ(lines.size(), 3u);
    const std::regex re(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  (.*)$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, re)) << lines[0];
    EXPECT_EQ(m[1], "before the file");
    EXPECT_TRUE(lines[1].ends_with("  CANNOT CONNECT. / Check the cable."));
    EXPECT_TRUE(lines[2].ends_with("  after the file"));

    // Memory stays bounded: only the newest entries are kept for a panel opened late.
    for (std::size_t i = 0; i < EventLog::kKeptInMemory + 10; ++i)
        log.add("entry " + std::to_string(i));
    got.clear();
    log.since(0, got);
    ASSERT_EQ(got.size(), EventLog::kKeptInMemory);
    EXPECT_EQ(got.back().text, "entry " + std::to_string(EventLog::kKeptInMemory + 9));
    ASSERT_TRUE(log.flush());
    EXPECT_EQ(log.lost(), 0u);
}
