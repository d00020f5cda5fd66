// The whole program at scale: N simulated instruments at 100 Hz and 115200 baud, connected
// through the real connect dialog, tiled side by side in a 1600 by 1000 main window, 2-minute
// averages on, each page in turn (and all windows minimised), with and without logging.
//
// Reported per run: the CPU time of this process (every thread: serial, log writer, user
// interface) per second of wall time, in percent of one core; the messages accepted and the
// paint events delivered per second. The instruments are separate processes and are not
// counted. Targets: 16 instruments with logging on any page under 10%; one instrument under 1%.
//
//   bench_app [--benchmark_filter=...]        offscreen unless QT_QPA_PLATFORM says otherwise
//   scripts/bench-app                         the same under Xvfb
//
// Instruments are connected once per instrument count and kept for every page and logging
// run of that count, so runs of one count must follow each other (they do, in this order).

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "logging/Logdlg.h"
#include "serial/QtUiThread.h"
#include "tests/e2e/E2eSupport.h"
#include "widgets/FramePacer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

extern char** environ;

namespace {

using vx::e2e::Pump;
using vx::e2e::WaitFor;

constexpr int kMainWidth = 1600;
constexpr int kMainHeight = 1000;
constexpr int kFirstCom = 11;
constexpr int kSettleMs = 60000;
constexpr int kWarmUpMs = 2000;
constexpr int kSampleMs = 2000;

enum Page { kWindsock = 0, kData = 1, kGraph = 2, kMinimised = 3 };

// Context switches of the whole process: on a virtual machine each costs far more than the
// work that causes it (a hand-over between threads, a fill that the toolkit splits between its
// thread pool's threads).
long long ContextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

double Seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Counts the paint events the program's widgets receive and the pixels they cover.
// VENTRIX_BENCH_PAINTS=1 also lists the most painted widgets after each run.
class PaintCounter : public QObject {
public:
    long long paints = 0;
    double pixels = 0;
    std::map<QString, std::pair<long long, double>> byWidget;

    void PrintAndClear() {
        std::vector<std::pair<double, QString>> order;
        for (const auto& [name, counts] : byWidget) {
            order.emplace_back(counts.second, name);
        }
        std::sort(order.rbegin(), order.rend());
        for (std::size_t i = 0; i < order.size() && i < 12; ++i) {
            const auto& counts = byWidget[order[i].second];
            std::cerr << "  " << order[i].second.toStdString() << ": " << counts.first
                      << " paints, " << counts.second / 1e6 << " Mpx\n";
        }
        byWidget.clear();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            double covered = 0;
            for (const QRect& area : static_cast<QPaintEvent*>(event)->region()) {
                covered += static_cast<double>(area.width()) * area.height();
            }
            pixels += covered;
            if (listing_) {
                const QString name = watched->objectName().isEmpty()
                                         ? QString::fromLatin1(watched->metaObject()->className())
                                         : watched->objectName();
                auto& counts = byWidget[name];
                ++counts.first;
                counts.second += covered;
            }
        }
        return false;
    }

private:
    bool listing_ = qEnvironmentVariableIntValue("VENTRIX_BENCH_PAINTS") == 1;
};

// ventrix-sim on COM<com>, started without QProcess: its banner goes to a file, so that the
// program's event loop watches no pipe or child process of the benchmark's own.
class Instrument {
public:
    Instrument(const QString& portsFolder, int com, const QStringList& options,
               const QString& bannerPath)
        : com_(com) {
        QStringList arguments = {QStringLiteral("--port"), QString::number(com),
                                 QStringLiteral("--ports-dir"), portsFolder};
        arguments += options;
        std::vector<QByteArray> owned = {QByteArrayLiteral(VX_BINARY_DIR "/tools/sim/ventrix-sim")};
        for (const QString& argument : arguments) {
            owned.push_back(argument.toLocal8Bit());
        }
        std::vector<char*> argv;
        for (QByteArray& argument : owned) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        const QByteArray banner = bannerPath.toLocal8Bit();
        pid_ = Spawn(argv.data(), banner.constData());
        QDeadlineTimer deadline(20000);
        while (pid_ > 0 && !deadline.hasExpired()) {
            QFile file(bannerPath);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains("\nready\n")) {
                ready_ = true;
                break;
            }
            usleep(20000);
        }
    }
    ~Instrument() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    bool Ready() const { return ready_; }
    int ComNumber() const { return com_; }

