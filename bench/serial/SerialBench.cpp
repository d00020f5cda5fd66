// Speed of the serial link: the framer's matching alone, and the whole road from a
// pseudo-terminal to a delivered packet for 1 and 16 ports.

#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "serial/UiThread.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vx;

const std::string kMessage =
    "\x02Q,+001.23,-002.34,+000.12,M,00,\x03"
    "2A\r\n";

std::string Stream(std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) {
        s += kMessage;
    }
    return s;
}

// Matching only: a stand-alone manager fed 64 KiB chunks of messages.
void BM_FramerMatching(benchmark::State& state) {
    auto manager = TSerDataPacketManager::CreateStandalone();
    TSerDataPacket dpkt;
    manager->Attach(&dpkt);
    dpkt.SetStartString("\x02");
    dpkt.SetEndString("\r");
    std::size_t packets = 0;
    dpkt.OnStringPacket = [&](TSerDataPacket*, const std::string&) { ++packets; };
    dpkt.SetEnabled(true);
    const std::string chunk = Stream(64 * 1024);
    for (auto _ : state) {
        manager->Feed(chunk.data(), chunk.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FramerMatching);

// Bytes that hold no start character are passed over.
void BM_FramerPassOver(benchmark::State& state) {
    auto manager = TSerDataPacketManager::CreateStandalone();
    TSerDataPacket dpkt;
    manager->Attach(&dpkt);
    dpkt.SetStartString("$");
    dpkt.SetEndString("\r");
    dpkt.SetEnabled(true);
    const std::string chunk(64 * 1024, 'x');
    for (auto _ : state) {
        manager->Feed(chunk.data(), chunk.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_FramerPassOver);

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        slave = ::ptsname(master);
    }
    ~Pty() { ::close(master); }
    void WriteAll(const char* data, std::size_t size) const {
        while (size > 0) {
            ssize_t n = ::write(master, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
            } else if (errno != EINTR && errno != EAGAIN) {
                return;
            }
        }
    }
};

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// N ports, each a pseudo-terminal with a framer, as the connections use them.
class Rig {
public:
    explicit Rig(int count) {
        char pattern[] = "/tmp/vx-bench-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        ::chmod(dir_.c_str(), 0700);
        ::setenv("VENTRIX_PORTS_DIR", dir_.c_str(), 1);
        previousUi_ = SetUiThread(&ui_);
        for (int i = 0; i < count; ++i) {
            ptys_.push_back(std::make_unique<Pty>());
            std::string link = dir_ + "/COM" + std::to_string(i + 1);
            if (::symlink(ptys_.back()->slave.c_str(), link.c_str()) != 0) {
                throw std::runtime_error("cannot link " + link);
            }
            ports_.push_back(std::make_unique<TSerComPort>());
            framers_.push_back(std::make_unique<TSerDataPacket>());
            auto& port = *ports_.back();
            auto& dpkt = *framers_.back();
            port.SetAutoOpen(false);
            port.SetComNumber(static_cast<unsigned>(i + 1));
            dpkt.SetComPort(&port);
            dpkt.SetStartString("\x02");
            dpkt.SetEndString("\r");
            dpkt.OnStringPacket = [this](TSerDataPacket*, const std::string&) { ++delivered_; };
            dpkt.SetEnabled(true);
            port.SetOpen(true);
        }
    }
    ~Rig() {
        framers_.clear();
        ports_.clear();
        SetUiThread(previousUi_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    TaskQueueUiThread& Ui() { return ui_; }
    const std::vector<std::unique_ptr<Pty>>& Ptys() const { return ptys_; }
    std::size_t Delivered() const { return delivered_; }

private:
    std::string dir_;
    TaskQueueUiThread ui_;
    UiThread* previousUi_ = nullptr;
    std::vector<std::unique_ptr<Pty>> ptys_;
    std::vector<std::unique_ptr<TSerComPort>> ports_;
    std::vector<std::unique_ptr<TSerDataPacket>> framers_;
    std::size_t delivered_ = 0;
};

// As fast as the instrument side can write: packets per second delivered to the handler.
void BM_PtyToPacket(benchmark::State& state) {
    const int ports = static_cast<int>(state.range(0));
    Rig rig(ports);
    const std::string burst = Stream(4096);
    std::size_t perBurst = burst.size() / kMessage.size();
    std::size_t sent = 0;
    for (auto _ : state) {
        std::thread writer([&] {
            for (int round = 0; round < 20; ++round) {
                for (const auto& pty : rig.Ptys()) {
                    pty->WriteAll(burst.data(), burst.size());
                }
            }
        });
        sent += 20 * perBurst * static_cast<std::size_t>(ports);
        rig.Ui().WaitUntil([&] { return rig.Delivered() >= sent; }, 60000);
        writer.join();
    }
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(rig.Delivered()), benchmark::Counter::kIsRate);
    state.counters["lost"] = static_cast<double>(sent - rig.Delivered());
}
BENCHMARK(BM_PtyToPacket)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// The program's load: every port at 100 messages a second for 5 s. Reports lost packets and the
// CPU the serial link used, as a share of one core (the instrument side's own CPU excluded).
void BM_PortsAt100Hz(benchmark::State& state) {
    const int ports = static_cast<int>(state.range(0));
    constexpr int kSeconds = 5;
    constexpr int kRate = 100;
    for (auto _ : state) {
        Rig rig(ports);
        std::atomic<double> writerCpu{0};
        std::size_t sent = static_cast<std::size_t>(ports * kRate * kSeconds);
        const double cpuStart = CpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            auto next = std::chrono::steady_clock::now();
            for (int tick = 0; tick < kRate * kSeconds; ++tick) {
                for (const auto& pty : rig.Ptys()) {
                    pty->WriteAll(kMessage.data(), kMessage.size());
                }
                next += std::chrono::milliseconds(1000 / kRate);
                std::this_thread::sleep_until(next);
            }
            writerCpu = CpuSeconds(RUSAGE_THREAD);
        });
        rig.Ui().WaitUntil([&] { return rig.Delivered() >= sent; }, 60000);
        writer.join();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpuStart - writerCpu;
        state.counters["lost"] = static_cast<double>(sent - rig.Delivered());
        state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
        state.counters["packets/s"] = static_cast<double>(rig.Delivered()) / wall;
    }
}
BENCHMARK(BM_PortsAt100Hz)
    ->Arg(1)
    ->Arg(16)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Open ports with nothing arriving: what the threads cost while they wait.
void BM_IdlePorts(benchmark::State& state) {
    const int ports = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Rig rig(ports);
        const double cpuStart = CpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        rig.Ui().WaitUntil([] { return false; }, 3000);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["cpu_pct_of_core"] = 100.0 * (CpuSeconds(RUSAGE_SELF) - cpuStart) / wall;
    }
}
BENCHMARK(BM_IdlePorts)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
