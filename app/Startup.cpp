#include "app/Startup.h"

#include "alarm/Alarm.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/DialogLinks.h"
#include "app/Main.h"
#include "app/MdiFrame.h"
#include "app/Newanemdlg.h"
#include "logging/Logdlg.h"
#include "serial/Comms.h"
#include "serial/Sync.h"
#include "widgets/Pictures.h"

#include <QMdiSubWindow>

namespace vx {
namespace {

void ShowBackgroundPicture(Tparent& parent) {
    // A picture that cannot be decoded costs the decoration, not the program.
    RunGuarded([&parent] { parent.SetBackgroundPicture(LoadBackgroundPicture()); });
}

void CreateConnectDialog(ProgramWindows& windows) {
    windows.connectLink = std::make_unique<ConnectDialogLink>(*windows.parent);
    windows.frmNewAnem = std::make_unique<TfrmNewAnem>(*windows.connectLink, windows.parent.get());
    windows.connectLink->SetDialog(windows.frmNewAnem.get());
    windows.parent->SetConnectDialog(windows.connectLink.get());
}

void CreateBaudSearch(ProgramWindows& windows) {
    windows.commsForm = std::make_unique<TcommsForm>();
    windows.frmSync = std::make_unique<TfrmSync>(*windows.commsForm);
    windows.frmNewAnem->SetSynchroniser(windows.frmSync.get());
}

void CreateAlarmDialog(ProgramWindows& windows) {
    windows.frmAlarm = std::make_unique<TfrmAlarm>();
    windows.frmAlarm->SetHost(windows.parent.get());
    windows.alarmLink = std::make_unique<AlarmDialogLink>(*windows.frmAlarm);
    windows.parent->SetAlarmDialog(windows.alarmLink.get());
}

void CreateLogDialog(ProgramWindows& windows) {
    windows.frmLogDlg = std::make_unique<TfrmLogDlg>(windows.parent->DefaultLogFile());
    windows.frmLogDlg->SetHost(windows.parent.get());
    windows.logLink = std::make_unique<LogDialogLink>(*windows.frmLogDlg);
    windows.parent->SetLogDialog(windows.logLink.get());
}

void CreateAboutBox(ProgramWindows& windows) {
    windows.frmAbout = std::make_unique<TfrmAbout>(windows.parent.get());
    windows.parent->SetAboutBox(windows.frmAbout.get());
}

}  // namespace

ProgramWindows::ProgramWindows() = default;

ProgramWindows::~ProgramWindows() {
    // Connection windows refer to the dialogs (alarm tests, log settings): they go first.
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
    // The connection window joins here: windows->parent->SetConnectionMaker(...), creating it in
    // the frame and connecting it with the connect dialog's choices.
    return windows;
}

int RunProgram(Application& application) {
    try {
        const std::unique_ptr<ProgramWindows> windows = CreateProgramWindows();
        // Closing the main window ends the program even while a modeless dialog is still open.
        QObject::connect(windows->parent.get(), &Tparent::Closed, &application,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        windows->parent->show();
        return application.exec();
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
}

}  // namespace vx