private:
    // Forked rather than spawned: the child asks to be sent SIGTERM when this process dies, so a
    // benchmark that is killed or crashes leaves no instruments running. Between fork and exec
    // only async-signal-safe calls: the parent has threads.
    static pid_t Spawn(char* const* argv, const char* bannerPath) {
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid != 0) {
            return pid > 0 ? pid : 0;
        }
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) {
            _exit(127);
        }
        const int banner = open(bannerPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (banner < 0 || dup2(banner, STDOUT_FILENO) < 0) {
            _exit(127);
        }
        close(banner);
        execve(argv[0], argv, environ);
        _exit(127);
    }

    int com_;
    pid_t pid_ = 0;
    bool ready_ = false;
};

// One program with its instruments, kept while runs with the same instrument count follow.
class Scene {
public:
    explicit Scene(int count) : count_(count) {
        for (int i = 0; i < count; ++i) {
            const int com = kFirstCom + i;
            sims_.push_back(std::make_unique<Instrument>(
                ports_.Path(), com,
                QStringList{"--format", "VARN_UV_TWO_AXIS", "--rate", "100", "--baud", "115200",
                            "--seed", QString::number(i + 1), "--veer", "60"},
                work_.filePath(QStringLiteral("sim%1.txt").arg(com))));
            if (!sims_.back()->Ready()) {
                error_ = "the instrument on COM" + std::to_string(com) + " did not start";
                return;
            }
        }
        program_ = std::make_unique<vx::e2e::Program>();
        program_->Parent().resize(kMainWidth, kMainHeight);
        for (const auto& sim : sims_) {
            vx::Tchild* child = program_->ConnectThroughDialog({sim->ComNumber(),
                                                                QStringLiteral("115200"),
                                                                QStringLiteral("VARN_UV_TWO_AXIS"),
                                                                {}});
            if (child == nullptr || child->IsClosed()) {
                error_ = "COM" + std::to_string(sim->ComNumber()) +
                         " did not connect: " + boxes_.Texts().join(" | ").toStdString();
                return;
            }
            children_.push_back(child);
        }
        program_->Choose("N2min1");
        program_->Choose("Tile1");
        const bool settled = WaitFor(
            [this] {
                return std::all_of(children_.begin(), children_.end(),
                                   [](vx::Tchild* c) { return c->Settled(); });
            },
            kSettleMs);
        if (!settled) {
            error_ = "the instruments did not settle";
            return;
        }
        PrepareLogDialog();
    }

    ~Scene() {
        SetLogging(false);
        program_.reset();
    }

    int Count() const { return count_; }
    const std::string& Error() const { return error_; }

    void ShowPage(int page) {
        for (vx::Tchild* child : children_) {
            auto* frame = qobject_cast<QMdiSubWindow*>(child->parentWidget());
            if (page == kMinimised) {
                frame->showMinimized();
                continue;
            }
            if (frame->isMinimized()) {
                frame->showNormal();
            }
            static const char* const kPages[] = {"tsWindsock", "tsData", "tsGraph"};
            auto* pages = child->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
            pages->setCurrentWidget(child->findChild<QWidget*>(QString::fromLatin1(kPages[page])));
        }
        if (page != kMinimised) {
            program_->Choose("Tile1");
        }
    }

    void SetLogging(bool on) {
        if (program_ == nullptr || logging_ == on) {
            return;
        }
        program_->Choose("StartStop1");
        logging_ = on;
    }

