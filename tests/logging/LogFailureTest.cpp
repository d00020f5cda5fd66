// Log files that fail, on real files and folders. CI runs as root, which permission bits do not
// stop, so the failures are made from what stops root too: a folder whose parent is a regular
// file, a folder that is missing or removed, a name longer than the file system takes, a file
// deleted or moved away while open. A failing sync needs the sync double.

#include "logging/ConnectionLog.h"
#include "tests/logging/LogTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace vx {
namespace {

using test::EventuallyReported;
using test::FileNamesIn;
using test::ReadFile;
using test::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The record lines of a log file (between the blank line after the header and the closing
// line), and whether the file is complete.
struct LogContent {
    std::vector<std::string> records;
    bool complete = false;
    std::string header;
};

LogContent ReadLog(const std::string& path) {
    LogContent content;
    const std::string text = ReadFile(path);
    const size_t body = text.find("\r\n\r\n");
    if (body == std::string::npos) {
        return content;
    }
    content.header = text.substr(0, body + 2);
    size_t at = body + 4;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            break;
        }
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.rfind("Log file closed: ", 0) == 0) {
            content.complete = at == text.size();
            break;
        }
        content.records.push_back(line);
    }
    return content;
}

std::vector<std::string> Numbered(const std::string& prefix, int from, int to) {
    std::vector<std::string> lines;
    for (int i = from; i <= to; ++i) {
        lines.push_back(prefix + std::to_string(i));
    }
    return lines;
}

class LogFailureTest : public ::testing::Test {
protected:
    LogFailureTest() {
        settings.fallbackFolder = folder / "state/ventrix";
        settings.timings.retryInterval = std::chrono::milliseconds(20);
        settings.timings.returnInterval = std::chrono::milliseconds(100);
        settings.timings.fallbackAfter = std::chrono::milliseconds(300);
    }

    std::unique_ptr<ConnectionLog> MakeLog(const std::string& name = "A") {
        auto log = std::make_unique<ConnectionLog>(environment, SystemLogClock(), settings);
        log->SetConnectionName(name);
        log->SetOutputFormatName("VARN_UV_TWO_AXIS");
        return log;
    }

    // A regular file where a folder should be: nothing can ever be created below it.
    std::string Blocker(const std::string& name = "blocker") {
        const std::string path = folder / name;
        std::ofstream(path) << "not a folder";
        return path;
    }

    void Log(ConnectionLog& log, const std::vector<std::string>& messages) {
        for (const std::string& message : messages) {
            log.LogMessage(message);
        }
    }

    std::string FallbackFolder() const { return settings.fallbackFolder; }

    test::RecordingEnvironment environment;
    test::TempFolder folder;
    LogWriterSettings settings;
};

// One failed Start must not stop the next: the new folder is written at once, while the old
// file keeps waiting for its own folder.
TEST_F(LogFailureTest, StopChangeTheFolderAndStartWorksAtOnce) {
    settings.timings.fallbackAfter = std::chrono::minutes(10);
    auto log = MakeLog();
    const std::string bad = Blocker() + "/Varn Log.txt";
    log->StartLogging(bad);
    Log(*log, {"lost folder 1", "lost folder 2"});
    ASSERT_TRUE(EventuallyReported(*log, environment, 1));
    log->StopLogging();

    log->StartLogging(folder / "Varn Log.txt");
    Log(*log, {"good 1", "good 2"});
    log->StopLogging();
    const std::string good = folder / "Varn Log [A]-0.txt";
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(good).complete; }));
    EXPECT_THAT(ReadLog(good).records, ElementsAre("good 1", "good 2"));
    EXPECT_TRUE(log->HasUnwrittenRecords());  // the first file still waits for its folder

    log->Tick();
    EXPECT_THAT(environment.errors,
                ElementsAre("Cannot create file " + folder / "blocker/Varn Log [A]-0.txt"));

    // Another Start into trouble is told again.
    log->StartLogging(folder / "missing/Varn Log.txt");
    ASSERT_TRUE(EventuallyReported(*log, environment, 2));
    EXPECT_EQ(environment.errors[1], "Cannot create file " + folder / "missing/Varn Log [A]-0.txt");
    log->StopLogging();
}

