#include "tests/widgets/WidgetTestSupport.h"
#include "widgets/Pgraph.h"

#include <QImage>
#include <QPalette>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vx {
namespace {

const QRgb kRedRgb = qRgb(255, 0, 0);
const QRgb kBlueRgb = qRgb(0, 0, 255);
const QRgb kBlackRgb = qRgb(0, 0, 0);

// A chart at the connection's design size that draws nothing but its data, with 0 on the
// bottom row and Scale 1000.
std::unique_ptr<Tpgraph> PlainChart(int width = 609, int height = 345) {
    auto chart = std::make_unique<Tpgraph>();
    chart->resize(width, height);
    chart->SetGridlines(false);
    chart->SetAxislines(false);
    chart->SetRightYAxislines(false);
    chart->SetAxisCentre(false);
    chart->SetScale(1000);
    chart->Reset();
    return chart;
}

void Step(Tpgraph& chart, int red) {
    chart.DataPoint(kRed, red);
    chart.Update();
}

void StepTwo(Tpgraph& chart, int red, int blue) {
    chart.DataPoint(kRed, red);
    chart.DataPoint(kBlue, blue);
    chart.Update();
}

// A made-up but reproducible pair of series.
int SeriesA(int k) {
    return static_cast<int>(500 + 450 * std::sin(k * 0.21));
}
int SeriesB(int k) {
    return (k * 37) % 900 + 50;
}

std::vector<int> RowsOf(const QImage& image, int x, QRgb colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) == colour) {
            rows.push_back(y);
        }
    }
    return rows;
}

int Count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

// Compares columns [fromX, fromX + width) of a with columns starting at toX of b.
::testing::AssertionResult SameColumns(const QImage& a, int fromX, const QImage& b, int toX,
                                       int width) {
    if (a.height() != b.height()) {
        return ::testing::AssertionFailure() << "heights differ";
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int i = 0; i < width; ++i) {
            if (a.pixel(fromX + i, y) != b.pixel(toX + i, y)) {
                return ::testing::AssertionFailure()
                       << "column " << fromX + i << " / " << toX + i << " differs at row " << y;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// ---- Plotting rules --------------------------------------------------------------------------

TEST(PgraphRows, ZeroAtBottomPutsHalfScaleOnRow172) {
    auto chart = PlainChart();
    Step(*chart, 500);
    Step(*chart, 500);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kRedRgb), std::vector<int>{172});
}

TEST(PgraphRows, CentredAxisPutsZeroOnRow173AndFullScaleOnRow1) {
    auto chart = PlainChart();
    chart->SetAxisCentre(true);
    chart->Reset();
    StepTwo(*chart, 0, 1000);
    StepTwo(*chart, 0, 1000);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kRedRgb), std::vector<int>{173});
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kBlueRgb), std::vector<int>{1});
}

TEST(PgraphRows, ScaleZeroDrawsEveryValueOnTheZeroLine) {
    auto chart = PlainChart();
    chart->SetGradient(0);
    chart->SetScale(0);
    EXPECT_EQ(chart->Scale(), 0);
    Step(*chart, 500);
    Step(*chart, -70000);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kRedRgb), std::vector<int>{344});
}

TEST(PgraphLines, NewSeriesStartsAtZeroAndTheEndPixelIsLeftForTheNextBand) {
    auto chart = PlainChart();
    Step(*chart, 500);
    const QImage& image = chart->Bitmap();
    EXPECT_EQ(RowsOf(image, 2, kRedRgb).back(), 344);
    EXPECT_NE(image.pixel(7, 172), kRedRgb);
    EXPECT_EQ(image.pixel(6, 200), kRedRgb);
    for (int x = 8; x < 609; ++x) {
        ASSERT_TRUE(RowsOf(image, x, kRedRgb).empty()) << x;
    }
}

TEST(PgraphLines, SeriesJoinTheirOwnColourInThePreviousBand) {
    auto chart = PlainChart();
    StepTwo(*chart, 200, 800);
    // Blue first this time: each line still starts at its own colour's previous value.
    chart->DataPoint(kBlue, 800);
    chart->DataPoint(kRed, 200);
    chart->Update();
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kRedRgb), std::vector<int>{345 - 1 - 69});
    EXPECT_EQ(RowsOf(chart->Bitmap(), 9, kBlueRgb), std::vector<int>{345 - 1 - 276});
}

