// Costs of live drawing: one chart step at the connection's design size (target < 50 us) and
// one windsock paint at 300 by 300 (target < 1 ms). Run on the offscreen platform.

#include "widgets/Pgraph.h"
#include "widgets/Varnwindsock.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

// One step as the connection adds it: two points, then Update, on a chart that scrolls.
void BM_ChartUpdateTwoLinePoints(benchmark::State& state) {
    vx::Tpgraph chart;
    chart.resize(609, 345);
    chart.SetForeColor(vx::kWhite);
    chart.SetBackColor(vx::kButtonFace);
    chart.SetAxisColor(vx::kBlack);
    chart.SetGridSize(10);
    chart.SetRightYAxislines(false);
    chart.SetAxisCentre(false);
    chart.SetScale(1000);
    chart.Reset();
    int k = 0;
    for (; k < 200; ++k) {
        chart.DataPoint(vx::kRed, k % 1000);
        chart.DataPoint(vx::kBlue, 500);
        chart.Update();
    }
    for (auto _ : state) {
        chart.DataPoint(vx::kRed, static_cast<int>(500 + 400 * std::sin(k * 0.1)));
        chart.DataPoint(vx::kBlue, (k * 37) % 1000);
        chart.Update();
        ++k;
    }
    benchmark::DoNotOptimize(chart.Bitmap().constBits());
}
BENCHMARK(BM_ChartUpdateTwoLinePoints);

// What the toolkit does when it shows a chart step: copy the picture to the window's surface.
void BM_ChartPaint(benchmark::State& state) {
    vx::Tpgraph chart;
    chart.resize(609, 345);
    QImage surface(609, 345, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&surface);
        chart.render(&painter);
    }
    benchmark::DoNotOptimize(surface.constBits());
}
BENCHMARK(BM_ChartPaint);

void BM_WindsockPaint300(benchmark::State& state) {
    vx::TVarnWindsock windsock;
    windsock.resize(300, 300);
    windsock.SetRose(1);
    QImage surface(300, 300, QImage::Format_ARGB32_Premultiplied);
    int bearing = 0;
    for (auto _ : state) {
        windsock.SetDataSample(bearing);
        bearing = (bearing + 7) % 360;
        QPainter painter(&surface);
        windsock.render(&painter);
    }
    benchmark::DoNotOptimize(surface.constBits());
}
BENCHMARK(BM_WindsockPaint300);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
