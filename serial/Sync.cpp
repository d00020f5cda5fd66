#include "serial/Sync.h"

#include "platform/EventWait.h"
#include "serial/Comms.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace vx {

namespace {

// About 0.4 s between the two pairs of requests, then about 0.5 s to hear the reply begin.
constexpr int kTicksBetweenPairs = 4;
constexpr int kTicksToHearReply = 5;
// The last characters of the reply are on their way: give the rest of it about 3 s.
constexpr int kTicksToFinishReply = 30;
// After the reply the unit may take its time (it is resetting) before its mode character.
constexpr int kTicksForModeChar = 400;
constexpr char kPolledMode = 'P';

}  // namespace

ResetReplyMatcher::Step ResetReplyMatcher::Feed(char c) {
    if (c != kReply[static_cast<std::size_t>(index_)]) {
        index_ = 0;
        return Step::Broken;
    }
    const bool nearlyComplete = index_ >= 4;
    ++index_;
    if (index_ == static_cast<int>(kReply.size())) {
        index_ = 0;
        return Step::Complete;
    }
    return nearlyComplete ? Step::Extended : Step::Advanced;
}

TfrmSync::TfrmSync(TcommsForm& comms, QObject* parent)
    : QObject(parent), comms_(comms), Timer100msCountRunner_(new QTimer(this)) {
    setObjectName(QStringLiteral("frmSync"));
    Timer100msCountRunner_->setObjectName(QStringLiteral("Timer100msCountRunner"));
    Timer100msCountRunner_->setInterval(kTickMs);
    connect(Timer100msCountRunner_, &QTimer::timeout, this, &TfrmSync::Timer100msCountRunnerTimer);
}

TfrmSync::~TfrmSync() = default;

void TfrmSync::Timer100msCountRunnerTimer() {
    if (tickCounter_ > 0) {
        --tickCounter_;
    }
    if (tickLoop_ != nullptr) {
        tickLoop_->quit();
    }
}

void TfrmSync::BeginSearch() {
    stopRequested_ = false;
    modeChar_ = kNoModeChar;
}

void TfrmSync::StopSearch() {
    stopRequested_ = true;
    if (tickLoop_ != nullptr) {
        tickLoop_->quit();
    }
}

bool TfrmSync::Stopping() const {
    return stopRequested_ || ApplicationQuitting();
}

bool TfrmSync::FindUnit(int portNumber, int baud, char& modeChar, char parity) {
    portNumber_ = portNumber;
    parity_ = parity;
    if (Stopping() || !CheckUnit(baud)) {
        return false;
    }
    modeChar = modeChar_;
    return true;
}

bool TfrmSync::CheckUnit(int baud) {
    char extraChar = 0;
    const bool found = SyncAtBaud(baud, modeChar_, extraChar);
    comms_.ClosePort();
    return found;
}

bool TfrmSync::SyncAtBaud(int baud, char& modeChar, char& extraChar) {
    emit AttemptStarted(baud);
    OpenForAttempt(baud);
    Timer100msCountRunner_->start();
    SendRequestPair();
    WaitTicks(kTicksBetweenPairs);
    tickCounter_ = kTicksToHearReply;
    if (!Stopping()) {
        SendRequestPair();
    }
    if (!ListenForReply()) {
        StopTimer();
        return false;
    }
    tickCounter_ = kTicksForModeChar;
    char c = 0;
    if (WaitForPrintable(c)) {
        modeChar = c;
    }
    if (Stopping()) {
        StopTimer();
        return false;
    }
    // A polled unit says one more character, which only has to be let through.
    extraChar = 0;
    tickCounter_ = kTicksForModeChar;
    if (modeChar == kPolledMode && WaitForPrintable(c)) {
        extraChar = c;
    }
    StopTimer();
    return true;
}

void TfrmSync::OpenForAttempt(int baud) {
    comms_.ClosePort();
    // A port that does not open is not reported: the attempt simply hears nothing.
    comms_.OpenPort(portNumber_, baud, parity_);
    HandlePendingEvents();
}

void TfrmSync::SendRequestPair() {
    comms_.SendChar(kRequestChar);
    comms_.SendChar(kRequestChar);
}

bool TfrmSync::ListenForReply() {
    ResetReplyMatcher matcher;
    char c = 0;
    while (tickCounter_ != 0) {
        if (!WaitForPrintable(c)) {
            break;
        }
        switch (matcher.Feed(c)) {
            case ResetReplyMatcher::Step::Extended:
                tickCounter_ = kTicksToFinishReply;
                break;
            case ResetReplyMatcher::Step::Complete:
                return true;
            case ResetReplyMatcher::Step::Broken:
            case ResetReplyMatcher::Step::Advanced:
                break;
        }
    }
    return false;
}

bool TfrmSync::WaitForPrintable(char& c) {
    while (tickCounter_ != 0 && !Stopping()) {
        if (!HandlePendingEvents() || Stopping()) {
            return false;
        }
        if (!comms_.CanRead()) {
            // Without a device a read returns at once; polling it would spin a core.
            WaitNextTick();
            continue;
        }
        if (comms_.ReadPrintable(c)) {
            return true;
        }
    }
    return false;
}

void TfrmSync::WaitTicks(int n) {
    tickCounter_ = n;
    const bool wasRunning = Timer100msCountRunner_->isActive();
    if (!wasRunning) {
        Timer100msCountRunner_->start();
    }
    while (tickCounter_ > 0 && !Stopping()) {
        WaitNextTick();
    }
    if (!wasRunning) {
        StopTimer();
    }
}

void TfrmSync::WaitNextTick() {
    if (!Timer100msCountRunner_->isActive() || Stopping()) {
        return;
    }
    // An event loop sleeps until the tick; a loop of processEvents() would keep a core busy.
    QEventLoop loop;
    QEventLoop* outer = tickLoop_;
    tickLoop_ = &loop;
    ExecLocalLoop(loop);
    tickLoop_ = outer;
}

void TfrmSync::StopTimer() {
    Timer100msCountRunner_->stop();
}

}  // namespace vx