// The k-th step's segment runs from column 5k - 3 (coloured) to 5k + 2 (left for the next).
TEST(PgraphLines, ChartFillsFromTheLeftAndScrollsAfterBand121) {
    auto chart = PlainChart();
    EXPECT_EQ(chart->GetBandCount(), 121);
    Step(*chart, 500);
    for (int k = 2; k <= 121; ++k) {
        EXPECT_FALSE(chart->Scrolling()) << k;
        Step(*chart, 500);
        const QImage& image = chart->Bitmap();
        ASSERT_EQ(image.pixel(5 * k - 3, 172), kRedRgb) << k;
        ASSERT_EQ(image.pixel(5 * k + 1, 172), kRedRgb) << k;
        ASSERT_NE(image.pixel(5 * k + 2, 172), kRedRgb) << k;
    }
    EXPECT_TRUE(chart->Scrolling());
    EXPECT_NE(chart->Bitmap().pixel(607, 172), kRedRgb);
}

TEST(PgraphLines, EachStepAfterTheChartIsFullScrollsOneBand) {
    auto chart = PlainChart();
    for (int k = 1; k <= 121; ++k) {
        StepTwo(*chart, SeriesA(k), SeriesB(k));
    }
    const QImage before = chart->Bitmap().copy();
    StepTwo(*chart, SeriesA(122), SeriesB(122));
    const QImage& after = chart->Bitmap();
    EXPECT_TRUE(SameColumns(before, 5, after, 0, 602));
    // The new band is cleared and holds only the new segments, starting at the last values.
    EXPECT_EQ(after.pixel(602, 345 - 1 - 345 * SeriesA(121) / 1000), kRedRgb);
    EXPECT_EQ(after.pixel(602, 345 - 1 - 345 * SeriesB(121) / 1000), kBlueRgb);
    for (int y = 0; y < 345; ++y) {
        ASSERT_EQ(after.pixel(608, y), kBlackRgb) << y;
    }
}

TEST(PgraphLines, ResetOnAScrolledChartStartsAgainAtTheLeft) {
    auto chart = PlainChart();
    for (int k = 1; k <= 130; ++k) {
        Step(*chart, SeriesA(k));
    }
    ASSERT_TRUE(chart->Scrolling());
    chart->Reset();
    EXPECT_FALSE(chart->Scrolling());
    EXPECT_EQ(Count(chart->Bitmap(), kRedRgb), 0);
    Step(*chart, 500);
    EXPECT_EQ(chart->Bitmap().pixel(2, 344), kRedRgb);
    for (int x = 8; x < 609; ++x) {
        ASSERT_TRUE(RowsOf(chart->Bitmap(), x, kRedRgb).empty()) << x;
    }
}

TEST(PgraphLines, StepsWithoutPointsStillAdvanceTheChart) {
    auto chart = PlainChart();
    for (int k = 1; k <= 200; ++k) {
        chart->Update();
    }
    EXPECT_TRUE(chart->Scrolling());
    Step(*chart, 500);
    // Drawn at the right edge, not wrapped round to the left.
    EXPECT_EQ(RowsOf(chart->Bitmap(), 602, kRedRgb).back(), 344);
    EXPECT_TRUE(RowsOf(chart->Bitmap(), 2, kRedRgb).empty());
}

// ---- Bars ------------------------------------------------------------------------------------

TEST(PgraphBars, PointsOfABandStack) {
    auto chart = PlainChart();
    chart->SetGraphKind(pgBar);
    StepTwo(*chart, 30, 30);
    // One bar: 345 * 30 / 1000 = 10, covering rows 334..344 of the first band (columns 3..7).
    EXPECT_EQ(Count(chart->Bitmap(), kRedRgb), 5 * 11);
    EXPECT_EQ(Count(chart->Bitmap(), kBlueRgb), 0);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 3, kRedRgb).front(), 334);
    EXPECT_TRUE(RowsOf(chart->Bitmap(), 8, kRedRgb).empty());

    StepTwo(*chart, 30, 60);
    // Blue from 30 to 60 stacked on red: rows 324..334 of the second band.
    EXPECT_EQ(RowsOf(chart->Bitmap(), 10, kBlueRgb).front(), 324);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 10, kBlueRgb).back(), 334);
    EXPECT_EQ(RowsOf(chart->Bitmap(), 10, kRedRgb).front(), 335);
}

