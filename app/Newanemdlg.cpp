#include "app/Newanemdlg.h"

#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/QtText.h"
#include "platform/SerialDevice.h"
#include "serial/Comms.h"
#include "serial/Serport.h"
#include "serial/Sync.h"

#include <algorithm>

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTextEdit>

namespace vx {

namespace {

const QString kErrorCaption = QStringLiteral("Error");
constexpr char kPolledMode = 'P';

// The layout: the "Anemometer" frame fills the left part, "Comm Port Settings" the rest, and a
// strip along the bottom holds the two buttons.
constexpr int kMargin = 8;
constexpr int kAnemometerWidth = 239;
constexpr int kButtonStripHeight = 121;
constexpr int kFrameHeight = TfrmNewAnem::kHeight - kButtonStripHeight - kMargin;
// A group sits 10 pixels inside its frame; the red lines sit 8 pixels inside their group.
constexpr int kGroupInset = 10;
constexpr int kHintInset = 8;
// The port frame's widest row: the baud list and "Auto Find" beside it.
constexpr int kCommPortMinWidth = 236;

const char* const kFormatHint[] = {"The user must select this option to ",
                                   "match the anemometer's current", "serial output format"};

// The left frame is as wide as the design's 239 pixels, or wider where the default font needs
// room for the red lines: cut short, they no longer tell the user what to do.
int AnemometerWidthFor(const QFontMetrics& metrics) {
    int widest = 0;
    for (const char* line : kFormatHint) {
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(line)));
    }
    return std::max(kAnemometerWidth, widest + 2 * (kGroupInset + kHintInset) + 1);
}

QLabel* RedLabel(const QString& text, QWidget* parent, int y) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(palette);
    label->setGeometry(kHintInset, y, parent->width() - 2 * kHintInset, 18);
    return label;
}

QGroupBox* Group(const QString& title, const char* name, QWidget* parent, QRect geometry) {
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

// The parity box is editable: its text counts only when it is one of the entries, so text the
// user typed over it gives no position.
int ChosenPosition(const QComboBox& box) {
    return box.findText(box.currentText());
}

}  // namespace

int PortNumberFromText(const QString& portText) {
    // "COM" is three characters; the number follows, at most two digits (COM1 .. COM50).
    const QString digits = portText.mid(3, 2);
    int number = 0;
    if (!ParseWholeNumber(digits.toStdString(), number)) {
        throw EConvertError("'" + digits.toStdString() + "' is not a valid integer value");
    }
    return number;
}

TfrmNewAnem::TfrmNewAnem(ConnectDialogHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName(QStringLiteral("frmNewAnem"));
    setWindowTitle(QStringLiteral("Connect new anemometer"));
    // A title without system menu or buttons: the dialog ends only through its own buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setModal(true);
    anemometerWidth_ = AnemometerWidthFor(fontMetrics());
    setFixedSize(std::max(kWidth, anemometerWidth_ + kCommPortMinWidth + 3 * kMargin), kHeight);
    CreateControls();
    FormCreate();
}

TfrmNewAnem::~TfrmNewAnem() = default;

void TfrmNewAnem::CreateControls() {
    CreateAnemometerGroup();
    CreateCommPortGroup();
    CreateButtons();
}

void TfrmNewAnem::CreateAnemometerGroup() {
    gbAnemometer_ = Group(QStringLiteral("Anemometer"), "gbAnemometer", this,
                          QRect(kMargin, kMargin, anemometerWidth_, kFrameHeight));

    QGroupBox* gbName = Group(QStringLiteral("Name"), "gbName", gbAnemometer_,
                              QRect(10, 22, anemometerWidth_ - 20, 60));
    edName_ = new QLineEdit(gbName);
    edName_->setObjectName(QStringLiteral("edName"));
    edName_->setGeometry(10, 24, anemometerWidth_ - 40, 24);

    QGroupBox* gbOutputFormat = Group(QStringLiteral("Output Format"), "gbOutputFormat",
                                      gbAnemometer_, QRect(10, 94, anemometerWidth_ - 20, 140));
    cbOutputFormat_ = new QComboBox(gbOutputFormat);
    cbOutputFormat_->setObjectName(QStringLiteral("cbOutputFormat"));
    cbOutputFormat_->setGeometry(10, 24, anemometerWidth_ - 40, 24);
    int y = 60;
    for (const char* line : kFormatHint) {
        RedLabel(QString::fromLatin1(line), gbOutputFormat, y);
        y += 20;
    }

    RichEdit1_ = new QTextEdit(gbAnemometer_);
    RichEdit1_->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1_->setAcceptRichText(false);
    RichEdit1_->setReadOnly(true);
    RichEdit1_->setGeometry(10, 244, anemometerWidth_ - 20, 60);
    RichEdit1_->setPlainText(QString::fromUtf8(OutputFormatsText().data(),
                                               static_cast<qsizetype>(OutputFormatsText().size())));
    RichEdit1_->hide();
}

