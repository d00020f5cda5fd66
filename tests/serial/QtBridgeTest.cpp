#include "serial/QtUiThread.h"
#include "serial/SelectPortDlg.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "tests/serial/SerialTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

TEST(QtUiThreadBridge, RunSyncFromAWorkerRunsOnTheQtThreadAndWaits) {
    UiThread& ui = GetUiThread();
    ASSERT_TRUE(ui.IsUiThread());
    std::atomic<bool> ranOnUi{false};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_FALSE(ui.IsUiThread());
        ui.RunSync([&] { ranOnUi = QThread::currentThread() == qApp->thread(); });
        returned = true;
    });
    EXPECT_TRUE(ui.WaitUntil([&] { return returned.load(); }, test::kDeadlineMs));
    worker.join();
    EXPECT_TRUE(ranOnUi);
}

TEST(QtUiThreadBridge, RunSyncOnTheQtThreadRunsDirectly) {
    bool ran = false;
    GetUiThread().RunSync([&] { ran = true; });  // would deadlock if it queued
    EXPECT_TRUE(ran);
}

TEST(QtUiThreadBridge, WaitUntilHandlesPostedWorkAndTimesOut) {
    UiThread& ui = GetUiThread();
    int order = 0;
    int first = 0, second = 0;
    ui.PostToUi([&] { second = ++order; }, 50);
    ui.PostToUi([&] { first = ++order; });
    EXPECT_TRUE(ui.WaitUntil([&] { return order == 2; }, test::kDeadlineMs));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_FALSE(ui.WaitUntil([] { return false; }, 30));
}

TEST(QtUiThreadBridge, PacketsArriveOnTheQtThreadAndACloseInsideOneIsDeferred) {
    PortsDir ports;
    PtyLink pty;
    ports.Link(8, pty.SlavePath());
    TSerComPort port;
    port.SetAutoOpen(false);
    port.SetComNumber(8);
    TSerDataPacket dpkt;
    dpkt.SetComPort(&port);
    dpkt.SetStartString("$");
    dpkt.SetEndString("\r");
    std::vector<std::string> packets;
    bool onQtThread = true;
    dpkt.OnStringPacket = [&](TSerDataPacket*, const std::string& s) {
        onQtThread = onQtThread && QThread::currentThread() == qApp->thread();
        packets.push_back(s);
        if (packets.size() == 2) {
            port.SetOpen(false);
        }
    };
    dpkt.SetEnabled(true);
    port.SetOpen(true);
    pty.Write("junk$WI,1*00\r\n$WI,2*00\r\n$WI,3*00\r\n");
    UiThread& ui = GetUiThread();
    ASSERT_TRUE(ui.WaitUntil([&] { return port.GetState() == psClosed; }, test::kDeadlineMs));
    EXPECT_TRUE(onQtThread);
    EXPECT_EQ(packets, (std::vector<std::string>{"$WI,1*00\r", "$WI,2*00\r"}));
    EXPECT_FALSE(port.GetOpen());
}

TEST(SelectPortDialog, ShowsTheAvailablePortsAndReturnsTheChoice) {
    TSelectPortDlg dialog({2, 7, 12}, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Select Port");
    QStringList texts;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(texts.contains("The configured serial port is not valid."));
    EXPECT_TRUE(texts.contains("Please choose another port."));
    ASSERT_EQ(dialog.cbPort()->count(), 3);
    EXPECT_EQ(dialog.cbPort()->itemText(0), "COM2");
    EXPECT_EQ(dialog.cbPort()->itemText(2), "COM12");
    EXPECT_EQ(dialog.cbPort()->currentIndex(), 0);
    EXPECT_TRUE(dialog.buOK()->isDefault());
    EXPECT_EQ(dialog.ChosenPort(), 2);
    dialog.cbPort()->setCurrentIndex(1);
    EXPECT_EQ(dialog.ChosenPort(), 7);
}

TEST(SelectPortDialog, OkChoosesCancelAndAnEmptyListGiveNothing) {
    auto answer = [](const std::vector<int>& ports, bool ok, int index) {
        QTimer::singleShot(0, [ok, index] {
            auto* dialog = qobject_cast<TSelectPortDlg*>(QApplication::activeModalWidget());
            if (!dialog) {
                return;
            }
            if (index >= 0) {
                dialog->cbPort()->setCurrentIndex(index);
            }
            (ok ? dialog->buOK() : dialog->buCancel())->click();
        });
        return TSelectPortDlg::Choose(ports, nullptr);
    };
    EXPECT_EQ(answer({3, 4}, true, 1), 4);
    EXPECT_EQ(answer({3, 4}, false, -1), 0);
    EXPECT_EQ(answer({}, true, -1), 0);
}

}  // namespace
}  // namespace vx