TEST(PgraphBars, BarChartFillsFromTheLeftAndScrolls) {
    auto chart = PlainChart();
    chart->SetGraphKind(pgBar);
    for (int k = 1; k <= 121; ++k) {
        Step(*chart, SeriesB(k));
    }
    EXPECT_TRUE(chart->Scrolling());
    const QImage before = chart->Bitmap().copy();
    Step(*chart, SeriesB(122));
    EXPECT_TRUE(SameColumns(before, 5, chart->Bitmap(), 0, 603));
    EXPECT_EQ(RowsOf(chart->Bitmap(), 605, kRedRgb).size(),
              static_cast<size_t>(345 * SeriesB(122) / 1000 + 1));
}

// ---- Points ----------------------------------------------------------------------------------

TEST(PgraphPoints, SeventeenthPointIsARangeErrorAndNotStored) {
    auto chart = PlainChart();
    for (int i = 0; i < Tpgraph::kMaxPoints; ++i) {
        chart->DataPoint(kRed, 100);
    }
    try {
        chart->DataPoint(kBlue, 900);
        ADD_FAILURE() << "17th point accepted";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "");
    }
    chart->Update();
    EXPECT_GT(Count(chart->Bitmap(), kRedRgb), 0);
    EXPECT_EQ(Count(chart->Bitmap(), kBlueRgb), 0);
}

// ---- Settings --------------------------------------------------------------------------------

TEST(PgraphSettings, ScaleIsRoundedUpToTheGradient) {
    Tpgraph chart;
    int changes = 0;
    chart.SetOnScaleChange([&](Tpgraph* sender) {
        EXPECT_EQ(sender, &chart);
        ++changes;
    });
    chart.SetScale(250);
    EXPECT_EQ(chart.Scale(), 300);
    EXPECT_EQ(changes, 1);
    chart.SetScale(300);
    chart.SetScale(250);
    EXPECT_EQ(changes, 1) << "no change of scale, no notice";
    chart.SetScale(-150);
    EXPECT_EQ(chart.Scale(), 0);
    EXPECT_EQ(changes, 2);
    chart.SetGradient(0);
    EXPECT_EQ(chart.Scale(), 0) << "the gradient does not round the stored scale again";
    chart.SetScale(300);
    EXPECT_EQ(chart.Scale(), 300);
    chart.SetScale(251);
    EXPECT_EQ(chart.Scale(), 251);
    EXPECT_EQ(changes, 4);
}

TEST(PgraphSettings, RoundUpTable) {
    EXPECT_EQ(Tpgraph::RoundUp(250, 100), 300);
    EXPECT_EQ(Tpgraph::RoundUp(300, 100), 300);
    EXPECT_EQ(Tpgraph::RoundUp(-150, 100), 0);
    EXPECT_EQ(Tpgraph::RoundUp(-250, 100), -100);
    EXPECT_EQ(Tpgraph::RoundUp(7, 0), 7);
    EXPECT_EQ(Tpgraph::RoundUp(INT_MIN, -1), INT_MIN);
    EXPECT_EQ(Tpgraph::RoundUp(INT_MAX, 100), INT_MAX);
}

TEST(PgraphSettings, GridAndStepSizesHaveFloors) {
    Tpgraph chart;
    chart.SetGridSize(1);
    EXPECT_EQ(chart.GridSize(), 2);
    chart.SetStepSize(0);
    EXPECT_EQ(chart.StepSize(), 1);
    EXPECT_EQ(chart.GetBandCount(), 800);
    chart.SetStepSize(-4);
    EXPECT_EQ(chart.StepSize(), 1);
}

TEST(PgraphSettings, SystemBackColourFollowsThePalette) {
    auto chart = PlainChart();
    chart->SetBackColor(kButtonFace);
    QPalette palette = chart->palette();
    palette.setColor(QPalette::Button, QColor(10, 20, 30));
    chart->setPalette(palette);
    EXPECT_EQ(chart->Bitmap().pixel(300, 100), qRgb(10, 20, 30));
    // Also the column right of the plot, which only the (here hidden) right axis draws on.
    EXPECT_EQ(chart->Bitmap().pixel(608, 100), qRgb(10, 20, 30));
}

// ---- Replay ----------------------------------------------------------------------------------

