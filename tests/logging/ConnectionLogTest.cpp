#include "logging/ConnectionLog.h"
#include "tests/logging/LogTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vx {
namespace {

using test::FileNamesIn;
using test::ReadFile;
using ::testing::ElementsAre;

class ConnectionLogTest : public ::testing::Test {
protected:
    ConnectionLogTest() {
        test::UseUtc();
        clock.wall = test::UtcTime(2024, 3, 1, 12, 34, 56);
    }

    std::unique_ptr<ConnectionLog> MakeLog(const std::string& name = "Anemometer 1") {
        auto log = std::make_unique<ConnectionLog>(environment, clock);
        log->SetConnectionName(name);
        log->SetOutputFormatName("VARN_UV_TWO_AXIS");
        return log;
    }

    std::string Base(const std::string& file = "Varn Log.txt") const { return folder / file; }

    test::RecordingEnvironment environment;
    test::ManualClock clock;
    test::ScratchFolder folder;
};

TEST_F(ConnectionLogTest, ThreeRecordsWithNumberAndStampGiveExactFile) {
    environment.options = {true, true};
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage(
        "Q,+001.00,-002.00,M,00,\x03"
        "2A");
    clock.Advance(std::chrono::milliseconds(250));
    log->LogMessage(
        "Q,+001.10,-002.00,M,00,\x03"
        "2B");
    clock.Advance(std::chrono::seconds(1));
    log->LogMessage(
        "Q,+001.20,-002.00,M,00,\x03"
        "2C");
    EXPECT_TRUE(log->StopLogging());

    EXPECT_EQ(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
              "Ventrix Log File \r\n"
              "Name: Anemometer 1\r\n"
              "Output Format: VARN_UV_TWO_AXIS\r\n"
              "Log file opened: 2024-03-01 12:34:56\r\n"
              "\r\n"
              "Q,+001.00,-002.00,M,00,\x03"
              "2A,1,2024-03-01 12:34:56\r\n"
              "Q,+001.10,-002.00,M,00,\x03"
              "2B,2,2024-03-01 12:34:56\r\n"
              "Q,+001.20,-002.00,M,00,\x03"
              "2C,3,2024-03-01 12:34:57\r\n"
              "Log file closed: 2024-03-01 12:34:57\r\n");
    EXPECT_FALSE(log->Logging());
    EXPECT_TRUE(environment.errors.empty());
}

TEST_F(ConnectionLogTest, OptionsAreReadAtStartAndEachAddsItsOwnField) {
    environment.options = {true, false};
    auto log = MakeLog();
    log->StartLogging(Base());
    environment.options = {false, true};  // changed while logging: not seen until next start
    log->LogMessage("A");
    log->StopLogging();
    environment.options = {false, true};
    log->StartLogging(Base());
    log->LogMessage("B");
    log->StopLogging();
    environment.options = {false, false};
    log->StartLogging(Base());
    log->LogMessage("C");
    log->StopLogging();

    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::HasSubstr("\r\n\r\nA,1\r\nLog file closed"));
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-1.txt"),
                ::testing::HasSubstr("\r\n\r\nB,2024-03-01 12:34:56\r\nLog file closed"));
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-2.txt"),
                ::testing::HasSubstr("\r\n\r\nC\r\nLog file closed"));
}

TEST_F(ConnectionLogTest, DescriptionLinesStandBetweenCaptionAndName) {
    auto log = MakeLog();
    environment.description = {"Mast 3, north side", "", "Calibrated 2024"};
    log->StartLogging(Base());
    log->StopLogging();
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::StartsWith("Ventrix Log File \r\nMast 3, north side\r\n\r\n"
                                      "Calibrated 2024\r\nName: Anemometer 1\r\n"));
}

