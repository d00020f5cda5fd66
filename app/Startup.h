#pragma once
// How the program comes up: its windows are created once, each fully before the next, in a fixed
// order, and live until the program ends. The main window comes first because every other window
// reads something from it (the stored format position, the log file, the current unit).

#include "app/CommandLine.h"

#include <memory>
#include <vector>

namespace vx {

class Application;
class NetworkHub;
class TcommsForm;
class TfrmAbout;
class TfrmAlarm;
class TfrmLogDlg;
class TfrmNetworkDlg;
class TfrmNewAnem;
class TfrmSync;
class Tparent;
class ProgramConnectionHost;

struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();

    // Declared in creation order, so they are destroyed in the reverse order: every dialog goes
    // before the main window it refers to.
    std::unique_ptr<Tparent> parent;
    std::unique_ptr<TfrmNewAnem> frmNewAnem;
    std::unique_ptr<TcommsForm> commsForm;
    std::unique_ptr<TfrmSync> frmSync;
    std::unique_ptr<TfrmAlarm> frmAlarm;
    std::unique_ptr<TfrmLogDlg> frmLogDlg;
    std::unique_ptr<TfrmAbout> frmAbout;
    // What connection windows ask of the windows above; they are created later, on Connect.
    std::unique_ptr<ProgramConnectionHost> connectionHost;
    // The network outputs of the connections and their dialog.
    std::unique_ptr<NetworkHub> networkHub;
    std::unique_ptr<TfrmNetworkDlg> frmNetworkDlg;
};

// Creates the windows in order and joins them to the main window.
std::unique_ptr<ProgramWindows> CreateProgramWindows();

// The connections of the command line, made in order as the connect dialog would make them (a
// port whose device is not there yet is waited for), then logging started when `log`.
void OpenRequestedConnections(ProgramWindows& windows, const std::vector<ConnectRequest>& requests,
                              bool log);

// Creates the windows, shows the main window, opens the command line's connections and runs the
// message loop until it has closed. An error that escapes the loop is shown in the standard
// error box, and the program then ends.
int RunProgram(Application& application, const CommandLine& commandLine = {});

}  // namespace vx