// A change of settings redraws the chart from its history; changing a colour and back must give
// the picture that live drawing gave, gridlines included.
TEST(PgraphReplay, ReplayOfAScrolledChartReproducesTheLivePicture) {
    Tpgraph chart;
    chart.resize(609, 345);
    chart.SetAxisCentre(false);
    chart.SetScale(1000);
    chart.SetGridSize(10);
    chart.Reset();
    for (int k = 1; k <= 190; ++k) {
        StepTwo(chart, SeriesA(k), SeriesB(k));
    }
    const QImage live = chart.Bitmap().copy();
    chart.SetAxisColor(kWhite);
    chart.SetAxisColor(kYellow);
    // Columns 1 and 2 held the end of the hidden oldest band's segment, which has no known start.
    EXPECT_TRUE(SameColumns(live, 3, chart.Bitmap(), 3, 606));
}

TEST(PgraphReplay, ReplayOfAChartNotYetFullKeepsBandsInPlace) {
    Tpgraph chart;
    chart.resize(609, 345);
    for (int k = 1; k <= 10; ++k) {
        StepTwo(chart, SeriesA(k) - 500, SeriesB(k) - 500);
    }
    const QImage live = chart.Bitmap().copy();
    chart.SetForeColor(kWhite);
    chart.SetForeColor(kGreen);
    EXPECT_EQ(chart.Bitmap(), live);

    StepTwo(chart, SeriesA(11) - 500, SeriesB(11) - 500);
    Tpgraph reference;
    reference.resize(609, 345);
    for (int k = 1; k <= 11; ++k) {
        StepTwo(reference, SeriesA(k) - 500, SeriesB(k) - 500);
    }
    EXPECT_EQ(chart.Bitmap(), reference.Bitmap());
}

// After a change of width the kept bands are drawn oldest first, the newest at the right edge,
// as a chart of that width would have drawn them live.
TEST(PgraphReplay, NarrowerChartKeepsTheNewestBandsAtTheRightEdge) {
    auto chart = PlainChart(609);
    auto reference = PlainChart(409);
    for (int k = 1; k <= 150; ++k) {
        StepTwo(*chart, SeriesA(k), SeriesB(k));
        StepTwo(*reference, SeriesA(k), SeriesB(k));
    }
    chart->resize(409, 345);
    chart->grab();
    EXPECT_EQ(chart->GetBandCount(), 81);
    EXPECT_EQ(chart->Bitmap().size(), QSize(409, 345));
    EXPECT_TRUE(SameColumns(chart->Bitmap(), 3, reference->Bitmap(), 3, 406));
    StepTwo(*chart, SeriesA(151), SeriesB(151));
    StepTwo(*reference, SeriesA(151), SeriesB(151));
    EXPECT_TRUE(SameColumns(chart->Bitmap(), 3, reference->Bitmap(), 3, 406));
}

TEST(PgraphReplay, WiderChartShowsTheKeptBandsAtTheRightEdge) {
    auto chart = PlainChart(409);
    auto reference = PlainChart(709);
    for (int k = 1; k <= 150; ++k) {
        StepTwo(*chart, SeriesA(k), SeriesB(k));
        StepTwo(*reference, SeriesA(k), SeriesB(k));
    }
    chart->resize(709, 345);
    chart->grab();
    // 81 bands were visible at 409 pixels: the right 81 bands match; the rest is empty.
    const int kept = 81 * 5;
    EXPECT_TRUE(
        SameColumns(chart->Bitmap(), 708 - kept + 1, reference->Bitmap(), 708 - kept + 1, kept));
    for (int x = 2; x < 708 - kept - 1; ++x) {
        ASSERT_TRUE(RowsOf(chart->Bitmap(), x, kRedRgb).empty()) << x;
    }
    StepTwo(*chart, SeriesA(151), SeriesB(151));
    StepTwo(*reference, SeriesA(151), SeriesB(151));
    EXPECT_TRUE(
        SameColumns(chart->Bitmap(), 708 - kept + 1, reference->Bitmap(), 708 - kept + 1, kept));
}