TEST_F(ConnectionLogTest, MidnightShowsDateAloneInHeaderButNotInRecordStamp) {
    clock.wall = test::UtcTime(2024, 3, 2, 0, 0, 0);
    environment.options = {false, true};
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage("M");
    log->StopLogging();
    const std::string content = ReadFile(folder / "Varn Log [Anemometer 1]-0.txt");
    EXPECT_THAT(content, ::testing::HasSubstr("Log file opened: 2024-03-02\r\n"));
    EXPECT_THAT(content, ::testing::HasSubstr("M,2024-03-02 00:00:00\r\n"));
    EXPECT_THAT(content, ::testing::EndsWith("Log file closed: 2024-03-02\r\n"));
}

TEST_F(ConnectionLogTest, RunsAreNumberedAndNeverOverwriteAFile) {
    {
        std::ofstream existing(folder / "Varn Log [Anemometer 1]-1.txt");
        existing << "keep me";
    }
    auto log = MakeLog();
    log->StartLogging(Base());
    log->StopLogging();
    log->StartLogging(Base());
    log->StopLogging();
    EXPECT_THAT(FileNamesIn(folder.Path()),
                ElementsAre("Varn Log [Anemometer 1]-0.txt", "Varn Log [Anemometer 1]-1.txt",
                            "Varn Log [Anemometer 1]-2.txt"));
    EXPECT_EQ(ReadFile(folder / "Varn Log [Anemometer 1]-1.txt"), "keep me");
}

TEST_F(ConnectionLogTest, SameNamedConnectionsTakeNumbersInStartOrder) {
    auto first = MakeLog();
    auto second = MakeLog();
    first->SetOutputFormatName("FIRST");
    second->SetOutputFormatName("SECOND");
    first->StartLogging(Base());
    second->StartLogging(Base());
    // The second stops first: the numbers still follow the order in which logging started.
    second->StopLogging();
    first->StopLogging();
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::HasSubstr("Output Format: FIRST\r\n"));
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-1.txt"),
                ::testing::HasSubstr("Output Format: SECOND\r\n"));
}

TEST_F(ConnectionLogTest, SegmentBoundaryEndsFileAtNextMessageAndRestartsNumbering) {
    environment.options = {true, false};
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage("one");
    log->LogMessage("two");
    environment.description = {"second segment"};
    log->RequestNewLogFile();
    EXPECT_EQ(log->CurrentLogFileName(), folder / "Varn Log [Anemometer 1]-0.txt");
    clock.Advance(std::chrono::minutes(1));
    log->LogMessage("three");
    EXPECT_FALSE(log->NewLogFileRequested());
    EXPECT_EQ(log->RecordCount(), 1);
    EXPECT_EQ(log->CurrentLogFileName(), folder / "Varn Log [Anemometer 1]-1.txt");
    log->StopLogging();

    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::EndsWith("one,1\r\ntwo,2\r\nLog file closed: 2024-03-01 12:35:56\r\n"));
    const std::string second = ReadFile(folder / "Varn Log [Anemometer 1]-1.txt");
    EXPECT_THAT(second, ::testing::StartsWith("Ventrix Log File \r\nsecond segment\r\n"));
    EXPECT_THAT(second, ::testing::HasSubstr("Log file opened: 2024-03-01 12:35:56\r\n\r\n"
                                             "three,1\r\nLog file closed"));
}

TEST_F(ConnectionLogTest, RecordsReachTheFileBeforeStop) {
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage("first");
    log->LogMessage("second");
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::EndsWith("\r\n\r\nfirst\r\nsecond\r\n"));
    log->StopLogging();
}

TEST_F(ConnectionLogTest, StopWithoutLoggingWritesNothingAndMessagesAreIgnored) {
    auto log = MakeLog();
    log->LogMessage("not logging");
    EXPECT_TRUE(log->StopLogging());
    EXPECT_TRUE(FileNamesIn(folder.Path()).empty());
}

TEST_F(ConnectionLogTest, NameWithFolderSeparatorIsSafeInFileNameOnly) {
    auto log = MakeLog("Mast/3\tNorth");
    log->StartLogging(Base());
    log->StopLogging();
    EXPECT_THAT(FileNamesIn(folder.Path()), ElementsAre("Varn Log [Mast_3_North]-0.txt"));
    EXPECT_THAT(ReadFile(folder / "Varn Log [Mast_3_North]-0.txt"),
                ::testing::HasSubstr("\r\nName: Mast/3\tNorth\r\n"));
}

