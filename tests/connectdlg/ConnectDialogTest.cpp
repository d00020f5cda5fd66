#include "tests/connectdlg/DialogFixture.h"

#include "connection/OutputFormats.h"
#include "platform/SerialDevice.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>

namespace vx::test {
namespace {

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

// ---- The window and its controls ----

TEST_F(ConnectDialogTest, TheWindowHasItsCaptionSizeAndNoTitleButtons) {
    TfrmNewAnem& dialog = Dialog();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Connect new anemometer"));
    EXPECT_EQ(dialog.size(), QSize(510, 450));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the size is fixed";
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);

    dialog.show();
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = dialog.frameGeometry().center() - desktop.center();
    EXPECT_LE(offset.manhattanLength(), 4) << "centred on the desktop";
    dialog.reject();
}

TEST_F(ConnectDialogTest, TheControlsCarryTheirTextsAndStartingChoices) {
    for (auto [name, title] : {std::pair{"gbAnemometer", "Anemometer"},
                               {"gbName", "Name"},
                               {"gbOutputFormat", "Output Format"},
                               {"gbCommPortSettings", "Comm Port Settings"},
                               {"gbPort", "Port"},
                               {"gbBaudRate", "Baud Rate"},
                               {"gbParity", "Parity"}}) {
        EXPECT_EQ(Child<QGroupBox>(name)->title(), QString::fromLatin1(title));
    }
    // 239 pixels, or wider where the default font needs it for the red lines.
    EXPECT_GE(Child<QGroupBox>("gbAnemometer")->width(), 239);
    const auto* cbBaud = Child<QComboBox>("cbBaud");
    EXPECT_EQ(Items(*cbBaud),
              QStringList({"2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(cbBaud->currentIndex(), -1);
    EXPECT_FALSE(cbBaud->isEditable());
    const auto* cbParity = Child<QComboBox>("cbParity");
    EXPECT_EQ(Items(*cbParity), QStringList({"NONE", "ODD", "EVEN"}));
    EXPECT_EQ(cbParity->currentText(), QStringLiteral("NONE"));
    EXPECT_TRUE(cbParity->isEditable());
    EXPECT_TRUE(Child<QComboBox>("cbPort")->isEditable());
    EXPECT_EQ(Child<QComboBox>("cbPort")->currentText(), QStringLiteral("COM1"));
    EXPECT_FALSE(Child<QComboBox>("cbOutputFormat")->isEditable());

    const auto* laBaud = Child<QLabel>("laBaud");
    EXPECT_EQ(laBaud->text(), QStringLiteral("seeking at 9600"));
    EXPECT_TRUE(laBaud->isHidden());
    EXPECT_EQ(Child<QPushButton>("buSync")->text(), QStringLiteral("Auto Find"));
    const auto* buAdd = Child<QPushButton>("buAdd");
    const auto* Button1 = Child<QPushButton>("Button1");
    EXPECT_EQ(buAdd->text(), QStringLiteral("Connect"));
    EXPECT_EQ(Button1->text(), QStringLiteral("Cancel"));
    EXPECT_GT(buAdd->font().pointSizeF(), Button1->font().pointSizeF());
    EXPECT_GE(buAdd->y(), 450 - 121) << "the buttons sit in the bottom strip";
    EXPECT_GE(Button1->y(), 450 - 121);

    QStringList red;
    for (const QLabel* label : Child<QGroupBox>("gbOutputFormat")->findChildren<QLabel*>()) {
        if (label->palette().color(QPalette::WindowText) == QColor(Qt::red)) {
            red << label->text();
        }
    }
    EXPECT_EQ(red, QStringList({"The user must select this option to ",
                                "match the anemometer's current", "serial output format"}));
}

TEST_F(ConnectDialogTest, TheHiddenTextHoldsTheFormatDefinitionsTheListIsBuiltFrom) {
    const auto* RichEdit1 = Child<QTextEdit>("RichEdit1");
    EXPECT_TRUE(RichEdit1->isHidden());
    const std::string definitions(OutputFormatsText());
    EXPECT_EQ(RichEdit1->toPlainText().trimmed(), QString::fromStdString(definitions).trimmed());

    OutputFormatTable table;
    const FormatList expected = table.FillFormatList();
    ASSERT_GE(expected.names.size(), 2u);
    QStringList names;
    for (const std::string& name : expected.names) {
        names << QString::fromStdString(name);
    }
    EXPECT_EQ(Items(*Child<QComboBox>("cbOutputFormat")), names);
    EXPECT_EQ(Dialog().Formats().Count(), table.Count());
}

// ---- Creation: the stored format position ----

class StoredFormatTest : public ConnectDialogTest,
                         public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(StoredFormatTest, ChoosesTheStoredPositionOnlyWhenTheListHasIt) {
    host_.storedFormat = GetParam().first;
    EXPECT_EQ(Dialog().ChosenFormatPosition(), GetParam().second);
    EXPECT_EQ(Child<QComboBox>("cbOutputFormat")->currentIndex(), GetParam().second);
}

// The shipped table has five formats.
INSTANTIATE_TEST_SUITE_P(Positions, StoredFormatTest,
                         ::testing::Values(std::pair{0, 0}, std::pair{2, 2}, std::pair{4, 4},
                                           std::pair{5, 0}, std::pair{9, 0}, std::pair{-1, 0}));

// ---- Showing ----

TEST_F(ConnectDialogTest, EachShowingProposesTheNextNameAlsoAfterCancel) {
    for (int showing = 1; showing <= 3; ++showing) {
        QString proposed;
        const bool ok = ShowModal([&] {
            proposed = Child<QLineEdit>("edName")->text();
            Child<QPushButton>("Button1")->click();
        });
        EXPECT_FALSE(ok);
        EXPECT_EQ(proposed, QStringLiteral("Anemometer ") + QString::number(showing));
    }
    EXPECT_EQ(Dialog().NameCounter(), 3);
}

TEST_F(ConnectDialogTest, RateParityAndFormatChosenLastTimeAreStillChosen) {
    EXPECT_FALSE(ShowModal([&] {
        Child<QComboBox>("cbBaud")->setCurrentIndex(2);
        Child<QComboBox>("cbParity")->setCurrentIndex(1);
        Child<QComboBox>("cbOutputFormat")->setCurrentIndex(3);
        Child<QLineEdit>("edName")->setText("Mast top");
        Child<QPushButton>("Button1")->click();
    }));
    EXPECT_TRUE(ShowModal([&] {
        EXPECT_EQ(Child<QLineEdit>("edName")->text(), QStringLiteral("Anemometer 2"));
        Child<QPushButton>("buAdd")->click();
    }));
    EXPECT_EQ(Dialog().SelectedBaud(), 9600);
    EXPECT_EQ(Dialog().SelectedParity(), 'O');
    EXPECT_EQ(Dialog().ChosenFormatPosition(), 3);
}

// The private ports folder names no device that exists.
TEST_F(ConnectDialogTest, WithNoPortAvailableTheBoxKeepsCom1AndConnectAcceptsIt) {
    const bool ok = ShowModal([&] {
        EXPECT_EQ(Child<QComboBox>("cbPort")->count(), 0);
        EXPECT_EQ(Child<QComboBox>("cbPort")->currentText(), QStringLiteral("COM1"));
        Child<QComboBox>("cbBaud")->setCurrentIndex(0);
        Child<QPushButton>("buAdd")->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(Dialog().SelectedPortNumber(), 1);
    EXPECT_EQ(Dialog().SelectedBaud(), 2400);
}

// ---- "Connect" ----

TEST_F(ConnectDialogTest, RefusalsComeInOrderAndLeaveTheDialogOpen) {
    host_.held = {12};
    std::vector<bool> openAfterRefusal;
    const bool ok = ShowModal([&] {
        auto press = [&] {
            Child<QPushButton>("buAdd")->click();
            openAfterRefusal.push_back(Dialog().isVisible());
        };
        SetPortText("Select a port");
        press();  // no rate and no port: the rate comes first
        Child<QComboBox>("cbBaud")->setCurrentIndex(5);
        press();
        SetPortText("COM12");
        press();
        host_.held.clear();  // the connection holding COM12 was closed
        Child<QPushButton>("buAdd")->click();
    });
    EXPECT_TRUE(ok);
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Please select a baud rate"));
    EXPECT_EQ(boxes_[1].text, QStringLiteral("Please select a com port"));
    EXPECT_EQ(boxes_[2].text, QStringLiteral("Com Port is already in use"));
    for (const MessageRequest& box : boxes_) {
        EXPECT_EQ(box.caption, QStringLiteral("Error"));
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_EQ(box.icon, MessageIcon::None);
    }
    EXPECT_EQ(openAfterRefusal, std::vector<bool>({true, true, true}));
    EXPECT_EQ(Dialog().SelectedPortNumber(), 12);
    EXPECT_EQ(Dialog().SelectedBaud(), 57600);
}

TEST_F(ConnectDialogTest, ThePortWordSelectAnywhereIsRefused) {
    const bool ok = ShowModal([&] {
        Child<QComboBox>("cbBaud")->setCurrentIndex(0);
        SetPortText("COM3 (Select)");
        Child<QPushButton>("buAdd")->click();
        Child<QPushButton>("Button1")->click();
    });
    EXPECT_FALSE(ok);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("Please select a com port"));
}

TEST_F(ConnectDialogTest, APortTextThatIsNoNumberGoesToTheErrorBoxAndTheDialogStaysOpen) {
    bool openAfterError = false;
    const bool ok = ShowModal([&] {
        Child<QComboBox>("cbBaud")->setCurrentIndex(1);
        SetPortText("COMab");
        Child<QPushButton>("buAdd")->click();
        openAfterError = Dialog().isVisible();
        SetPortText("COM3");
        Child<QPushButton>("buAdd")->click();
    });
    EXPECT_TRUE(openAfterError);
    EXPECT_TRUE(ok);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("'ab' is not a valid integer value."));
    EXPECT_EQ(boxes_[0].caption, QStringLiteral("ventrix"));
    EXPECT_EQ(boxes_[0].icon, MessageIcon::Error);
    EXPECT_EQ(Dialog().SelectedPortNumber(), 3);
}

// ---- Queries ----

TEST(PortNumberFromText, TakesAtMostTwoCharactersFromTheFourth) {
    EXPECT_EQ(PortNumberFromText("COM7"), 7);
    EXPECT_EQ(PortNumberFromText("COM12"), 12);
    EXPECT_EQ(PortNumberFromText("COM123"), 12);
    EXPECT_EQ(PortNumberFromText("COM 7"), 7);
    EXPECT_EQ(PortNumberFromText("XYZ05"), 5);
}

TEST(PortNumberFromText, RefusesWhatIsNotAWholeNumber) {
    for (auto [text, shown] : {std::pair{"COM", "''"},
                               {"", "''"},
                               {"COM7x", "'7x'"},
                               {"COMx7", "'x7'"},
                               {"COM1.", "'1.'"},
                               {"COM- ", "'- '"}}) {
        try {
            PortNumberFromText(QString::fromLatin1(text));
            ADD_FAILURE() << text << " was taken as a number";
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string(shown) + " is not a valid integer value");
        }
    }
}

TEST_F(ConnectDialogTest, ParityLettersFollowTheChosenEntryAndTypedTextGivesNone) {
    auto* cbParity = Child<QComboBox>("cbParity");
    const std::pair<int, char> entries[] = {{0, 'N'}, {1, 'O'}, {2, 'E'}};
    for (auto [position, letter] : entries) {
        cbParity->setCurrentIndex(position);
        EXPECT_EQ(Dialog().SelectedParity(), letter);
    }
    cbParity->setCurrentIndex(2);
    cbParity->lineEdit()->selectAll();
    QTest::keyClicks(cbParity->lineEdit(), "MARK");
    EXPECT_EQ(cbParity->currentText(), QStringLiteral("MARK"));
    EXPECT_EQ(Dialog().SelectedParity(), 'N');
    cbParity->setEditText("even");
    EXPECT_EQ(Dialog().SelectedParity(), 'N');
    cbParity->setEditText("EVEN");
    EXPECT_EQ(Dialog().SelectedParity(), 'E') << "typing an entry's exact text chooses it";
}

TEST_F(ConnectDialogTest, NameAndFormatAreReadAsChosen) {
    Child<QComboBox>("cbOutputFormat")->setCurrentIndex(3);
    Child<QLineEdit>("edName")->setText(QString::fromUtf8("Mât 2"));
    const OutputFormatTable& table = Dialog().Formats();
    EXPECT_EQ(Dialog().FormatName(), table.FormatNameAt(3));
    EXPECT_EQ(Dialog().FormatLetters(), table.FormatLettersAt(3));
    EXPECT_FALSE(Dialog().FormatLetters().empty());
    EXPECT_EQ(Dialog().AnemometerName(), "M\xC3\xA2t 2");
    Child<QLineEdit>("edName")->clear();
    EXPECT_EQ(Dialog().AnemometerName(), "");
}

TEST_F(ConnectDialogTest, TheDeviceBehindTheChosenPortIsShown) {
    auto* device = Child<QLabel>("laPortDevice");
    SetPortText("COM5");
    const QString path = QString::fromStdString(PortDeviceName(5));
    EXPECT_EQ(device->toolTip(), path);
    // A long path is shortened in the middle to the label's room: its ends stay readable.
    EXPECT_LE(device->fontMetrics().horizontalAdvance(device->text()),
              device->contentsRect().width());
    EXPECT_TRUE(device->text() == path ||
                (device->text().contains(QChar(0x2026)) && path.endsWith(device->text().right(4)) &&
                 path.startsWith(device->text().left(4))))
        << device->text().toStdString();
    EXPECT_FALSE(device->text().isEmpty());
    SetPortText("COM");
    EXPECT_TRUE(device->text().isEmpty());
}

}  // namespace
}  // namespace vx::test