TEST(PgraphReplay, WidthChangeOfAChartNotYetFullKeepsItFillingFromTheLeft) {
    auto chart = PlainChart(609);
    auto reference = PlainChart(409);
    for (int k = 1; k <= 20; ++k) {
        StepTwo(*chart, SeriesA(k), SeriesB(k));
        StepTwo(*reference, SeriesA(k), SeriesB(k));
    }
    chart->resize(409, 345);
    StepTwo(*chart, SeriesA(21), SeriesB(21));
    StepTwo(*reference, SeriesA(21), SeriesB(21));
    EXPECT_FALSE(chart->Scrolling());
    EXPECT_EQ(chart->Bitmap(), reference->Bitmap());
}

TEST(PgraphReplay, StepSizeChangeRedrawsWithTheNewBandWidth) {
    auto chart = PlainChart(609);
    auto reference = PlainChart(609);
    reference->SetStepSize(3);
    reference->Reset();
    for (int k = 1; k <= 250; ++k) {
        StepTwo(*chart, SeriesA(k), SeriesB(k));
        StepTwo(*reference, SeriesA(k), SeriesB(k));
    }
    chart->SetStepSize(3);
    EXPECT_EQ(chart->GetBandCount(), 203);
    // Only 123 bands were kept, so the left part stays empty.
    const int kept = 121 * 3;
    EXPECT_TRUE(
        SameColumns(chart->Bitmap(), 608 - kept + 1, reference->Bitmap(), 608 - kept + 1, kept));
}

// ---- Painting and odd sizes ------------------------------------------------------------------

TEST(PgraphPaint, PaintShowsTheOffScreenPicture) {
    Tpgraph chart;
    chart.resize(300, 200);
    for (int k = 1; k <= 80; ++k) {
        StepTwo(chart, SeriesA(k) / 5, SeriesB(k) / 5);
    }
    const QImage shown = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, chart.Bitmap());
}

// Sizes a user can reach by shrinking the window, and settings far out of range: no hang, no
// failure, and drawing carries on once the size is sensible again.
TEST(PgraphPaint, DegenerateSizesAndSettingsNeitherHangNorFail) {
    Tpgraph chart;
    const QSize sizes[] = {{3, 345}, {609, 0}, {0, 0}, {1, 1}, {0, 200}};
    for (const QSize& size : sizes) {
        chart.resize(size);
        for (int k = 1; k <= 300; ++k) {
            StepTwo(chart, SeriesA(k), INT_MIN);
        }
        chart.grab();
        chart.Reset();
        EXPECT_EQ(chart.Bitmap().size(),
                  size.width() > 0 && size.height() > 0 ? size : QSize(0, 0));
    }
    chart.resize(609, 345);
    chart.SetGradient(0);
    chart.SetScale(1);
    StepTwo(chart, INT_MAX, INT_MIN);
    StepTwo(chart, INT_MIN, INT_MAX);
    chart.SetStepSize(INT_MAX);
    EXPECT_EQ(chart.GetBandCount(), 0);
    StepTwo(chart, 1, 2);
    chart.SetGridSize(INT_MAX);
    chart.SetPenWidth(50);
    StepTwo(chart, 1, 2);
    chart.SetPenWidth(-3);
    chart.SetGraphKind(pgBar);
    StepTwo(chart, INT_MAX, INT_MIN);
    chart.SetGridSize(10);
    chart.SetStepSize(5);
    chart.SetGraphKind(pgLine);
    chart.SetScale(1000);
    chart.SetAxisCentre(false);
    chart.SetGridlines(false);
    chart.Reset();
    Step(chart, 500);
    Step(chart, 500);
    EXPECT_EQ(chart.Bitmap().pixel(9, 172), kRedRgb);
}

// A picture for a reviewer: the connection's graph page look, scrolled.
TEST(PgraphPaint, SavesAScreenshotOfAScrolledChart) {
    Tpgraph chart;
    chart.resize(609, 345);
    chart.SetForeColor(kWhite);
    chart.SetBackColor(kButtonFace);
    chart.SetAxisColor(kBlack);
    chart.SetGridSize(10);
    chart.SetRightYAxislines(false);
    chart.SetAxisCentre(false);
    chart.SetScale(1000);
    chart.Reset();
    for (int k = 1; k <= 200; ++k) {
        StepTwo(chart, SeriesA(k), SeriesB(k) / 3 + 200);
    }
    EXPECT_TRUE(chart.Scrolling());
    EXPECT_TRUE(chart.grab().save(test::ScreenshotPath(QStringLiteral("chart_scrolled.png"))));
}

}  // namespace
}  // namespace vx
