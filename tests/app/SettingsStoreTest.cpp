#include "app/SettingsStore.h"

#include "tests/app/TempConfig.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <string>

namespace vx {
namespace {

using test::TempConfig;

// The defaults the main window sets before it reads the store.
StoredSettings Defaults() {
    StoredSettings settings;
    settings.DefaultLogFile = "/default/Varn Log.txt";
    return settings;
}

StoredSettings Load() {
    StoredSettings settings = Defaults();
    LoadSettings(SettingsFilePath(), settings);
    return settings;
}

TEST(SettingsStoreLocation, FollowsXdgConfigHomeAndIgnoresARelativeOne) {
    TempConfig config;
    EXPECT_EQ(SettingsFilePath(), config.StorePath());
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) {
        EXPECT_EQ(SettingsFilePath(), home + "/.config/Varn Instruments/ventrix.reg");
        EXPECT_EQ(DefaultLogFilePath(), home + "/Varn Log.txt");
    }
}

TEST(SettingsStoreReading, MissingFileOrKeyKeepsEveryDefault) {
    TempConfig config;
    EXPECT_EQ(Load(), Defaults());
    config.WriteRaw("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Units\"=dword:3\n");
    EXPECT_EQ(Load(), Defaults());
}

struct ReadingCase {
    const char* name;
    const char* values;
    StoredSettings expected;
};

void PrintTo(const ReadingCase& readingCase, std::ostream* out) {
    *out << readingCase.name;
}

class SettingsStoreRules : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(SettingsStoreRules, ReadsInOrderAndStopsAtTheFirstUnusableValue) {
    TempConfig config;
    config.WriteStore(GetParam().values);
    EXPECT_EQ(Load(), GetParam().expected) << config.ReadStore();
}

const std::string kDefaultLog = "/default/Varn Log.txt";

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsStoreRules,
    ::testing::Values(
        ReadingCase{"UnitsOnly", "\"Units\"=dword:00000002\n", {2, 1, 1, kDefaultLog}},
        ReadingCase{"UnitsAsStringReadsNothing",
                    "\"Units\"=\"2\"\n\"DisplayMode\"=dword:0\n\"MessageTypeIndex\"=dword:4\n",
                    {0, 1, 1, kDefaultLog}},
        ReadingCase{"MissingLogFileReadsEmpty",
                    "\"Units\"=dword:1\n\"DisplayMode\"=dword:0\n\"MessageTypeIndex\"=dword:5\n",
                    {1, 0, 5, ""}},
        ReadingCase{"LogFileOfWrongTypeKeepsDefault",
                    "\"Units\"=dword:1\n\"DisplayMode\"=dword:0\n\"MessageTypeIndex\"=dword:5\n"
                    "\"DefaultLogFile\"=dword:7\n",
                    {1, 0, 5, kDefaultLog}},
        ReadingCase{"AllFour",
                    "\"DefaultLogFile\"=\"/data/wind.txt\"\n\"MessageTypeIndex\"=dword:3\n"
                    "\"DisplayMode\"=dword:0\n\"Units\"=dword:4\n",
                    {4, 0, 3, "/data/wind.txt"}},
        ReadingCase{
            "UnitsAboveFourBecomeMetres", "\"Units\"=dword:00000007\n", {0, 1, 1, kDefaultLog}},
        ReadingCase{"DisplayModeAboveOneBecomesUV",
                    "\"Units\"=dword:3\n\"DisplayMode\"=dword:00000002\n",
                    {3, 0, 1, kDefaultLog}},
        ReadingCase{"NegativeValuesPassTheSignedChecks",
                    "\"Units\"=dword:ffffffff\n\"DisplayMode\"=dword:ffffffff\n"
                    "\"MessageTypeIndex\"=dword:fffffffe\n",
                    {-1, -1, -2, ""}},
        ReadingCase{"MissingDisplayModeStopsBeforeTheRest",
                    "\"Units\"=dword:1\n\"MessageTypeIndex\"=dword:3\n"
                    "\"DefaultLogFile\"=\"/x\"\n",
                    {1, 1, 1, kDefaultLog}},
        ReadingCase{"BinaryMessageTypeStopsThere",
                    "\"Units\"=dword:1\n\"DisplayMode\"=dword:1\n\"MessageTypeIndex\"=hex:01\n",
                    {1, 1, 1, kDefaultLog}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsStoreReading, GarbageOrUnreadableFileKeepsDefaults) {
    TempConfig config;
    std::mt19937 random(7);
    std::string garbage(5000, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(random());
    }
    config.WriteRaw(garbage);
    EXPECT_EQ(Load(), Defaults());

    // A folder where the file should be cannot be read as a file.
    std::filesystem::remove(config.StorePath());
    std::filesystem::create_directories(config.StorePath());
    EXPECT_EQ(Load(), Defaults());
}

TEST(SettingsStoreReading, OversizedFileIsNotParsed) {
    TempConfig config;
    config.WriteStore("\"Units\"=dword:2\n" + std::string(100 * 1024, ';') + "\n");
    EXPECT_EQ(Load(), Defaults());
}

TEST(SettingsStoreWriting, RoundTripCreatesFoldersAndLeavesNoTemporaryFile) {
    TempConfig config;
    const StoredSettings saved{3, 0, 7, "/home/wind \"site\"\\log.txt"};
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), saved));
    EXPECT_EQ(Load(), saved);

    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(config.StoreFolder())) {
        EXPECT_EQ(entry.path().filename(), "ventrix.reg");
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_NE(config.ReadStore().find("\"Units\"=dword:00000003"), std::string::npos);
}

