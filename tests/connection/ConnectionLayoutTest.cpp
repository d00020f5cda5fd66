// The connection window's layout at the sizes it is used at: four windows tiled on a
// 1600 x 1000 screen, where the digital strip must keep every control whole and apart.

#include "connection/Anemometer.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

constexpr int kScreenWidth = 1600;
constexpr int kScreenHeight = 1000;
constexpr int kTiledWindows = 4;

class ConnectionLayout : public ::testing::Test {
protected:
    void SetUp() override {
        area_.resize(kScreenWidth, kScreenHeight);
        for (int i = 0; i < kTiledWindows; ++i) {
            auto* child = new Tchild(host_);
            area_.addSubWindow(child)->show();
            children_.push_back(child);
        }
        area_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area_));
        area_.tileSubWindows();
        QTest::qWait(50);
    }

    DefaultConnectionHost host_;
    QMdiArea area_;
    std::vector<Tchild*> children_;
};

TEST_F(ConnectionLayout, TiledWindowsKeepTheDigitalStripWholeAndApart) {
    for (Tchild* child : children_) {
        // A quarter of the screen, less the window's frame.
        ASSERT_LE(child->width(), kScreenWidth / 2);
        ASSERT_LE(child->height(), kScreenHeight / 2);
        const QWidget* strip = child->findChild<QWidget*>(QStringLiteral("paBottom"));
        ASSERT_NE(strip, nullptr);
        std::vector<const QWidget*> shown;
        for (const QWidget* control : strip->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isVisible()) {
                shown.push_back(control);
            }
        }
        ASSERT_GE(shown.size(), 4U);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_TRUE(strip->rect().contains(shown[i]->geometry()))
                << shown[i]->objectName().toStdString() << " leaves the strip";
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << shown[i]->objectName().toStdString() << " overlaps "
                    << shown[j]->objectName().toStdString();
            }
        }
        const auto* reset = strip->findChild<QPushButton*>(QStringLiteral("ResetMaxMin"));
        ASSERT_NE(reset, nullptr);
        EXPECT_GE(reset->width(), reset->sizeHint().width());
    }
}

}  // namespace
}  // namespace vx