    long long Messages() const {
        long long total = 0;
        for (vx::Tchild* child : children_) {
            total += child->Wind().Packets();
        }
        return total;
    }

private:
    void PrepareLogDialog() {
        vx::TfrmLogDlg& log = *program_->Windows().frmLogDlg;
        program_->Choose("Logging1");
        WaitFor([&] { return log.isVisible(); }, 5000);
        log.edDir->setText(work_.filePath(QStringLiteral("logs")));
        QDir().mkpath(work_.filePath(QStringLiteral("logs")));
        log.cbEnable->setChecked(true);
        log.Button1->click();
    }

    int count_;
    QTemporaryDir work_;
    vx::e2e::ScopedEnv config_{"XDG_CONFIG_HOME",
                               work_.filePath(QStringLiteral("config")).toLocal8Bit()};
    vx::e2e::PortsFolder ports_;
    vx::e2e::BoxRecorder boxes_;
    std::vector<std::unique_ptr<Instrument>> sims_;
    // Declared last: the program's windows go before the instruments they listen to.
    std::unique_ptr<vx::e2e::Program> program_;
    std::vector<vx::Tchild*> children_;
    bool logging_ = false;
    std::string error_;
};

std::unique_ptr<Scene> gScene;
PaintCounter* gPaints = nullptr;

Scene& SceneFor(int count) {
    if (gScene == nullptr || gScene->Count() != count) {
        gScene.reset();
        gScene = std::make_unique<Scene>(count);
    }
    return *gScene;
}

// state.range(0): instruments; range(1): the page every window shows; range(2): logging.
void BM_Program(benchmark::State& state) {
    Scene& scene = SceneFor(static_cast<int>(state.range(0)));
    if (!scene.Error().empty()) {
        state.SkipWithError(scene.Error().c_str());
        return;
    }
    scene.ShowPage(static_cast<int>(state.range(1)));
    scene.SetLogging(state.range(2) == 1);
    Pump(kWarmUpMs);

    double cpu = 0;
    double wall = 0;
    long long messages = 0;
    long long paints = 0;
    double pixels = 0;
    long long switches = 0;
    gPaints->byWidget.clear();
    vx::FramePacer::Shared().TakeWaits();
    for (auto _ : state) {
        const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        const double wall0 = Seconds(CLOCK_MONOTONIC);
        const long long messages0 = scene.Messages();
        const long long paints0 = gPaints->paints;
        const double pixels0 = gPaints->pixels;
        const long long switches0 = ContextSwitches();
        Pump(kSampleMs);
        const double elapsed = Seconds(CLOCK_MONOTONIC) - wall0;
        state.SetIterationTime(elapsed);
        cpu += Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        wall += elapsed;
        messages += scene.Messages() - messages0;
        paints += gPaints->paints - paints0;
        pixels += gPaints->pixels - pixels0;
        switches += ContextSwitches() - switches0;
    }
    gPaints->PrintAndClear();
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    state.counters["msgs_per_s"] = static_cast<double>(messages) / wall;
    state.counters["paints_per_s"] = static_cast<double>(paints) / wall;
    state.counters["Mpx_per_s"] = pixels / wall / 1e6;
    state.counters["csw_per_s"] = static_cast<double>(switches) / wall;
    const vx::FramePacer::Waits waits = vx::FramePacer::Shared().TakeWaits();
    state.counters["frame_wait_ms"] = waits.meanMs;
    state.counters["frame_wait_max_ms"] = static_cast<double>(waits.longestMs);
}

void Arguments(benchmark::internal::Benchmark* b) {
    for (int count : {1, 4, 16}) {
        for (int logging : {0, 1}) {
            for (int page : {kWindsock, kData, kGraph, kMinimised}) {
                b->Args({count, page, logging});
            }
        }
    }
}
BENCHMARK(BM_Program)
    ->ArgNames({"instruments", "page", "logging"})
    ->Apply(Arguments)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    vx::Application application(argc, argv);
    vx::InstallSerialDialogs();
    PaintCounter paints;
    gPaints = &paints;
    application.installEventFilter(&paints);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gScene.reset();
    return 0;
}