TEST(SettingsStoreWriting, NegativeValuesSurviveTheRoundTrip) {
    TempConfig config;
    const StoredSettings saved{-1, -1, -5, ""};
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), saved));
    EXPECT_EQ(Load(), saved);
}

TEST(SettingsStoreWriting, KeepsOtherValuesAndReplacesWrongTypes) {
    TempConfig config;
    config.WriteRaw(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix]\n"
        "\"Units\"=\"not a number\"\n\"Note\"=\"kept\"\n[Other]\n\"A\"=dword:1\n");
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), StoredSettings{2, 1, 1, "/l"}));
    const std::string text = config.ReadStore();
    EXPECT_NE(text.find("\"Note\"=\"kept\""), std::string::npos);
    EXPECT_NE(text.find("[Other]\n\"A\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(Load(), (StoredSettings{2, 1, 1, "/l"}));
}

TEST(SettingsStoreWriting, FailureIsReportedAndLeavesNothingBehind) {
    TempConfig config;
    // A plain file where the store's folder belongs: the folder cannot be created.
    std::filesystem::create_directories(config.Folder());
    { std::ofstream(config.StoreFolder()) << "in the way"; }
    EXPECT_FALSE(SaveSettings(SettingsFilePath(), StoredSettings{}));
    EXPECT_FALSE(SaveSettings("", StoredSettings{}));
}

// ---- What lies at the settings path ----

// Runs fn on a thread of its own and waits up to 10 s; a call still blocked then is released by
// `unblock` and the test fails, rather than hanging the suite.
bool ReturnsPromptly(const std::function<void()>& fn, const std::function<void()>& unblock) {
    auto done = std::async(std::launch::async, fn);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        return true;
    }
    for (int i = 0;
         i < 100 && done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready;
         ++i) {
        unblock();
    }
    return false;
}

// A FIFO or a terminal at the path would block start-up and the close for ever in open or read.
TEST(SettingsStorePath, AFifoIsNeitherWaitedForNorReplaced) {
    TempConfig config;
    std::filesystem::create_directories(config.StoreFolder());
    ASSERT_EQ(mkfifo(config.StorePath().c_str(), 0600), 0);
    auto feedFifo = [&] {
        const int fd = open(config.StorePath().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            close(fd);
        }
    };
    StoredSettings loaded = Defaults();
    EXPECT_TRUE(ReturnsPromptly([&] { LoadSettings(SettingsFilePath(), loaded); }, feedFifo));
    EXPECT_EQ(loaded, Defaults());
    bool saved = true;
    EXPECT_TRUE(ReturnsPromptly(
        [&] {
            saved = SaveSettings(SettingsFilePath(), StoredSettings{2, 0, 3, "/l"});
        },
        feedFifo));
    EXPECT_FALSE(saved);
    EXPECT_TRUE(std::filesystem::is_fifo(config.StorePath()));
}

