// A small program that quits while one of the program's nested waits runs, for the test that
// checks the process then ends (run as a child process: a process that spins for ever cannot be
// tested from inside itself).
//
//   quit_during_wait_child search PORT   quits during an "Auto Find" search on COM<PORT>
//   quit_during_wait_child detect PORT   quits while a connection detects its instrument
//
// It prints "quitting" when it asks the application to exit, and ends with status 0 once the
// event loop has returned.

#include "app/Newanemdlg.h"
#include "connection/Anemometer.h"
#include "platform/MessageBox.h"
#include "serial/Comms.h"
#include "serial/QtUiThread.h"
#include "serial/Sync.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class Host : public vx::ConnectDialogHost {
public:
    int MessageTypeIndex() const override { return 0; }
    bool IsPortInUse(int) const override { return false; }
};

// exit() rather than quit(): quit() first asks every window to close, which ends a dialog's
// search by itself; exit() is the case in which only the waits themselves can notice.
void QuitSoon(int afterMs) {
    QTimer::singleShot(afterMs, [] {
        std::printf("quitting\n");
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    vx::InstallSerialDialogs();
    vx::SetMessageBoxHook([](const vx::MessageRequest&) { return vx::MessageResult::Ok; });
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s search|detect PORT\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const int port = std::atoi(argv[2]);

    Host host;
    vx::TcommsForm comms;
    vx::TfrmSync sync(comms);
    vx::TfrmNewAnem dialog(host);
    dialog.SetSynchroniser(&sync);
    vx::DefaultConnectionHost connectionHost;
    vx::Tchild child(connectionHost);

    if (mode == "search") {
        QObject::connect(&sync, &vx::TfrmSync::AttemptStarted, [](int) {
            static int attempts = 0;
            if (++attempts == 2) {
                QuitSoon(300);
            }
        });
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                dialog.findChild<QComboBox*>(QStringLiteral("cbPort"))
                    ->setEditText(QStringLiteral("COM") + QString::number(port));
                dialog.findChild<QPushButton*>(QStringLiteral("buSync"))->click();
            });
            dialog.ShowConnectDialog();
        });
    } else if (mode == "detect") {
        QTimer::singleShot(0, [&] {
            QuitSoon(1000);
            child.show();
            try {
                child.Connect(port, 9600, "IUVN", "VARN_UV_TWO_AXIS", "Quiet", 'N');
            } catch (const std::exception& error) {
                std::fprintf(stderr, "%s\n", error.what());
            }
        });
    } else {
        return 2;
    }
    const int status = application.exec();
    std::printf("ended\n");
    return status;
}