void TfrmNewAnem::CreateCommPortGroup() {
    const int left = kMargin + anemometerWidth_ + kMargin;
    const int width = this->width() - left - kMargin;
    gbCommPortSettings_ = Group(QStringLiteral("Comm Port Settings"), "gbCommPortSettings", this,
                                QRect(left, kMargin, width, kFrameHeight));
    const int inner = width - 20;

    QGroupBox* gbPort =
        Group(QStringLiteral("Port"), "gbPort", gbCommPortSettings_, QRect(10, 22, inner, 76));
    cbPort_ = new QComboBox(gbPort);
    cbPort_->setObjectName(QStringLiteral("cbPort"));
    cbPort_->setEditable(true);
    cbPort_->setInsertPolicy(QComboBox::NoInsert);
    cbPort_->setGeometry(10, 24, 100, 24);
    cbPort_->setEditText(QStringLiteral("COM1"));
    // On Linux a COM number is only a name: show which device it stands for.
    laPortDevice_ = new QLabel(gbPort);
    laPortDevice_->setObjectName(QStringLiteral("laPortDevice"));
    laPortDevice_->setGeometry(10, 52, inner - 20, 18);
    connect(cbPort_, &QComboBox::currentTextChanged, this, &TfrmNewAnem::ShowPortDevice);
    ShowPortDevice();

    QGroupBox* gbBaudRate = Group(QStringLiteral("Baud Rate"), "gbBaudRate", gbCommPortSettings_,
                                  QRect(10, 108, inner, 88));
    cbBaud_ = new QComboBox(gbBaudRate);
    cbBaud_->setObjectName(QStringLiteral("cbBaud"));
    cbBaud_->setGeometry(10, 24, 100, 24);
    for (int baud : kBaudRates) {
        cbBaud_->addItem(GeneralText(baud));
    }
    cbBaud_->setCurrentIndex(-1);
    buSync_ = new QPushButton(QStringLiteral("Auto Find"), gbBaudRate);
    buSync_->setObjectName(QStringLiteral("buSync"));
    buSync_->setAutoDefault(false);
    buSync_->setGeometry(120, 22, 90, 28);
    connect(buSync_, &QPushButton::clicked, this, &TfrmNewAnem::buSyncClick);
    laBaud_ = new QLabel(QStringLiteral("seeking at 9600"), gbBaudRate);
    laBaud_->setObjectName(QStringLiteral("laBaud"));
    laBaud_->setGeometry(10, 58, inner - 20, 18);
    laBaud_->hide();

    QGroupBox* gbParity =
        Group(QStringLiteral("Parity"), "gbParity", gbCommPortSettings_, QRect(10, 206, inner, 60));
    cbParity_ = new QComboBox(gbParity);
    cbParity_->setObjectName(QStringLiteral("cbParity"));
    cbParity_->setEditable(true);
    cbParity_->setInsertPolicy(QComboBox::NoInsert);
    cbParity_->setGeometry(10, 24, 100, 24);
    cbParity_->addItems({QStringLiteral("NONE"), QStringLiteral("ODD"), QStringLiteral("EVEN")});
    cbParity_->setCurrentIndex(0);
}