TEST(SettingsStorePath, ADeviceOrAFolderIsNeitherReadNorReplaced) {
    TempConfig config;
    std::filesystem::create_directories(config.StoreFolder());
    test::PseudoTerminal line;
    const std::string terminal = line.SlavePath();
    std::filesystem::create_symlink(terminal, config.StorePath());
    // End of file typed at the terminal (Ctrl-D) ends a read that should never have begun.
    auto typeEndOfFile = [&] { line.Offer("\x04"); };
    StoredSettings loaded = Defaults();
    EXPECT_TRUE(ReturnsPromptly([&] { LoadSettings(SettingsFilePath(), loaded); }, typeEndOfFile));
    EXPECT_EQ(loaded, Defaults());
    bool saved = true;
    EXPECT_TRUE(ReturnsPromptly(
        [&] {
            saved = SaveSettings(SettingsFilePath(), StoredSettings{2, 0, 3, "/l"});
        },
        typeEndOfFile));
    EXPECT_FALSE(saved);
    EXPECT_TRUE(std::filesystem::is_character_file(terminal));
    line.CloseMaster();

    std::filesystem::remove(config.StorePath());
    std::filesystem::create_directories(config.StorePath());
    loaded = Defaults();
    LoadSettings(SettingsFilePath(), loaded);
    EXPECT_EQ(loaded, Defaults());
    EXPECT_FALSE(SaveSettings(SettingsFilePath(), StoredSettings{2, 0, 3, "/l"}));
    EXPECT_TRUE(std::filesystem::is_directory(config.StorePath()));
}

// A user who keeps the file elsewhere and links to it keeps the link; the file it leads to gets
// the new values.
TEST(SettingsStorePath, ALinkedFileStaysALinkAndIsWrittenThrough) {
    TempConfig config;
    std::filesystem::create_directories(config.StoreFolder());
    const std::filesystem::path elsewhere = std::filesystem::path(config.Folder()) / "kept";
    std::filesystem::create_directories(elsewhere);
    const std::filesystem::path real = elsewhere / "ventrix.reg";
    std::filesystem::create_symlink("../kept/ventrix.reg", config.StorePath());
    // Dangling at first: the first save creates the file the link leads to.
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), StoredSettings{3, 0, 2, "/a"}));
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), StoredSettings{4, 1, 5, "/b"}));
    EXPECT_TRUE(std::filesystem::is_symlink(config.StorePath()));
    EXPECT_TRUE(std::filesystem::is_regular_file(real));
    EXPECT_EQ(Load(), (StoredSettings{4, 1, 5, "/b"}));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(elsewhere)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);  // no temporary file left beside it
}

TEST(SettingsStorePath, TemporaryFilesLeftByACrashAreRemoved) {
    TempConfig config;
    std::filesystem::create_directories(config.StoreFolder());
    const std::filesystem::path folder = config.StoreFolder();
    auto make = [&](const char* name, bool old) {
        std::ofstream(folder / name) << "REGEDIT4\n";
        if (old) {
            std::filesystem::last_write_time(
                folder / name,
                std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        }
    };
    make("ventrix.reg.a1B2c3", true);   // left by a crash
    make("ventrix.reg.Zz9Yy8", true);   // left by a crash
    make("ventrix.reg.q1W2e3", false);  // another instance writing just now
    make("ventrix.reg.bak", true);      // the user's own copy
    make("notes.txt", true);
    ASSERT_TRUE(SaveSettings(SettingsFilePath(), StoredSettings{1, 1, 1, "/l"}));
    EXPECT_FALSE(std::filesystem::exists(folder / "ventrix.reg.a1B2c3"));
    EXPECT_FALSE(std::filesystem::exists(folder / "ventrix.reg.Zz9Yy8"));
    EXPECT_TRUE(std::filesystem::exists(folder / "ventrix.reg.q1W2e3"));
    EXPECT_TRUE(std::filesystem::exists(folder / "ventrix.reg.bak"));
    EXPECT_TRUE(std::filesystem::exists(folder / "notes.txt"));
    EXPECT_EQ(Load(), (StoredSettings{1, 1, 1, "/l"}));
}

}  // namespace
}  // namespace vx
