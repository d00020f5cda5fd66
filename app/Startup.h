#pragma once
// How the program comes up: its windows are created once, each fully before the next, in a fixed
// order, and live until the program ends. The main window comes first because every other window
// reads something from it (the stored format position, the log file, the current unit).

#include <memory>

namespace vx {

class Application;
class Tparent;
class TfrmAbout;

struct ProgramWindows {
    ProgramWindows();
    ~ProgramWindows();

    // Declared in creation order, so they are destroyed in the reverse order: the dialogs go
    // before the main window they refer to.
    std::unique_ptr<Tparent> parent;
    std::unique_ptr<TfrmAbout> frmAbout;
};

// Creates the windows in order and connects them to the main window.
std::unique_ptr<ProgramWindows> CreateProgramWindows();

// Creates the windows, shows the main window and runs the message loop until it has closed. An
// error that escapes the loop is shown in the standard error box, and the program then ends.
int RunProgram(Application& application);

}  // namespace vx
