#include "app/Startup.h"

#include "app/About.h"
#include "app/Application.h"
#include "app/Main.h"

namespace vx {

ProgramWindows::ProgramWindows() = default;
ProgramWindows::~ProgramWindows() = default;

std::unique_ptr<ProgramWindows> CreateProgramWindows() {
    auto windows = std::make_unique<ProgramWindows>();
    windows->parent = std::make_unique<Tparent>();
    // Next, once they exist: the connect dialog, the two baud-search windows, the alarm dialog
    // and the log dialog, each attached to the main window as it is created.
    windows->frmAbout = std::make_unique<TfrmAbout>(windows->parent.get());
    windows->parent->SetAboutBox(windows->frmAbout.get());
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
