// What one message costs the connection window on the user-interface thread: the message test
// and parse, the data page, the graph, the windsock and the digital panels, offscreen. At 100
// messages a second the budget is well under 10 ms; the target is 50 microseconds.

#include "connection/Anemometer.h"
#include "serial/QtUiThread.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Framed(const std::string& body) {
    unsigned x = 0;
    for (char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    static const char* kDigits = "0123456789ABCDEF";
    return "\x02" + body + "\x03" + kDigits[(x >> 4) & 15] + kDigits[x & 15] + "\r";
}

// A turning, gusting wind, so every panel changes with every message.
std::vector<std::string> Messages(bool polar) {
    std::vector<std::string> messages;
    for (int i = 0; i < 200; ++i) {
        char body[64];
        if (polar) {
            std::snprintf(body, sizeof body, "Q,%03d,%06.2f,M,00", (i * 7) % 360,
                          4.0 + (i % 37) * 0.13);
        } else {
            std::snprintf(body, sizeof body, "Q,%+07.2f,%+07.2f,M,00", -3.0 + (i % 41) * 0.17,
                          2.0 - (i % 23) * 0.21);
        }
        messages.push_back(Framed(body));
    }
    return messages;
}

enum Page { kWindsock = 0, kData = 1, kGraph = 2 };

void Prepare(vx::Tchild& child, bool polar, int page) {
    child.resize(693, 470);
    child.show();
    QApplication::processEvents();
    auto* formats = child.findChild<QComboBox*>(QStringLiteral("cbSetOutputFormat"));
    formats->setCurrentIndex(polar ? 1 : 0);
    child.buApplySettingsClick();
    child.SetUnits(0);
    child.SetDisplayMode(polar ? 1 : 0);
    child.SetYScale(10);
    child.SetDirectionRange(360);
    child.SetRoseType(1);
    child.SetAveraging(0);
    child.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
    QApplication::processEvents();
}

// state.range(0): 1 polar, 0 UV; range(1): the page showing; range(2): 1 when every message is
// also painted (the worst case: the toolkit normally folds several messages into one paint).
void BM_MessageToViews(benchmark::State& state) {
    const bool polar = state.range(0) == 1;
    const bool paint = state.range(2) == 1;
    vx::DefaultConnectionHost host;
    vx::Tchild child(host);
    Prepare(child, polar, static_cast<int>(state.range(1)));
    const std::vector<std::string> messages = Messages(polar);
    std::size_t next = 0;
    for (auto _ : state) {
        child.dpktStringPacket(nullptr, messages[next]);
        next = (next + 1) % messages.size();
        if (paint) {
            QApplication::processEvents();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MessageToViews)
    ->ArgNames({"polar", "page", "paint"})
    ->Args({1, kGraph, 0})
    ->Args({0, kGraph, 0})
    ->Args({1, kGraph, 1})
    ->Args({1, kWindsock, 0})
    ->Args({1, kWindsock, 1})
    ->Args({1, kData, 0})
    ->Args({1, kData, 1})
    ->Unit(benchmark::kMicrosecond);

// A connection whose device has gone: it says so, and tries the port once a second. What that
// costs while nobody plugs the device back (the target is under 1% of a core per connection).
class LostConnections {
public:
    explicit LostConnections(int count) {
        char pattern[] = "/tmp/vx-bench-ports-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        qputenv("VENTRIX_PORTS_DIR", QByteArray::fromStdString(folder_));
        for (int i = 0; i < count; ++i) {
            const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::grantpt(master);
            ::unlockpt(master);
            const std::string link = folder_ + "/COM" + std::to_string(5 + i);
            ::symlink(::ptsname(master), link.c_str());
            masters_.push_back(master);
            children_.push_back(std::make_unique<vx::Tchild>(host_));
        }
        // The instruments talk until their connections have heard them.
        QTimer talk;
        QObject::connect(&talk, &QTimer::timeout, [this] {
            const std::string message = Framed("Q,+001.00,-002.00,M,00");
            for (int master : masters_) {
                [[maybe_unused]] auto n = ::write(master, message.data(), message.size());
            }
        });
        talk.start(100);
        for (std::size_t i = 0; i < children_.size(); ++i) {
            children_[i]->Connect(static_cast<int>(5 + i), 9600, "IUVN", "VARN_UV_TWO_AXIS",
                                  "Lost " + std::to_string(i), 'N');
        }
        talk.stop();
        for (int master : masters_) {
            ::close(master);  // every device goes away
        }
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000 && !AllLost()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    ~LostConnections() {
        children_.clear();
        std::filesystem::remove_all(folder_);
    }
    bool AllLost() const {
        for (const auto& child : children_) {
            if (!child->PortLost()) {
                return false;
            }
        }
        return true;
    }

private:
    std::string folder_;
    vx::DefaultConnectionHost host_;
    std::vector<int> masters_;
    std::vector<std::unique_ptr<vx::Tchild>> children_;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_LostConnections(benchmark::State& state) {
    for (auto _ : state) {
        LostConnections lost(static_cast<int>(state.range(0)));
        if (!lost.AllLost()) {
            state.SkipWithError("the loss was not noticed");
            return;
        }
        const double cpuStart = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
        state.counters["cpu_pct_of_core"] = 100.0 * (CpuSeconds() - cpuStart) / seconds;
        state.counters["still_lost"] = lost.AllLost() ? 1 : 0;
    }
}
BENCHMARK(BM_LostConnections)
    ->ArgName("connections")
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    vx::InstallQtUiThread();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