// A folder that stays unwritable: after a while the waiting records, and those that follow, go
// to the state folder; when the folder appears they go back to it. Every record once, in order.
TEST_F(LogFailureTest, MissingFolderFallsBackAndRecordsReturnWhenItAppears) {
    environment.options = {true, false};
    auto log = MakeLog();
    const std::string chosen = folder / "later";
    log->StartLogging(chosen + "/Varn Log.txt");
    Log(*log, Numbered("m", 1, 5));
    ASSERT_TRUE(EventuallyReported(*log, environment, 2));
    EXPECT_EQ(environment.errors[0], "Cannot create file " + chosen + "/Varn Log [A]-0.txt");
    const std::string fallback = FallbackFolder() + "/Varn Log [A]-0.txt";
    EXPECT_EQ(environment.errors[1],
              "Log records go to " + fallback + " until " + chosen + " can be written again");
    Log(*log, Numbered("m", 6, 10));

    std::filesystem::create_directory(chosen);
    const std::string back = chosen + "/Varn Log [A]-0.txt";
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(back); }));
    Log(*log, Numbered("m", 11, 15));
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    const LogContent first = ReadLog(fallback);
    const LogContent second = ReadLog(back);
    EXPECT_TRUE(first.complete);
    EXPECT_TRUE(second.complete);
    EXPECT_EQ(first.header, second.header);
    EXPECT_THAT(first.header, HasSubstr("Name: A\r\n"));
    std::vector<std::string> all;
    for (const LogContent* part : {&first, &second}) {
        for (size_t i = 0; i < part->records.size(); ++i) {
            // Each file numbers its records from 1.
            const std::string suffix = "," + std::to_string(i + 1);
            ASSERT_TRUE(part->records[i].ends_with(suffix)) << part->records[i];
            all.push_back(part->records[i].substr(0, part->records[i].size() - suffix.size()));
        }
    }
    EXPECT_EQ(all, Numbered("m", 1, 15));
    EXPECT_FALSE(second.records.empty());
    log->Tick();
    EXPECT_EQ(environment.errors.size(), 2u);
}

// A connection name that makes the file name too long fails in every folder; the fallback
// file's name is shortened to fit, its header keeps the whole name.
TEST_F(LogFailureTest, NameTooLongForTheFileSystemFallsBackUnderAShortenedName) {
    const std::string name(300, 'n');
    auto log = MakeLog(name);
    log->StartLogging(folder / "Varn Log.txt");
    Log(*log, {"one", "two"});
    ASSERT_TRUE(EventuallyReported(*log, environment, 2));
    EXPECT_THAT(environment.errors[0], HasSubstr("Cannot create file "));
    EXPECT_THAT(environment.errors[1], HasSubstr("Log records go to " + FallbackFolder() + "/"));
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    const std::vector<std::string> names = FileNamesIn(FallbackFolder());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_LE(names[0].size(), kMaxFileNameBytes);
    EXPECT_THAT(names[0], ::testing::MatchesRegex("Varn Log \\[n+\\]-0\\.txt"));
    const LogContent content = ReadLog(FallbackFolder() + "/" + names[0]);
    EXPECT_TRUE(content.complete);
    EXPECT_THAT(content.header, HasSubstr("Name: " + name + "\r\n"));
    EXPECT_THAT(content.records, ElementsAre("one", "two"));
    EXPECT_TRUE(FileNamesIn(folder.Path()) == std::vector<std::string>{"state"});
}

// The open file deleted by someone else: logging goes on in a new file, told once.
TEST_F(LogFailureTest, DeletedOpenFileIsNoticedAndLoggingGoesOnInANewFile) {
    auto log = MakeLog();
    log->StartLogging(folder / "Varn Log.txt");
    Log(*log, {"kept 1", "kept 2"});
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    const std::string file = folder / "Varn Log [A]-0.txt";
    ASSERT_EQ(::unlink(file.c_str()), 0);
    Log(*log, {"after 1", "after 2"});
    ASSERT_TRUE(EventuallyReported(*log, environment, 1));
    EXPECT_EQ(environment.errors[0],
              "Log file " + file + " was deleted or moved: logging goes on in a new file");
    Log(*log, {"after 3"});
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    // The number is free again, so the new file takes it.
    const LogContent content = ReadLog(file);
    EXPECT_TRUE(content.complete);
    EXPECT_THAT(content.records, ElementsAre("after 1", "after 2", "after 3"));
    log->Tick();
    EXPECT_EQ(environment.errors.size(), 1u);
}

// Moved away (a collector script): the moved file keeps what was written to it, up to the
// moment the move was noticed; later records go on in a new file under the old name.
TEST_F(LogFailureTest, FileMovedAwayKeepsItsRecordsAndLoggingGoesOn) {
    auto log = MakeLog();
    log->StartLogging(folder / "Varn Log.txt");
    Log(*log, {"first"});
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    const std::string file = folder / "Varn Log [A]-0.txt";
    std::filesystem::rename(file, folder / "collected.txt");
    Log(*log, {"second"});
    ASSERT_TRUE(EventuallyReported(*log, environment, 1));
    Log(*log, {"third"});
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    EXPECT_THAT(ReadLog(folder / "collected.txt").records, ElementsAre("first", "second"));
    const LogContent content = ReadLog(file);
    EXPECT_TRUE(content.complete);
    EXPECT_THAT(content.records, ElementsAre("third"));
}