// Root ignores permission bits, so an unwritable place is made from a folder that does not
// exist yet and is created later.
TEST_F(ConnectionLogTest, MissingFolderIsReportedOnceAndRecordsFollowWhenItAppears) {
    environment.options = {true, false};
    const std::string missing = folder / "later";
    auto log = MakeLog();
    log->StartLogging(missing + "/Varn Log.txt");
    log->LogMessage("one");
    log->LogMessage("two");
    log->Tick();
    log->RequestNewLogFile();
    log->LogMessage("three");
    EXPECT_FALSE(log->StopLogging());
    log->Tick();

    EXPECT_THAT(environment.errors,
                ElementsAre("Cannot create file " + missing + "/Varn Log [Anemometer 1]-0.txt"));
    EXPECT_TRUE(log->HasUnwrittenRecords());

    std::filesystem::create_directory(missing);
    log->Tick();
    EXPECT_FALSE(log->HasUnwrittenRecords());
    EXPECT_THAT(ReadFile(missing + "/Varn Log [Anemometer 1]-0.txt"),
                ::testing::MatchesRegex("Ventrix Log File \r\nName: Anemometer 1\r\n.*\r\n\r\n"
                                        "one,1\r\ntwo,2\r\nLog file closed: [^\r\n]*\r\n"));
    EXPECT_THAT(ReadFile(missing + "/Varn Log [Anemometer 1]-1.txt"),
                ::testing::MatchesRegex("Ventrix Log File \r\n.*\r\n\r\nthree,1\r\n"
                                        "Log file closed: [^\r\n]*\r\n"));
    EXPECT_EQ(environment.errors.size(), 1u);
}

TEST_F(ConnectionLogTest, EachFailureEpisodeIsReportedOnce) {
    // A regular file where the folder should be: creating files below it always fails.
    const std::string blocker = folder / "blocker";
    std::ofstream(blocker) << "x";
    auto log = MakeLog();
    log->StartLogging(blocker + "/Varn Log.txt");
    for (int i = 0; i < 5; ++i) {
        log->LogMessage("record");
    }
    EXPECT_EQ(environment.errors.size(), 1u);

    std::filesystem::remove(blocker);
    std::filesystem::create_directory(blocker);
    log->LogMessage("record");  // the first record after recovery writes everything
    EXPECT_FALSE(log->HasUnwrittenRecords());
    log->StopLogging();

    log->StartLogging(folder / "missing/Varn Log.txt");
    log->LogMessage("record");
    EXPECT_EQ(environment.errors.size(), 2u);
    log->StopLogging();
}

TEST_F(ConnectionLogTest, SyncsAreBatchedToOneASecondAndTickSyncsQuietRecords) {
    auto log = MakeLog();
    log->StartLogging(Base());
    const int afterStart = log->SyncCount();
    EXPECT_EQ(afterStart, 1);  // header and folder entry
    for (int i = 0; i < 100; ++i) {
        clock.Advance(std::chrono::milliseconds(9));
        log->LogMessage("fast");
    }
    EXPECT_EQ(log->SyncCount(), afterStart);  // 0.9 s: nothing due yet
    clock.Advance(std::chrono::milliseconds(200));
    log->LogMessage("due");
    EXPECT_EQ(log->SyncCount(), afterStart + 1);

    clock.Advance(std::chrono::milliseconds(100));
    log->LogMessage("quiet");
    log->Tick();  // 100 ms after the last sync: not yet
    EXPECT_EQ(log->SyncCount(), afterStart + 1);
    clock.Advance(std::chrono::milliseconds(900));
    log->Tick();
    EXPECT_EQ(log->SyncCount(), afterStart + 2);
    log->Tick();  // nothing new written: no sync
    EXPECT_EQ(log->SyncCount(), afterStart + 2);
    log->StopLogging();
    EXPECT_EQ(log->SyncCount(), afterStart + 3);  // the closing line is synced at once
}

}  // namespace
}  // namespace vx
