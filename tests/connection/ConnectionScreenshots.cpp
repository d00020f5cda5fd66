// Shows one connection window connected to an instrument (ventrix-sim, normally) and saves a
// picture of each page, for a reviewer to look at. Used by scripts/screenshots-connection.
//
//   connection_screenshots --port N --out FOLDER [--format-position P] [--seconds S]

#include "connection/Anemometer.h"
#include "serial/QtUiThread.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>

#include <iostream>
#include <string>

namespace {

struct Options {
    int port = 0;
    QString out;
    int formatPosition = 1;
    int seconds = 4;
};

bool ReadOptions(const QStringList& arguments, Options& options) {
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        const QString& value = arguments[i + 1];
        if (name == "--port") {
            options.port = value.toInt();
        } else if (name == "--out") {
            options.out = value;
        } else if (name == "--format-position") {
            options.formatPosition = value.toInt();
        } else if (name == "--seconds") {
            options.seconds = value.toInt();
        } else {
            return false;
        }
    }
    return options.port > 0 && !options.out.isEmpty();
}

bool Save(QWidget& window, const QString& path) {
    QApplication::processEvents();
    const bool saved = window.grab().save(path);
    std::cout << (saved ? "saved " : "could not save ") << path.toStdString() << "\n";
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Options options;
    if (!ReadOptions(app.arguments(), options)) {
        std::cerr << "usage: connection_screenshots --port N --out FOLDER "
                     "[--format-position P] [--seconds S]\n";
        return 2;
    }
    vx::InstallSerialDialogs();
    QDir().mkpath(options.out);

    vx::DefaultConnectionHost host;
    host.selectedFormatPosition = options.formatPosition;
    host.formatTable.LoadFormats();
    const std::string letters = host.formatTable.FormatLettersAt(options.formatPosition);
    const std::string format = host.formatTable.FormatNameAt(options.formatPosition);

    vx::Tchild child(host);
    child.resize(693, 470);
    child.show();
    child.Connect(options.port, 9600, letters, format, "Anemometer 1", 'N');
    // The main window's settings, as it pushes them after connecting.
    child.SetUnits(0);
    child.SetDisplayMode(vx::IsPolarFormat(format) ? 1 : 0);
    child.SetYScale(10);
    child.SetDirectionRange(360);
    child.SetRoseType(1);
    child.SetAveraging(2);
    child.resize(693, 470);
    if (!QTest::qWaitFor([&] { return child.Settled(); }, 20000)) {
        std::cerr << "the output rate was not measured\n";
    }

    auto* pages = child.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    const char* names[] = {"windsock", "data", "graph", "options"};
    bool allSaved = true;
    for (int page = 0; page < 4; ++page) {
        pages->setCurrentIndex(page);
        QTest::qWait(options.seconds * 1000);
        allSaved = Save(child, options.out + "/connection-" + names[page] + ".png") && allSaved;
    }
    return allSaved ? 0 : 1;
}
