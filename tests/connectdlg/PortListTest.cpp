// The port list against real simulated instruments linked into a private ports folder.

#include "tests/connectdlg/DialogFixture.h"

#include "platform/SerialDevice.h"
#include "serial/Comms.h"

#include <QLabel>

namespace vx::test {
namespace {

TEST_F(ConnectDialogTest, ThePortListOffersTheInstrumentsPortsAndChoosesTheFirst) {
    SimProcess first(ports_, 3, {});
    SimProcess second(ports_, 14, {});
    ASSERT_TRUE(first.Ready()) << first.Banner();
    ASSERT_TRUE(second.Ready()) << second.Banner();
    // A port another program holds open stays in the list; "Connect" is where it is refused.
    TcommsForm holder;
    ASSERT_TRUE(holder.OpenPort(14, 9600, 'N'));

    // Shown without a modal loop: the showing handles pending events itself.
    Dialog().show();
    const auto* cbPort = Child<QComboBox>("cbPort");
    ASSERT_EQ(cbPort->count(), 2);
    EXPECT_EQ(cbPort->itemText(0), QStringLiteral("COM3"));
    EXPECT_EQ(cbPort->itemText(1), QStringLiteral("COM14"));
    EXPECT_EQ(cbPort->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(Dialog().SelectedPortNumber(), 3);
    const QString device = Child<QLabel>("laPortDevice")->text();
    EXPECT_EQ(device, QString::fromStdString(PortDeviceName(3)));
    EXPECT_TRUE(device.startsWith(QStringLiteral("/dev/"))) << device.toStdString();
    Dialog().reject();
}

}  // namespace
}  // namespace vx::test
