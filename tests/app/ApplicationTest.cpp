#include "alarm/Alarm.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/Main.h"
#include "app/MdiFrame.h"
#include "app/Newanemdlg.h"
#include "app/PanelStatusBar.h"
#include "app/Startup.h"
#include "logging/Logdlg.h"
#include "platform/MessageBox.h"
#include "platform/QtText.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/TempConfig.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <stdexcept>

namespace vx {
namespace {

using test::MessageBoxRecorder;

TEST(StandardErrorBox, AppendsAFullStopAfterLettersDigitsAndMostSigns) {
    EXPECT_EQ(ErrorBoxText("Port busy"), "Port busy.");
    EXPECT_EQ(ErrorBoxText("Error 5"), "Error 5.");
    EXPECT_EQ(ErrorBoxText("path/"), "path/.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Failed!"), "Failed!");
    EXPECT_EQ(ErrorBoxText("Failed -"), "Failed -");
    EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
    EXPECT_EQ(ErrorBoxText(""), "");
}

// An object whose event handler fails, as a faulty handler anywhere in the program might.
class FailingReceiver : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            ++handled;
            if (handled == 1) {
                throw std::runtime_error("Handler failed");
            }
            throw 42;
        }
        return QObject::event(event);
    }
    int handled = 0;
};

TEST(ApplicationErrors, ErrorEscapingAHandlerIsShownAndTheProgramCarriesOn) {
    MessageBoxRecorder boxes;
    FailingReceiver receiver;
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&receiver, QEvent::User);
    EXPECT_EQ(receiver.handled, 2);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].caption, "ventrix");
    EXPECT_EQ(boxes.boxes[0].text, "Handler failed.");
    EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(boxes.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(boxes.boxes[1].text, "Unknown error.");
}

TEST(DecimalSeparator, MainWindowMakesNumbersUseAFullStopButKeepsRegionalDates) {
    test::TempConfig config;
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    }
    char before[32];
    std::snprintf(before, sizeof before, "%.2f", 1.5);
    ASSERT_STREQ(before, "1,50");  // the trap the main window guards against

    Tparent parent;
    char after[32];
    std::snprintf(after, sizeof after, "%.2f", 1.5);
    EXPECT_STREQ(after, "1.50");
    EXPECT_EQ(QLocale().toString(1.5), "1.5");
    EXPECT_EQ(QLocale().decimalPoint(), ".");
    std::setlocale(LC_NUMERIC, "C");
}

// Texts the windows show come from std::string: a name keeps its letters and a number its full
// stop whatever the locale says.
TEST(DecimalSeparator, WindowTextsKeepTheFullStopAndTheNameAsTyped) {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
    }
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FixedText(9.7196, 2), "9.72");
    EXPECT_EQ(FixedText(-0.004, 2), "0.00");
    EXPECT_EQ(FixedText(-1.234, 2), "-1.23");
    EXPECT_EQ(GeneralText(0.25), "0.25");
    EXPECT_EQ(GeneralText(19200), "19200");
    EXPECT_EQ(ToQString("B\xc3\xb6"
                        "e Nord"),
              QString(QChar(0x42)) + QChar(0xf6) + "e Nord");
    QLocale::setDefault(previous);
    std::setlocale(LC_NUMERIC, "C");
}

// ---- About box ----

TEST(AboutBox, IsASmallStayOnTopBoxWithEditableText) {
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(235, 325));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* text = about.findChild<QPlainTextEdit*>("edContacts");
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().contains("Ventrix"));
    EXPECT_TRUE(text->toPlainText().contains(VENTRIX_TEST_VERSION));
    auto* ok = about.findChild<QPushButton*>("buOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    about.show();
    EXPECT_GT(text->geometry().height(), 200);  // the text fills the box above the button strip
    EXPECT_GT(ok->geometry().top(), 0);
    EXPECT_GE(ok->parentWidget()->geometry().top(), text->geometry().bottom());
}

// ---- Start-up ----

TEST(Startup, CreatesTheMainWindowFirstAndShowsTheAboutBoxFromItsMenu) {
    test::TempConfig config;
    config.WriteStore("\"Units\"=dword:3\n");
    const auto windows = CreateProgramWindows();
    ASSERT_NE(windows->parent, nullptr);
    ASSERT_NE(windows->frmNewAnem, nullptr);
    ASSERT_NE(windows->frmSync, nullptr);
    ASSERT_NE(windows->frmAlarm, nullptr);
    ASSERT_NE(windows->frmLogDlg, nullptr);
    ASSERT_NE(windows->frmAbout, nullptr);
    EXPECT_EQ(windows->parent->CurrentUnits(), 3);  // the store was read at creation
    // The dialogs created after the main window took what it read.
    EXPECT_EQ(windows->frmLogDlg->LogFileName(), windows->parent->DefaultLogFile());
    EXPECT_EQ(windows->frmNewAnem->ChosenFormatPosition(), 1);
    for (QWidget* window : std::initializer_list<QWidget*>{
             windows->parent.get(), windows->frmNewAnem.get(), windows->frmAlarm.get(),
             windows->frmLogDlg.get(), windows->frmAbout.get()}) {
        EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
    }
    EXPECT_FALSE(windows->parent->Frame().BackgroundPicture().isNull());

    // The about box is modal: close it with its OK button once it is up.
    bool wasShown = false;
    QTimer::singleShot(0, [&] {
        wasShown = windows->frmAbout->isVisible();
        windows->frmAbout->findChild<QPushButton*>("buOK")->click();
    });
    windows->parent->findChild<QAction*>("About2")->trigger();
    EXPECT_TRUE(wasShown);
    EXPECT_FALSE(windows->frmAbout->isVisible());
}

TEST(Startup, AlarmAndLogDialogsReachTheMainWindow) {
    test::TempConfig config;
    MessageBoxRecorder boxes;
    const auto windows = CreateProgramWindows();
    Tparent& parent = *windows->parent;
    TfrmAlarm& alarm = *windows->frmAlarm;

    alarm.cbEnableWindspeed->setChecked(true);
    alarm.edWindSpeedThreshold->setText("5");
    alarm.edDirection1->setText("0");
    alarm.edDirection2->setText("90");
    alarm.Button1Click();
    EXPECT_TRUE(parent.AlarmArmed());
    EXPECT_EQ(parent.StatusBar().PanelText(0), "Alarm Status: Armed");

    alarm.SetBeep([] {});  // no speaker here
    alarm.RaiseSpeedAlarm("Mast 2");
    EXPECT_EQ(parent.StatusBar().PanelText(0),
              "Windspeed alarm triggered by Mast 2 - click here to reset");
    EXPECT_EQ(parent.StatusBar().Colour(), QColor(255, 0, 0));

    windows->frmLogDlg->Timer1Timer();
    EXPECT_EQ(parent.StatusBar().PanelText(2), "1 mins");
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace vx
