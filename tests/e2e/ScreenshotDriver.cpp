// Runs the whole program as start-up creates it, connects instruments through the connect
// dialog, tiles them on their windsock pages with 2-minute averages, waits for data and saves a
// picture of the main window, then one of each dialog (to see that no text is cut short). Used
// by scripts/screenshots, under a real (virtual) X display.
//
//   ventrix-screenshot-driver FOLDER COM FORMAT [COM FORMAT ...] [SECONDS]

#include "alarm/Alarm.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/Main.h"
#include "app/Newanemdlg.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "logging/Logdlg.h"
#include "serial/QtUiThread.h"
#include "tests/e2e/E2eSupport.h"

#include <QDir>
#include <QTabWidget>

#include <algorithm>

#include <iostream>

namespace {

using vx::e2e::WaitFor;

bool Save(QWidget& window, const QString& path) {
    vx::e2e::Pump(200);
    const bool saved = window.grab().save(path);
    std::cout << (saved ? "saved " : "could not save ") << path.toStdString() << "\n";
    return saved;
}

void ShowPage(vx::Tchild& child, const char* page) {
    auto* pages = child.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* widget = child.findChild<QWidget*>(QString::fromLatin1(page));
    if (pages != nullptr && widget != nullptr) {
        pages->setCurrentWidget(widget);
    }
}

bool SaveDialog(QWidget& dialog, const QString& path) {
    dialog.show();
    const bool saved = Save(dialog, path);
    dialog.hide();
    return saved;
}

bool SaveDialogs(vx::e2e::Program& program, const QString& folder) {
    vx::ProgramWindows& windows = program.Windows();
    bool saved = SaveDialog(*windows.frmNewAnem, folder + QStringLiteral("/dialog-connect.png"));
    saved = SaveDialog(*windows.frmAlarm, folder + QStringLiteral("/dialog-alarm.png")) && saved;
    saved = SaveDialog(*windows.frmLogDlg, folder + QStringLiteral("/dialog-log.png")) && saved;
    return SaveDialog(*windows.frmAbout, folder + QStringLiteral("/dialog-about.png")) && saved;
}

int Run(const QString& folder, const std::vector<vx::e2e::DialogChoice>& choices, int seconds) {
    vx::e2e::BoxRecorder boxes;
    vx::e2e::Program program;
    std::vector<vx::Tchild*> children;
    for (const vx::e2e::DialogChoice& choice : choices) {
        vx::Tchild* child = program.ConnectThroughDialog(choice);
        if (child == nullptr || child->IsClosed()) {
            std::cerr << "COM" << choice.comNumber
                      << " did not connect: " << boxes.Texts().join(" | ").toStdString() << "\n";
            return 1;
        }
        children.push_back(child);
    }
    program.Choose("Tile1");
    program.Choose("N2min1");
    for (vx::Tchild* child : children) {
        ShowPage(*child, "tsWindsock");
    }
    // The output rate is known about ten seconds after detection; gusts follow from then on.
    WaitFor(
        [&] {
            return std::all_of(children.begin(), children.end(),
                               [](vx::Tchild* c) { return c->Settled(); });
        },
        30000);
    vx::e2e::Pump(seconds * 1000);
    bool saved = Save(program.Parent(), folder + QStringLiteral("/main-windsock.png"));

    for (vx::Tchild* child : children) {
        ShowPage(*child, "tsGraph");
    }
    vx::e2e::Pump(seconds * 1000);
    saved = Save(program.Parent(), folder + QStringLiteral("/main-graph.png")) && saved;
    saved = SaveDialogs(program, folder) && saved;

    for (const vx::MessageRequest& box : boxes.Boxes()) {
        std::cerr << "message box: " << box.caption.toStdString() << ": " << box.text.toStdString()
                  << "\n";
    }
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    vx::Application application(argc, argv);
    vx::InstallSerialDialogs();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::cerr << "usage: ventrix-screenshot-driver FOLDER COM FORMAT [COM FORMAT ...] "
                     "[SECONDS]\n";
        return 2;
    }
    const QString folder = arguments[1];
    QDir().mkpath(folder);
    std::vector<vx::e2e::DialogChoice> choices;
    qsizetype next = 2;
    for (; next + 1 < arguments.size(); next += 2) {
        choices.push_back(
            {arguments[next].toInt(), QStringLiteral("9600"), arguments[next + 1], {}});
    }
    const int seconds = next < arguments.size() ? arguments[next].toInt() : 6;
    return Run(folder, choices, seconds);
}
