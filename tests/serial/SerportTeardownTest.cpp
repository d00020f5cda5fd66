// A port destroyed while it is open, busy or half-way through closing, and a port whose threads
// cannot be started. The main window deletes all its document windows in one go, so a port's
// destructor must finish its close without running anything else on the user-interface thread.

#include "serial/Serexcept.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

class PortTeardown : public test::UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        threadsBefore_ = test::ThreadCount();
        ports_.Link(6, pty_.SlavePath());
        port_ = std::make_unique<TSerComPort>();
        port_->SetAutoOpen(false);
        port_->SetComNumber(6);
    }
    void TearDown() override {
        DestroyFramerAndPort();
        UiFixture::TearDown();
    }

    // A framer on the port whose packets run `handler` on the user-interface thread.
    void AttachFramer(std::function<void()> handler) {
        dpkt_ = std::make_unique<TSerDataPacket>();
        dpkt_->SetComPort(port_.get());
        dpkt_->SetStartString("\x02");
        dpkt_->SetEndString("\r");
        dpkt_->OnStringPacket = [this, handler](TSerDataPacket*, const std::string&) {
            ++delivered_;
            handler();
        };
        dpkt_->SetEnabled(true);
    }
    // Destroyed as a connection window's members go: the framer, then the port.
    void DestroyFramerAndPort() {
        dpkt_.reset();
        port_.reset();
    }
    // Waits without handling the user-interface thread's events.
    static bool WaitQuietly(const std::function<bool()>& done) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kDeadlineMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void PostUnrelatedWork() {
        ui_.PostToUi([this] { unrelatedRan_ = true; });
    }
    void ExpectEverythingReleased() {
        EXPECT_FALSE(unrelatedRan_) << "the destructor handled other events";
        EXPECT_TRUE(WaitFor([&] { return unrelatedRan_; }));  // it runs in its own time
        EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() == threadsBefore_; }));
        EXPECT_EQ(PortListSize(), 0);
    }

    int threadsBefore_ = 0;
    PortsDir ports_;
    PtyLink pty_;
    std::unique_ptr<TSerComPort> port_;
    std::unique_ptr<TSerDataPacket> dpkt_;
    int delivered_ = 0;
    bool unrelatedRan_ = false;
};

TEST_F(PortTeardown, AnOpenIdlePortClosesWithoutHandlingOtherEvents) {
    port_->SetOpen(true);
    PostUnrelatedWork();
    port_.reset();
    ExpectEverythingReleased();
}

// The dispatch thread has handed a packet over and waits for the user-interface thread, which is
// busy destroying windows: the delivery is given up, not run for a window that is going.
TEST_F(PortTeardown, ABusyPortGivesUpItsWaitingDeliveryAndClosesAtOnce) {
    AttachFramer([] {});
    port_->SetOpen(true);
    pty_.Write("\x02one\r");
    TSerBaseDispatcher* dispatcher = port_->GetDispatcher();
    ASSERT_TRUE(WaitQuietly([&] { return dispatcher->EventBusy(); }));
    PostUnrelatedWork();
    DestroyFramerAndPort();
    EXPECT_EQ(delivered_, 0);
    ExpectEverythingReleased();
}

// Closed from its own packet handler, the port stays shutting down until the dispatch thread has
// finished; destroyed then, after its threads ended but before the check that completes the
// close ran, it completes the close itself.
TEST_F(PortTeardown, APortHalfWayThroughClosingFinishesItsClose) {
    AttachFramer([this] { port_->SetOpen(false); });
    port_->SetOpen(true);
    pty_.Write("\x02one\r");
    ASSERT_TRUE(WaitFor([&] { return delivered_ == 1; }));
    ASSERT_EQ(port_->GetState(), psShuttingDown);
    TSerBaseDispatcher* dispatcher = port_->GetDispatcher();
    ASSERT_TRUE(WaitQuietly([&] { return dispatcher->RunningThreads() == 0; }));
    // The close's own check, posted a few milliseconds after the close, is due now.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostUnrelatedWork();
    DestroyFramerAndPort();
    ExpectEverythingReleased();
}

// A handler that destroys its own port: the delivery it runs in must return before the
// dispatcher's threads can end, so the port goes at once and its dispatcher a little later.
TEST_F(PortTeardown, APortDestroyedByItsOwnHandlerLetsItsThreadsEndAfterwards) {
    port_->SetOpen(true);
    bool destroyedInside = false;
    port_->GetDispatcher()->RegisterSyncEventTriggerHandler(this, [&](unsigned, unsigned, long) {
        if (port_) {
            port_.reset();
            destroyedInside = true;
        }
    });
    pty_.Write("x");
    ASSERT_TRUE(WaitFor([&] { return destroyedInside; }));
    EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() == threadsBefore_; }));
    EXPECT_TRUE(WaitFor([&] { return PortListSize() == 0; }));
}

// ---- Threads that cannot be started ----

long VirtualMemoryBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    return pages * ::sysconf(_SC_PAGESIZE);
}

// Run in a child process: an address-space limit just above what the process uses leaves room
// for small allocations but none for a thread's stack (a limit on the number of threads does not
// hold for root, who runs the tests in CI). Exits 0 when opening failed as a port error and the
// port is closed and usable again.
[[noreturn]] void OpenPortWithoutRoomForThreads() {
    ::alarm(60);  // a port that waits for a thread that never began would hang here
    TaskQueueUiThread ui;
    SetUiThread(&ui);
    PortsDir ports;
    PtyLink pty;
    ports.Link(7, pty.SlavePath());
    TSerComPort port;
    port.SetAutoOpen(false);
    port.SetComNumber(7);
    const rlimit limit{static_cast<rlim_t>(VirtualMemoryBytes() + 3 * 1024 * 1024), RLIM_INFINITY};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) {
        std::_Exit(3);
    }
    int code = 0;
    std::string text;
    try {
        port.SetOpen(true);
    } catch (const EInOutError& error) {
        code = error.ErrorCode();
        text = error.what();
    } catch (...) {
        std::_Exit(4);
    }
    if (code != kSysNoMoreThreads || text != "No more threads can be created in the system") {
        std::_Exit(5);
    }
    if (port.GetOpen() || port.GetState() != psClosed || port.GetDispatcher() != nullptr) {
        std::_Exit(6);
    }
    std::_Exit(0);
}

TEST(PortThreads, AThreadThatCannotStartIsReportedAsAPortError) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve far more address space than any limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "the sanitizers reserve far more address space than any limit allows";
#endif
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(OpenPortWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}

// ---- Errors the system names itself ----

// An error without a code of its own in the message table still has the system's text.
TEST(PortErrors, AnErrorWithoutACodeOfItsOwnShowsTheSystemsText) {
    TaskQueueUiThread ui;
    UiThread* previous = SetUiThread(&ui);
    PortsDir ports;
    const std::string folder = ports.Path() + "/not-a-device";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ports.Link(8, folder);
    TSerComPort port;
    port.SetAutoOpen(false);
    port.SetComNumber(8);
    try {
        port.SetOpen(true);
        ADD_FAILURE() << "a folder opened as a port";
    } catch (const EInOutError& error) {
        EXPECT_EQ(std::string(error.what()), std::strerror(EISDIR));
        EXPECT_EQ(error.ErrorCode(), SystemCodeFromErrno(EISDIR));
    } catch (const std::exception& error) {
        ADD_FAILURE() << "wrong error: " << error.what();
    }
    EXPECT_FALSE(port.GetOpen());
    SetUiThread(previous);
}

}  // namespace
}  // namespace vx