// rm -r of the log folder while logging: the file is gone and no new one can be made there, so
// the records go to the fallback folder.
TEST_F(LogFailureTest, RemovedFolderSendsTheRecordsToTheFallbackFolder) {
    const std::string chosen = folder / "logs";
    std::filesystem::create_directory(chosen);
    auto log = MakeLog();
    log->StartLogging(chosen + "/Varn Log.txt");
    Log(*log, {"before"});
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    std::filesystem::remove_all(chosen);
    Log(*log, Numbered("r", 1, 4));
    ASSERT_TRUE(EventuallyReported(*log, environment, 2));
    EXPECT_THAT(environment.errors[0], HasSubstr(" was deleted or moved"));
    EXPECT_THAT(environment.errors[1], HasSubstr("Log records go to " + FallbackFolder()));
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    const LogContent content = ReadLog(FallbackFolder() + "/Varn Log [A]-0.txt");
    EXPECT_TRUE(content.complete);
    EXPECT_EQ(content.records, Numbered("r", 1, 4));
}

// fdatasync that fails has lost the pages it could not write, and a retry would report
// success: the records since the last good sync are written again into a new file.
TEST_F(LogFailureTest, FailedSyncWritesTheUnsyncedRecordsAgainIntoANewFile) {
    test::SyncDouble sync;
    sync.FailCall(2);  // the first sync (the new file) succeeds, the next fails
    settings.sync = sync.Function();
    environment.options = {true, false};
    auto log = MakeLog();
    log->StartLogging(folder / "Varn Log.txt");
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    ASSERT_EQ(sync.Calls(), 1);
    Log(*log, {"x", "y", "z"});
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));

    const LogContent again = ReadLog(folder / "Varn Log [A]-1.txt");
    EXPECT_TRUE(again.complete);
    EXPECT_THAT(again.records, ElementsAre("x,1", "y,2", "z,3"));
    EXPECT_EQ(sync.Calls(), 3);
    EXPECT_EQ(log->SyncCount(), 2);  // the failed sync made nothing durable
    ASSERT_TRUE(EventuallyReported(*log, environment, 1));
    EXPECT_EQ(environment.errors[0],
              "Cannot save file " + folder / "Varn Log [A]-0.txt" +
                  " to disk: its last records are written again into a new file");
}

// Nothing can be written anywhere: the records wait up to the bound, later ones are refused
// and counted, and the user is told once. When the folder works again the kept ones follow.
TEST_F(LogFailureTest, MemoryStaysBoundedWhenNothingCanBeWritten) {
    const std::string blocker = Blocker();
    settings.fallbackFolder = Blocker("state-blocker") + "/ventrix";
    auto log = MakeLog();
    log->StartLogging(blocker + "/Varn Log.txt");
    const std::string message(40, 'w');
    const int handed = 200000;  // about 20 MB counted
    for (int i = 0; i < handed; ++i) {
        log->LogMessage(message);
    }
    const long lost = log->LostRecords();
    EXPECT_GT(lost, 0);
    // Counted with what holding each record costs, so the memory really used stays below too.
    EXPECT_LE(log->WaitingBytes(), kMaxWaitingLogBytes);
    EXPECT_LT(kMaxWaitingLogBytes, 16u * 1000u * 1000u);
    ASSERT_TRUE(EventuallyReported(*log, environment, 3));
    EXPECT_THAT(environment.errors,
                ::testing::UnorderedElementsAre(
                    "Cannot create file " + blocker + "/Varn Log [A]-0.txt",
                    "Cannot create file " + folder / "state-blocker/ventrix/Varn Log [A]-0.txt",
                    "Log records of A are being lost: no log file can be written"));

    // The folder appears: the records that were kept go out, the oldest first.
    std::filesystem::remove(blocker);
    std::filesystem::create_directory(blocker);
    log->StopLogging();
    ASSERT_TRUE(log->WaitUntilWritten(test::kWriteDeadline));
    const LogContent content = ReadLog(blocker + "/Varn Log [A]-0.txt");
    EXPECT_TRUE(content.complete);
    EXPECT_EQ(static_cast<long>(content.records.size()), handed - lost);
    log->Tick();
    EXPECT_EQ(environment.errors.size(), 3u);
}

// Each connection has its own writer: one whose disk syncs slowly holds back nobody else.
TEST_F(LogFailureTest, ASlowDiskForOneConnectionDoesNotHoldBackAnother) {
    test::SyncDouble slowSync;
    slowSync.Delay(std::chrono::milliseconds(1500));
    LogWriterSettings slowSettings = settings;
    slowSettings.sync = slowSync.Function();
    auto slow = std::make_unique<ConnectionLog>(environment, SystemLogClock(), slowSettings);
    slow->SetConnectionName("Slow");
    auto fast = MakeLog("Fast");
    slow->StartLogging(folder / "Varn Log.txt");
    fast->StartLogging(folder / "Varn Log.txt");
    Log(*slow, {"s"});
    Log(*fast, {"f"});
    fast->StopLogging();
    slow->StopLogging();
    ASSERT_TRUE(fast->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_TRUE(ReadLog(folder / "Varn Log [Fast]-0.txt").complete);
    EXPECT_TRUE(slow->HasUnwrittenRecords());
    ASSERT_TRUE(slow->WaitUntilWritten(test::kWriteDeadline));
    EXPECT_THAT(ReadLog(folder / "Varn Log [Slow]-0.txt").records, ElementsAre("s"));
}

}  // namespace
}  // namespace vx
