// Whole searches from the connect dialog's "Auto Find" button against the real ventrix-sim on a
// pseudo-terminal. The simulator answers "$$" only when the program's port runs at its own rate,
// so the rates tried and the outcome are those of a real instrument on the line.

#include "app/Newanemdlg.h"
#include "platform/MessageBox.h"
#include "serial/Comms.h"
#include "serial/Sync.h"
#include "tests/autofind/SimPorts.h"

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <vector>

namespace vx {
namespace {

constexpr int kPort = 12;

class Host : public ConnectDialogHost {
public:
    int MessageTypeIndex() const override { return 0; }
    bool IsPortInUse(int comNumber) const override { return held.count(comNumber) != 0; }
    std::set<int> held;
};

struct Attempt {
    int baud = 0;
    qint64 startedMs = 0;
    QString label;
    bool buttonEnabled = true;
    bool labelShown = false;
};

class AutoFindTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ports_.Path().empty());
        previousHook_ = SetMessageBoxHook([this](const MessageRequest& request) {
            boxes_.push_back(request);
            return MessageResult::Ok;
        });
        dialog_.SetSynchroniser(&sync_);
        clock_.start();
        QObject::connect(&sync_, &TfrmSync::AttemptStarted, &sync_, [this](int baud) {
            attempts_.push_back({baud, clock_.elapsed(), Child<QLabel>("laBaud")->text(),
                                 Child<QPushButton>("buSync")->isEnabled(),
                                 !Child<QLabel>("laBaud")->isHidden()});
        });
        Child<QComboBox>("cbPort")->setEditText(QStringLiteral("COM12"));
    }
    void TearDown() override { SetMessageBoxHook(previousHook_); }

    template <typename T>
    T* Child(const char* name) {
        T* child = dialog_.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    void Search() {
        searchStartedMs_ = clock_.elapsed();
        Child<QPushButton>("buSync")->click();
        searchMs_ = clock_.elapsed() - searchStartedMs_;
    }

    std::vector<int> RatesTried() const {
        std::vector<int> rates;
        for (const Attempt& attempt : attempts_) {
            rates.push_back(attempt.baud);
        }
        return rates;
    }

    // The time between the starts of consecutive attempts that heard nothing.
    double MeanFailedAttemptMs(std::size_t failed) const {
        if (failed < 2 || attempts_.size() < failed) {
            return 0;
        }
        return double(attempts_[failed - 1].startedMs - attempts_[0].startedMs) / (failed - 1);
    }

    // Every candidate before `baud` failed twice, then `baud` answered at its first attempt or,
    // on a slow machine, at its second.
    void ExpectFoundAt(int baud) {
        std::vector<int> expected;
        for (int candidate : TfrmSync::kCandidateBauds) {
            if (candidate == baud) {
                break;
            }
            expected.insert(expected.end(), TfrmSync::kAttemptsPerBaud, candidate);
        }
        std::vector<int> tried = RatesTried();
        ASSERT_GE(tried.size(), expected.size() + 1);
        EXPECT_EQ(std::vector<int>(tried.begin(), tried.begin() + expected.size()), expected);
        const std::vector<int> atBaud(tried.begin() + expected.size(), tried.end());
        EXPECT_TRUE(atBaud == std::vector<int>{baud} || atBaud == std::vector<int>(2, baud));
    }

    // Shows the dialog, starts a search in it, and at the search's third attempt (after both at
    // 19200) ends the dialog with `end`. Returns how long the search took to end after that.
    qint64 EndDuringSearch(const std::function<void()>& end, int& result) {
        QElapsedTimer sinceEnd;
        bool endScheduled = false;
        const QMetaObject::Connection watch =
            QObject::connect(&sync_, &TfrmSync::AttemptStarted, &dialog_, [&](int) {
                if (attempts_.size() == 3 && !endScheduled) {
                    endScheduled = true;
                    QTimer::singleShot(150, &dialog_, [&] {
                        sinceEnd.start();
                        end();
                    });
                }
            });
        // The search starts once the dialog's own loop runs (showing it handles events too).
        const int loopLevel = QThread::currentThread()->loopLevel();
        QTimer start;
        start.setInterval(10);
        QObject::connect(&start, &QTimer::timeout, &dialog_, [&] {
            if (QThread::currentThread()->loopLevel() > loopLevel && dialog_.isVisible()) {
                start.stop();
                Child<QPushButton>("buSync")->click();
            }
        });
        start.start();
        result = dialog_.exec();
        QObject::disconnect(watch);
        EXPECT_TRUE(sinceEnd.isValid()) << "the search ended before the dialog was";
        return sinceEnd.isValid() ? sinceEnd.elapsed() : -1;
    }

    void ExpectEndedQuietly(qint64 endMs, const char* how) {
        EXPECT_FALSE(dialog_.Searching());
        EXPECT_FALSE(comms_.IsOpen()) << "the raw port is closed with the search";
        EXPECT_TRUE(boxes_.empty()) << "no result once the dialog is gone";
        EXPECT_EQ(RatesTried().size(), 3u);
        // The search ends within a tick; a generous bound keeps a loaded machine from failing.
        EXPECT_LT(endMs, 2000);
        std::printf("[ measure ] %s during a search: it ended %lld ms later\n", how,
                    static_cast<long long>(endMs));
    }

    void ExpectOneBox(const char* text, const char* caption) {
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text, QString::fromLatin1(text));
        EXPECT_EQ(boxes_[0].caption, QString::fromLatin1(caption));
        EXPECT_EQ(boxes_[0].buttons, MessageButtons::Ok);
    }

    void ExpectSearchOver() {
        EXPECT_TRUE(Child<QPushButton>("buSync")->isEnabled());
        EXPECT_TRUE(Child<QLabel>("laBaud")->isHidden());
        EXPECT_FALSE(comms_.IsOpen()) << "the raw port is closed after the search";
    }

    test::PrivatePortsFolder ports_;
    Host host_;
    TcommsForm comms_;
    TfrmSync sync_{comms_};
    TfrmNewAnem dialog_{host_};
    MessageBoxHook previousHook_;
    std::vector<MessageRequest> boxes_;
    std::vector<Attempt> attempts_;
    QElapsedTimer clock_;
    qint64 searchStartedMs_ = 0;
    qint64 searchMs_ = 0;
};