void TfrmNewAnem::CreateButtons() {
    const int stripTop = kHeight - kButtonStripHeight;
    buAdd_ = new QPushButton(QStringLiteral("Connect"), this);
    buAdd_->setObjectName(QStringLiteral("buAdd"));
    QFont larger = buAdd_->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    buAdd_->setFont(larger);
    buAdd_->setGeometry(120, stripTop + 35, 140, 46);
    buAdd_->setDefault(true);
    connect(buAdd_, &QPushButton::clicked, this, &TfrmNewAnem::buAddClick);

    Button1_ = new QPushButton(QStringLiteral("Cancel"), this);
    Button1_->setObjectName(QStringLiteral("Button1"));
    Button1_->setAutoDefault(false);
    Button1_->setGeometry(290, stripTop + 43, 100, 30);
    connect(Button1_, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmNewAnem::FormCreate() {
    formats_.SetDefinitionLines(SplitLines(RichEdit1_->toPlainText().toStdString()));
    const FormatList list = formats_.FillFormatList();
    for (const std::string& name : list.names) {
        cbOutputFormat_->addItem(QString::fromStdString(name));
    }
    cbOutputFormat_->setCurrentIndex(list.selected);
    const int stored = host_.MessageTypeIndex();
    if (stored >= 0 && stored < cbOutputFormat_->count()) {
        cbOutputFormat_->setCurrentIndex(stored);
    }
}

bool TfrmNewAnem::ShowConnectDialog() {
    return exec() == QDialog::Accepted;
}

void TfrmNewAnem::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    CentreOnDesktop();
    FormShow();
}

void TfrmNewAnem::CentreOnDesktop() {
    const QScreen* desktop = QGuiApplication::primaryScreen();
    if (desktop == nullptr) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(desktop->availableGeometry().center());
    move(frame.topLeft());
}

void TfrmNewAnem::FormShow() {
    ++nameCounter_;
    edName_->setText(QStringLiteral("Anemometer ") + GeneralText(nameCounter_));
    RefreshPortList();
}

void TfrmNewAnem::RefreshPortList() {
    const QString kept = cbPort_->currentText();
    cbPort_->clear();
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        if (IsPortAvailable(n)) {
            cbPort_->addItem(QString::fromStdString(ComName(n)));
        }
    }
    if (cbPort_->count() == 0) {
        // Emptying the list leaves the box's text as it was.
        cbPort_->setEditText(kept);
        return;
    }
    cbPort_->setCurrentIndex(cbPort_->count() - 1);
    QCoreApplication::processEvents();
    cbPort_->setCurrentIndex(0);
    QCoreApplication::processEvents();
}

void TfrmNewAnem::ShowPortDevice() {
    QString device;
    try {
        const int n = SelectedPortNumber();
        device = QString::fromStdString(PortDeviceName(n));
    } catch (const EConvertError&) {
        // Half-typed text names no device yet.
    }
    // A device path can be long (/dev/serial/by-id/...): shortened in the middle to the room
    // the label has, whole in its tool tip.
    laPortDevice_->setText(laPortDevice_->fontMetrics().elidedText(
        device, Qt::ElideMiddle, laPortDevice_->contentsRect().width()));
    laPortDevice_->setToolTip(device);
}

int TfrmNewAnem::SelectedPortNumber() const {
    return PortNumberFromText(cbPort_->currentText());
}

int TfrmNewAnem::SelectedBaud() const {
    const int position = cbBaud_->currentIndex();
    if (position < 0 || position >= static_cast<int>(std::size(kBaudRates))) {
        return 0;
    }
    return kBaudRates[position];
}

char TfrmNewAnem::SelectedParity() const {
    switch (ChosenPosition(*cbParity_)) {
        case 1:
            return 'O';
        case 2:
            return 'E';
        default:
            return 'N';
    }
}

std::string TfrmNewAnem::AnemometerName() const {
    return edName_->text().toStdString();
}

std::string TfrmNewAnem::FormatName() const {
    return formats_.FormatNameAt(ChosenFormatPosition());
}

std::string TfrmNewAnem::FormatLetters() const {
    return formats_.FormatLettersAt(ChosenFormatPosition());
}

int TfrmNewAnem::ChosenFormatPosition() const {
    return cbOutputFormat_->currentIndex();
}

void TfrmNewAnem::Refuse(const QString& text) {
    ShowMessageBox(this, text, kErrorCaption);
}

void TfrmNewAnem::buAddClick() {
    if (cbBaud_->currentIndex() < 0) {
        Refuse(QStringLiteral("Please select a baud rate"));
        return;
    }
    if (cbPort_->currentText().contains(QStringLiteral("Select"))) {
        Refuse(QStringLiteral("Please select a com port"));
        return;
    }
    int port = 0;
    try {
        port = SelectedPortNumber();
    } catch (const EConvertError& error) {
        ShowErrorBox(QString::fromStdString(error.what()));
        return;
    }
    if (host_.IsPortInUse(port)) {
        Refuse(QStringLiteral("Com Port is already in use"));
        return;
    }
    accept();
}

