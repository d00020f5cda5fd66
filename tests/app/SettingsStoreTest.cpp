#include "app/SettingsStore.h"

#include "tests/app/TempConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

}  // namespace
}  // namespace vx
