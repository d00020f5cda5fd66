#pragma once
// The synchroniser of the baud-rate search: one attempt at one rate sends "$" "$", waits about
// 0.4 s, sends "$" "$" again and listens for the instrument's "RESET-" followed by its mode
// character. Waits are counted in ticks of a 100 ms timer and keep handling the program's events,
// so the windows stay responsive during a search; the search itself runs on the user-interface
// thread.

#include <QObject>

#include <string_view>

class QEventLoop;
class QTimer;

namespace vx {

class TcommsForm;

// Follows the reply "RESET-" one printable character at a time. A character that does not
// continue the reply starts it over without being taken as its first character, so "RRESET-" is
// not a reply.
class ResetReplyMatcher {
public:
    static constexpr std::string_view kReply = "RESET-";

    enum class Step {
        Broken,    // the character did not continue the reply; start over
        Advanced,  // one more character of the reply
        Extended,  // one more, and the reply is nearly complete: listen longer
        Complete,  // the whole reply has been seen
    };

    Step Feed(char c);
    int Index() const { return index_; }
    void Reset() { index_ = 0; }

private:
    int index_ = 0;
};

class TfrmSync : public QObject {
    Q_OBJECT
public:
    // The rates tried, in order: the common ones first, 1200 last. 115200 is never tried.
    static constexpr int kCandidateBauds[] = {19200, 9600, 38400, 57600, 4800, 2400, 1200};
    static constexpr int kAttemptsPerBaud = 2;
    static constexpr int kTickMs = 100;
    static constexpr char kRequestChar = '$';
    static constexpr char kNoModeChar = 0;

    explicit TfrmSync(TcommsForm& comms, QObject* parent = nullptr);
    ~TfrmSync() override;

    // A new search: nothing stopped it yet and no mode character has been heard.
    void BeginSearch();
    // Ends the search under way within a tick: every wait returns, the attempt fails and the raw
    // port is closed. The dialog does this when it is cancelled, closed or connects.
    void StopSearch();
    // The search must end: stopped, or the program is quitting.
    bool Stopping() const;

    // One attempt at COM<portNumber>: true when the instrument answered; the mode character is
    // copied out then.
    bool FindUnit(int portNumber, int baud, char& modeChar, char parity);
    // SyncAtBaud with the stored port and parity; the raw port is closed afterwards either way.
    bool CheckUnit(int baud);
    bool SyncAtBaud(int baud, char& modeChar, char& extraChar);
    // Sets the tick counter and handles events until the timer has counted it down.
    void WaitTicks(int n);

    int TickCounter() const { return tickCounter_; }
    char ModeChar() const { return modeChar_; }
    QTimer& Timer100msCountRunner() const { return *Timer100msCountRunner_; }

signals:
    // Each attempt, before anything is sent; lets the dialog and tests follow a search.
    void AttemptStarted(int baud);

private:
    void Timer100msCountRunnerTimer();
    void OpenForAttempt(int baud);
    void SendRequestPair();
    bool ListenForReply();
    // Listens until the counter runs out for the first printable character; true when one came.
    bool WaitForPrintable(char& c);
    // Handles events until the next tick: the wait used when the port cannot be read.
    void WaitNextTick();
    void StopTimer();

    TcommsForm& comms_;
    QTimer* Timer100msCountRunner_;
    QEventLoop* tickLoop_ = nullptr;
    int tickCounter_ = 0;
    bool stopRequested_ = false;
    int portNumber_ = 0;
    char parity_ = 'N';
    // Cleared by BeginSearch: a unit that sends no mode character must not be reported with the
    // one of an earlier search.
    char modeChar_ = kNoModeChar;
};

}  // namespace vx
