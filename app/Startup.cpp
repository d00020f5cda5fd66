#include "app/Startup.h"

#include "alarm/Alarm.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/Main.h"
#include "app/MdiFrame.h"
#include "app/Newanemdlg.h"
#include "app/ProgramConnectionHost.h"
#include "app/SettingsStore.h"
#include "connection/Anemometer.h"
#include "logging/Logdlg.h"
#include "network/NetworkHub.h"
#include "network/Networkdlg.h"
#include "platform/EventWait.h"
#include "serial/Comms.h"
#include "serial/Sync.h"
#include "widgets/Pictures.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

#include <iostream>

namespace vx {
namespace {

void ShowBackgroundPicture(Tparent& parent) {
    // A picture that cannot be decoded costs the decoration, not the program.
    RunGuarded([&parent] { parent.SetBackgroundPicture(LoadBackgroundPicture()); });
}

void CreateConnectDialog(ProgramWindows& windows) {
    windows.frmNewAnem = std::make_unique<TfrmNewAnem>(*windows.parent, windows.parent.get());
    windows.parent->SetConnectDialog(windows.frmNewAnem.get());
}

void CreateBaudSearch(ProgramWindows& windows) {
    windows.commsForm = std::make_unique<TcommsForm>();
    windows.frmSync = std::make_unique<TfrmSync>(*windows.commsForm);
    windows.frmNewAnem->SetSynchroniser(windows.frmSync.get());
}

void CreateAlarmDialog(ProgramWindows& windows) {
    windows.frmAlarm = std::make_unique<TfrmAlarm>();
    windows.frmAlarm->SetHost(windows.parent.get());
    windows.parent->SetAlarmDialog(windows.frmAlarm.get());
}

void CreateLogDialog(ProgramWindows& windows) {
    windows.frmLogDlg = std::make_unique<TfrmLogDlg>(windows.parent->DefaultLogFile());
    windows.frmLogDlg->SetHost(windows.parent.get());
    windows.parent->SetLogDialog(windows.frmLogDlg.get());
}

void CreateAboutBox(ProgramWindows& windows) {
    windows.frmAbout = std::make_unique<TfrmAbout>(windows.parent.get());
    windows.parent->SetAboutBox(windows.frmAbout.get());
}

// A connection window in the frame, connected with the connect dialog's choices. Connect returns
// once the instrument was heard or given up on; a port that will not open throws, leaving the
// window (marked closed) in the frame, and the main window then pushes no settings to it.
ConnectionOps* MakeConnection(QMdiArea& frame, const TfrmNewAnem& dialog, ConnectionHost& host,
                              NetworkHub& network) {
    const int comNumber = dialog.SelectedPortNumber();
    QPointer<Tchild> child = new Tchild(host);
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    QMdiSubWindow* window = frame.addSubWindow(child);
    window->show();
    // Within reach while it detects: the frame may be smaller than the window.
    KeepInside(frame, *window);
    child->Connect(comNumber, dialog.SelectedBaud(), dialog.FormatLetters(), dialog.FormatName(),
                   dialog.AnemometerName(), dialog.SelectedParity());
    if (child) {
        network.Attach(*child);
    }
    return child.data();
}

// The connect dialog's format position for a format name; the dialog's own choice when the
// name is empty.
int FormatPosition(const TfrmNewAnem& dialog, const std::string& name) {
    for (int position = 0; !name.empty() && position < dialog.Formats().Count(); ++position) {
        if (dialog.Formats().FormatNameAt(position) == name) {
            return position;
        }
    }
    return dialog.ChosenFormatPosition();
}

// A connection asked for on the command line, made as the dialog makes one. A port that will
// not open is waited for (said on standard error, for the station's log) rather than given up.
ConnectionOps* MakeRequestedConnection(QMdiArea& frame, const ConnectRequest& request,
                                       const TfrmNewAnem& dialog, ConnectionHost& host,
                                       NetworkHub& network) {
    const int position = FormatPosition(dialog, request.format);
    QPointer<Tchild> child = new Tchild(host);
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    frame.addSubWindow(child)->show();
    std::string reason;
    if (!child->ConnectOrWait(
            request.comNumber, request.baud, dialog.Formats().FormatLettersAt(position),
            dialog.Formats().FormatNameAt(position), request.ShownName(), 'N', reason)) {
        std::cerr << "ventrix: " << ComName(request.comNumber) << ": " << reason
                  << "; waiting for the device\n";
    }
    if (child) {
        network.Attach(*child);
    }
    return child.data();
}

void CreateNetworkOutputs(ProgramWindows& windows) {
    windows.networkHub =
        std::make_unique<NetworkHub>(*windows.connectionHost, SettingsFilePath(), StationName());
    windows.frmNetworkDlg =
        std::make_unique<TfrmNetworkDlg>(*windows.networkHub, windows.parent.get());
    windows.parent->SetNetworkDialog(windows.frmNetworkDlg.get());
}

void JoinConnectionWindows(ProgramWindows& windows) {
    windows.connectionHost = std::make_unique<ProgramConnectionHost>(
        *windows.parent, *windows.frmNewAnem, *windows.frmLogDlg, *windows.frmAlarm);
    CreateNetworkOutputs(windows);
    windows.parent->SetConnectionMaker([dialog = windows.frmNewAnem.get(),
                                        host = windows.connectionHost.get(),
                                        network = windows.networkHub.get()](QMdiArea& frame) {
        return MakeConnection(frame, *dialog, *host, *network);
    });
}

}  // namespace

ProgramWindows::ProgramWindows() = default;

ProgramWindows::~ProgramWindows() {
    // The network outputs say "offline" while the connections they served still exist.
    frmNetworkDlg.reset();
    networkHub.reset();
    // Connection windows refer to the dialogs (alarm tests, log settings): they go next.
    if (parent) {
        for (QMdiSubWindow* window : parent->Frame().subWindowList()) {
            delete window;
        }
    }
}

std::unique_ptr<ProgramWindows> CreateProgramWindows() {
    auto windows = std::make_unique<ProgramWindows>();
    windows->parent = std::make_unique<Tparent>();
    ShowBackgroundPicture(*windows->parent);
    CreateConnectDialog(*windows);
    CreateBaudSearch(*windows);
    CreateAlarmDialog(*windows);
    CreateLogDialog(*windows);
    CreateAboutBox(*windows);
    JoinConnectionWindows(*windows);
    return windows;
}

void OpenRequestedConnections(ProgramWindows& windows, const std::vector<ConnectRequest>& requests,
                              bool log) {
    for (const ConnectRequest& request : requests) {
        // Each connect waits for its instrument; a quit meanwhile leaves the rest unmade.
        if (!HandlePendingEvents()) {
            return;
        }
        RunGuarded([&] {
            windows.parent->AddConnection([&](QMdiArea& frame) {
                return MakeRequestedConnection(frame, request, *windows.frmNewAnem,
                                               *windows.connectionHost, *windows.networkHub);
            });
        });
    }
    if (log) {
        RunGuarded([&] { windows.parent->StartLoggingIfStopped(); });
    }
}

int RunProgram(Application& application, const CommandLine& commandLine) {
    try {
        const std::unique_ptr<ProgramWindows> windows = CreateProgramWindows();
        // Closing the main window ends the program even while a modeless dialog is still open.
        QObject::connect(windows->parent.get(), &Tparent::Closed, &application,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        windows->parent->show();
        // Once the loop runs: connecting waits for the instrument while handling events.
        QTimer::singleShot(0, windows->parent.get(), [&windows, &commandLine] {
            OpenRequestedConnections(*windows, commandLine.connections, commandLine.log);
        });
        return application.exec();
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
}

}  // namespace vx
