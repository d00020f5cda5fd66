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

    // Stop, then wait for the writer's thread to finish the file.
    static void StopAndWait(ConnectionLog& log) {
        log.StopLogging();
        ASSERT_TRUE(log.WaitUntilWritten(test::kWriteDeadline));
    }

    test::RecordingEnvironment environment;
    test::ManualClock clock;
    test::TempFolder folder;
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
    StopAndWait(*log);

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
    StopAndWait(*log);

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
    StopAndWait(*log);
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
    StopAndWait(*log);
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
    StopAndWait(*log);
    EXPECT_THAT(FileNamesIn(folder.Path()),
                ElementsAre("Varn Log [Anemometer 1]-0.txt", "Varn Log [Anemometer 1]-1.txt",
                            "Varn Log [Anemometer 1]-2.txt"));
    EXPECT_EQ(ReadFile(folder / "Varn Log [Anemometer 1]-1.txt"), "keep me");
}

// Each connection writes on its own thread, so two connections of the same name take the two
// numbers in whichever order their files are created; neither overwrites the other.
TEST_F(ConnectionLogTest, SameNamedConnectionsTakeDifferentNumbers) {
    auto first = MakeLog();
    auto second = MakeLog();
    first->SetOutputFormatName("FIRST");
    second->SetOutputFormatName("SECOND");
    first->StartLogging(Base());
    second->StartLogging(Base());
    second->StopLogging();
    StopAndWait(*first);
    ASSERT_TRUE(second->WaitUntilWritten(test::kWriteDeadline));
    const std::string zero = ReadFile(folder / "Varn Log [Anemometer 1]-0.txt");
    const std::string one = ReadFile(folder / "Varn Log [Anemometer 1]-1.txt");
    EXPECT_NE(zero.find("Output Format: FIRST\r\n") == std::string::npos,
              one.find("Output Format: FIRST\r\n") == std::string::npos);
    EXPECT_NE(zero.find("Output Format: SECOND\r\n") == std::string::npos,
              one.find("Output Format: SECOND\r\n") == std::string::npos);
}

TEST_F(ConnectionLogTest, SegmentBoundaryEndsFileAtNextMessageAndRestartsNumbering) {
    environment.options = {true, false};
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage("one");
    log->LogMessage("two");
    environment.description = {"second segment"};
    log->RequestNewLogFile();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_EQ(log->CurrentLogFileName(), folder / "Varn Log [Anemometer 1]-0.txt");
    clock.Advance(std::chrono::minutes(1));
    log->LogMessage("three");
    EXPECT_FALSE(log->NewLogFileRequested());
    EXPECT_EQ(log->RecordCount(), 1);
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_EQ(log->CurrentLogFileName(), folder / "Varn Log [Anemometer 1]-1.txt");
    StopAndWait(*log);

    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::EndsWith("one,1\r\ntwo,2\r\nLog file closed: 2024-03-01 12:35:56\r\n"));
    const std::string second = ReadFile(folder / "Varn Log [Anemometer 1]-1.txt");
    EXPECT_THAT(second, ::testing::StartsWith("Ventrix Log File \r\nsecond segment\r\n"));
    EXPECT_THAT(second, ::testing::HasSubstr("Log file opened: 2024-03-01 12:35:56\r\n\r\n"
                                             "three,1\r\nLog file closed"));
}

// The Options page may rename the connection or change its format while logging: a file that
// begins afterwards says so in its name and header; the file already open keeps its own.
TEST_F(ConnectionLogTest, EachFileCarriesTheNameAndFormatOfTheMomentItBegins) {
    auto log = MakeLog("North");
    log->StartLogging(Base());
    log->LogMessage("before");
    log->SetConnectionName("North mast");
    log->SetOutputFormatName("NMEA_POLAR");
    log->LogMessage("same file");
    log->RequestNewLogFile();
    log->LogMessage("after");
    StopAndWait(*log);

    const std::string first = ReadFile(folder / "Varn Log [North]-0.txt");
    EXPECT_THAT(first, ::testing::HasSubstr("Name: North\r\nOutput Format: VARN_UV_TWO_AXIS\r\n"));
    EXPECT_THAT(first, ::testing::HasSubstr("\r\n\r\nbefore\r\nsame file\r\nLog file closed"));
    const std::string second = ReadFile(folder / "Varn Log [North mast]-0.txt");
    EXPECT_THAT(second, ::testing::HasSubstr("Name: North mast\r\nOutput Format: NMEA_POLAR\r\n"));
    EXPECT_THAT(second, ::testing::HasSubstr("\r\n\r\nafter\r\nLog file closed"));
}

// The records of a running file are durable without Stop: synced within about a second.
TEST_F(ConnectionLogTest, RecordsReachTheFileBeforeStop) {
    auto log = MakeLog();
    log->StartLogging(Base());
    log->LogMessage("first");
    log->LogMessage("second");
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_FALSE(log->HasUnwrittenRecords());
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::EndsWith("\r\n\r\nfirst\r\nsecond\r\n"));
    StopAndWait(*log);
}

TEST_F(ConnectionLogTest, StopWithoutLoggingWritesNothingAndMessagesAreIgnored) {
    auto log = MakeLog();
    log->LogMessage("not logging");
    log->StopLogging();
    EXPECT_FALSE(log->HasUnwrittenRecords());
    EXPECT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_TRUE(FileNamesIn(folder.Path()).empty());
}

TEST_F(ConnectionLogTest, NameWithFolderSeparatorIsSafeInFileNameOnly) {
    auto log = MakeLog("Mast/3\tNorth");
    log->StartLogging(Base());
    StopAndWait(*log);
    EXPECT_THAT(FileNamesIn(folder.Path()), ElementsAre("Varn Log [Mast_3_North]-0.txt"));
    EXPECT_THAT(ReadFile(folder / "Varn Log [Mast_3_North]-0.txt"),
                ::testing::HasSubstr("\r\nName: Mast/3\tNorth\r\n"));
}

// Syncs are what a slow disk makes slow: a steady stream of records is synced about once a
// second, not once per record, and the closing line is synced at once.
TEST_F(ConnectionLogTest, SyncsAreBatchedAndTheClosingLineIsSyncedAtOnce) {
    test::SyncDouble sync;
    LogWriterSettings settings;
    settings.sync = sync.Function();
    auto log = std::make_unique<ConnectionLog>(environment, clock, settings);
    log->SetConnectionName("Anemometer 1");
    const auto began = std::chrono::steady_clock::now();
    log->StartLogging(Base());
    for (int i = 0; i < 200; ++i) {
        log->LogMessage("fast");
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began)
            .count();
    // One for the new file, then at most one per second that passed.
    EXPECT_LE(sync.Calls(), 2 + seconds);
    EXPECT_EQ(log->SyncCount(), sync.Calls());
    const int beforeStop = sync.Calls();
    StopAndWait(*log);
    EXPECT_EQ(sync.Calls(), beforeStop + 1);
    EXPECT_THAT(ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::EndsWith("fast\r\nLog file closed: 2024-03-01 12:34:56\r\n"));
}

}  // namespace
}  // namespace vx
