// Every text of the program's dialogs fits its room at the default font: a label, check box,
// radio button, button or group title narrower than its text shows the user half a sentence.

#include "alarm/Alarm.h"
#include "app/About.h"
#include "app/Main.h"
#include "app/Newanemdlg.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "logging/Logdlg.h"
#include "serial/SelectPortDlg.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/TempConfig.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

// The widest line of a plain text.
int TextWidth(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

struct Clipped {
    std::string widget;
    std::string text;
    int needed = 0;
    int room = 0;
};

std::string Name(const QWidget* widget) {
    const QString name = widget->objectName();
    return (name.isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : name)
        .toStdString();
}

// Room for the text of one widget, and what the text needs; false for widgets without one.
bool Measure(QWidget* widget, int& needed, int& room, QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
        if (text.isEmpty() || label->wordWrap()) {
            return false;
        }
        const bool rich = label->textFormat() == Qt::RichText ||
                          (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        needed = rich ? label->minimumSizeHint().width()
                      : TextWidth(label->fontMetrics(), text) + 2 * label->margin() +
                            std::max(label->indent(), 0);
        room = rich ? label->width() : label->contentsRect().width();
        return true;
    }
    if (qobject_cast<QCheckBox*>(widget) != nullptr || qobject_cast<QRadioButton*>(widget)) {
        auto* button = static_cast<QAbstractButton*>(widget);
        text = button->text();
        needed = button->sizeHint().width();  // indicator, spacing and text
        room = button->width();
        return !text.isEmpty();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // The room the style gives a button's label: the button less its frame.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault() || button->isDefault()) {
            option.features |= QStyleOptionButton::AutoDefaultButton;
        }
        text = button->text();
        needed = TextWidth(button->fontMetrics(), text);
        room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        return !text.isEmpty();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        text = group->title();
        needed = TextWidth(group->fontMetrics(), text) + group->fontMetrics().height();
        room = group->width();
        return !text.isEmpty();
    }
    return false;
}

std::vector<Clipped> ClippedTexts(QWidget& window) {
    std::vector<Clipped> clipped;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window)) {
            continue;
        }
        int needed = 0;
        int room = 0;
        QString text;
        if (Measure(widget, needed, room, text) && needed > room) {
            clipped.push_back({Name(widget), text.toStdString(), needed, room});
        }
    }
    return clipped;
}

std::string Describe(const std::vector<Clipped>& clipped) {
    std::string out;
    for (const Clipped& c : clipped) {
        out += "\n  " + c.widget + " \"" + c.text + "\" needs " + std::to_string(c.needed) +
               " px, has " + std::to_string(c.room);
    }
    return out;
}

void ExpectNothingClipped(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Texts set as the window came up (on activation) are laid out once the requests are handled.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    const std::vector<Clipped> clipped = ClippedTexts(window);
    EXPECT_TRUE(clipped.empty()) << window.windowTitle().toStdString() << Describe(clipped);
    window.hide();
}

// The check itself: a label given less room than its text is found, one given enough is not.
TEST(DialogTexts, ALabelNarrowerThanItsTextIsFound) {
    QWidget window;
    window.resize(400, 100);
    auto* narrow = new QLabel(QStringLiteral("The user must select this option to "), &window);
    narrow->setObjectName(QStringLiteral("narrow"));
    narrow->setGeometry(10, 10, 60, 20);
    auto* wide = new QLabel(QStringLiteral("fits"), &window);
    wide->setGeometry(10, 40, 200, 20);
    window.show();
    const std::vector<Clipped> clipped = ClippedTexts(window);
    ASSERT_EQ(clipped.size(), 1u);
    EXPECT_EQ(clipped[0].widget, "narrow");
}

TEST(DialogTexts, NoDialogClipsItsTexts) {
    test::TempConfig config;
    test::MessageBoxRecorder boxes;
    const auto windows = CreateProgramWindows();
    ExpectNothingClipped(*windows->frmNewAnem);
    ExpectNothingClipped(*windows->frmAlarm);
    ExpectNothingClipped(*windows->frmLogDlg);
    ExpectNothingClipped(*windows->frmAbout);
    TSelectPortDlg select({1, 2, 12}, nullptr);
    ExpectNothingClipped(select);
}

TEST(DialogTexts, TheConnectionWindowsOptionsPageFits) {
    DefaultConnectionHost host;
    Tchild child(host);
    auto* pages = child.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    pages->setCurrentWidget(child.findChild<QWidget*>(QStringLiteral("tsSettings")));
    ExpectNothingClipped(child);
}

}  // namespace
}  // namespace vx