// ---- "Auto Find" ----

void TfrmNewAnem::buSyncClick() {
    if (searching_) {
        return;
    }
    buSync_->setEnabled(false);
    laBaud_->setText(QString());
    laBaud_->show();
    int port = 0;
    if (!CheckPortForSearch(port)) {
        EndSearch();
        return;
    }
    char modeChar = TfrmSync::kNoModeChar;
    int baud = 0;
    searching_ = true;
    Synchroniser().BeginSearch();
    try {
        baud = SearchBaud(modeChar);
    } catch (const EConvertError& error) {
        // The user typed over the port box while the search ran.
        searching_ = false;
        EndSearch();
        ShowErrorBox(QString::fromStdString(error.what()));
        return;
    }
    searching_ = false;
    // Stopped because the dialog ended (or the program is quitting): nobody is there to read a
    // result, and a box would come up over whatever window is left.
    const bool stopped = Synchroniser().Stopping();
    laBaud_->hide();
    if (!stopped) {
        ReportSearch(baud, modeChar);
    }
    buSync_->setEnabled(true);
}

void TfrmNewAnem::StopSearch() {
    if (searching_) {
        Synchroniser().StopSearch();
    }
}

void TfrmNewAnem::done(int result) {
    StopSearch();
    QDialog::done(result);
}

void TfrmNewAnem::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        StopSearch();
    }
    QDialog::hideEvent(event);
}

bool TfrmNewAnem::CheckPortForSearch(int& portNumber) {
    if (cbPort_->currentText().contains(QStringLiteral("Select"))) {
        Refuse(QStringLiteral("Please select a com port"));
        return false;
    }
    try {
        portNumber = SelectedPortNumber();
    } catch (const EConvertError& error) {
        ShowErrorBox(QString::fromStdString(error.what()));
        return false;
    }
    if (host_.IsPortInUse(portNumber)) {
        Refuse(QStringLiteral("Com Port is already in use"));
        return false;
    }
    // A number that names no port would only let the search run its 13 s for nothing.
    if (portNumber < 1 || portNumber > kMaxPortNumber) {
        Refuse(QStringLiteral("Please select a com port"));
        return false;
    }
    return true;
}

int TfrmNewAnem::SearchBaud(char& modeChar) {
    TfrmSync& sync = Synchroniser();
    for (int baud : TfrmSync::kCandidateBauds) {
        laBaud_->setText(QStringLiteral("Trying baud: ") + GeneralText(baud));
        for (int attempt = 0; attempt < TfrmSync::kAttemptsPerBaud; ++attempt) {
            if (sync.Stopping()) {
                return 0;
            }
            if (sync.FindUnit(SelectedPortNumber(), baud, modeChar, SelectedParity())) {
                return baud;
            }
        }
    }
    return 0;
}

void TfrmNewAnem::ReportSearch(int baud, char modeChar) {
    if (baud == 0) {
        ShowMessageBox(this, QStringLiteral("Failed to find anemometer"), kErrorCaption);
    } else if (modeChar == kPolledMode) {
        ShowMessageBox(this, QStringLiteral("Unit is in POLLED mode. Please change mode"),
                       QStringLiteral("Warning"));
    } else {
        ShowMessageBox(this, QStringLiteral("Found anemometer"), QStringLiteral("Success"));
        SelectBaud(baud);
    }
}

void TfrmNewAnem::SelectBaud(int baud) {
    // 1200 is searched but not offered: the list then has no entry chosen.
    cbBaud_->setCurrentIndex(cbBaud_->findText(GeneralText(baud)));
}

void TfrmNewAnem::EndSearch() {
    laBaud_->hide();
    buSync_->setEnabled(true);
}

TfrmSync& TfrmNewAnem::Synchroniser() {
    if (sync_ != nullptr) {
        return *sync_;
    }
    if (ownSync_ == nullptr) {
        ownComms_ = std::make_unique<TcommsForm>();
        ownSync_ = new TfrmSync(*ownComms_, this);
    }
    return *ownSync_;
}

}  // namespace vx