TEST_F(AutoFindTest, FindsAUnitAt9600AfterBothAttemptsAt19200AndChoosesThatRate) {
    test::SimInstrument unit(kPort, {"--baud", "9600"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    Child<QComboBox>("cbParity")->setCurrentIndex(2);
    int ticksDuringSearch = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticksDuringSearch; });
    other.start(50);

    Search();

    EXPECT_EQ(RatesTried(), (std::vector<int>{19200, 19200, 9600}));
    ExpectOneBox("Found anemometer", "Success");
    EXPECT_EQ(Child<QComboBox>("cbBaud")->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(dialog_.SelectedBaud(), 9600);
    ExpectSearchOver();
    EXPECT_EQ(sync_.ModeChar(), 'M');
    EXPECT_EQ(comms_.Parity(), 'E') << "each attempt opens with the dialog's parity";
    EXPECT_EQ(comms_.PortNumber(), kPort);
    for (const Attempt& attempt : attempts_) {
        EXPECT_FALSE(attempt.buttonEnabled);
        EXPECT_TRUE(attempt.labelShown);
        EXPECT_EQ(attempt.label, QStringLiteral("Trying baud: ") + QString::number(attempt.baud));
    }
    // Other timers kept running: the search waits by handling events.
    EXPECT_GT(ticksDuringSearch, 10);
    std::printf("[ measure ] two silent attempts at 19200: %.0f ms apart; whole search %lld ms\n",
                MeanFailedAttemptMs(3), static_cast<long long>(searchMs_));
}

TEST_F(AutoFindTest, APolledUnitIsReportedAndTheBaudListIsLeftAlone) {
    test::SimInstrument unit(kPort, {"--baud", "9600", "--polled"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    Child<QComboBox>("cbBaud")->setCurrentIndex(0);

    Search();

    ExpectFoundAt(9600);
    ExpectOneBox("Unit is in POLLED mode. Please change mode", "Warning");
    EXPECT_EQ(Child<QComboBox>("cbBaud")->currentText(), QStringLiteral("2400"));
    EXPECT_EQ(sync_.ModeChar(), 'P');
    ExpectSearchOver();

    // The next search starts without the polled unit's mode character.
    boxes_.clear();
    attempts_.clear();
    int result = -1;
    EndDuringSearch([this] { Child<QPushButton>("Button1")->click(); }, result);
    EXPECT_EQ(sync_.ModeChar(), TfrmSync::kNoModeChar);
}

// 1200 is the last rate tried and is not in the list the user chooses from.
TEST_F(AutoFindTest, AUnitAt1200IsFoundAndLeavesNoRateChosen) {
    test::SimInstrument unit(kPort, {"--baud", "1200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    Child<QComboBox>("cbBaud")->setCurrentIndex(3);

    Search();

    ExpectFoundAt(1200);
    ExpectOneBox("Found anemometer", "Success");
    EXPECT_EQ(Child<QComboBox>("cbBaud")->currentIndex(), -1);
    EXPECT_EQ(dialog_.SelectedBaud(), 0);
    ExpectSearchOver();
}

// A unit at 115200 never answers, because that rate is never tried.
TEST_F(AutoFindTest, NothingAnsweringTriesEveryRateTwiceAndReportsFailure) {
    test::SimInstrument unit(kPort, {"--baud", "115200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    Child<QComboBox>("cbBaud")->setCurrentIndex(4);

    Search();

    EXPECT_EQ(RatesTried(), (std::vector<int>{19200, 19200, 9600, 9600, 38400, 38400, 57600, 57600,
                                              4800, 4800, 2400, 2400, 1200, 1200}));
    ExpectOneBox("Failed to find anemometer", "Error");
    EXPECT_EQ(Child<QComboBox>("cbBaud")->currentText(), QStringLiteral("38400"));
    ExpectSearchOver();
    std::printf("[ measure ] silent attempt: %.0f ms each on average; failed search %lld ms\n",
                MeanFailedAttemptMs(14), static_cast<long long>(searchMs_));
}

TEST_F(AutoFindTest, CancelDuringASearchEndsItAtOnce) {
    test::SimInstrument unit(kPort, {"--baud", "115200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    int result = -1;
    const qint64 endMs =
        EndDuringSearch([this] { Child<QPushButton>("Button1")->click(); }, result);
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectEndedQuietly(endMs, "Cancel");
    EXPECT_TRUE(Child<QPushButton>("buSync")->isEnabled());
}

TEST_F(AutoFindTest, ClosingTheDialogDuringASearchEndsIt) {
    test::SimInstrument unit(kPort, {"--baud", "115200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    int result = -1;
    const qint64 endMs = EndDuringSearch([this] { dialog_.close(); }, result);
    EXPECT_EQ(result, QDialog::Rejected);
    ExpectEndedQuietly(endMs, "closing the dialog");
}

TEST_F(AutoFindTest, ConnectDuringASearchEndsItAndConnects) {
    test::SimInstrument unit(kPort, {"--baud", "115200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    Child<QComboBox>("cbBaud")->setCurrentIndex(2);
    int result = -1;
    const qint64 endMs = EndDuringSearch([this] { Child<QPushButton>("buAdd")->click(); }, result);
    EXPECT_EQ(result, QDialog::Accepted);
    ExpectEndedQuietly(endMs, "Connect");
    EXPECT_EQ(dialog_.SelectedBaud(), 9600);
}

TEST_F(AutoFindTest, APortHeldByAConnectionIsRefusedBeforeAnySearch) {
    host_.held.insert(kPort);
    Search();
    EXPECT_TRUE(attempts_.empty());
    ExpectOneBox("Com Port is already in use", "Error");
    ExpectSearchOver();
}

TEST_F(AutoFindTest, APortBoxWithoutAComNumberIsRefusedBeforeAnySearch) {
    Child<QComboBox>("cbPort")->setEditText(QStringLiteral("Select a port"));
    Search();
    ExpectOneBox("Please select a com port", "Error");

    boxes_.clear();
    Child<QComboBox>("cbPort")->setEditText(QStringLiteral("COM0"));
    Search();
    ExpectOneBox("Please select a com port", "Error");

    boxes_.clear();
    Child<QComboBox>("cbPort")->setEditText(QStringLiteral("COMx"));
    Search();
    ExpectOneBox("'x' is not a valid integer value.", "ventrix");

    EXPECT_TRUE(attempts_.empty());
    ExpectSearchOver();
}

}  // namespace
}  // namespace vx
