#include "app/Main.h"

#include "app/Application.h"
#include "app/MdiFrame.h"
#include "app/PanelStatusBar.h"
#include "app/SettingsStore.h"
#include "network/NetworkDialogOps.h"
#include "platform/MessageBox.h"
#include "platform/QtText.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QLocale>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStringList>

#include <clocale>

namespace vx {
namespace {

constexpr int kScreenMargin = 60;
constexpr int kLinkPanel = 3;
constexpr int kLinkPanelWidth = 450;
constexpr int kUnitCount = 5;
constexpr int kFpm = 4;

// Full scales of the four speed-axis items, per display unit (m/s, knots, mph, kph, fpm).
constexpr int kYScaleTags[kUnitCount][4] = {{10, 20, 40, 80},
                                            {20, 40, 80, 160},
                                            {40, 80, 160, 320},
                                            {40, 80, 160, 320},
                                            {2000, 4000, 8000, 16000}};
const char* const kYScaleUnitTexts[kUnitCount] = {"m/s", "knots", "mph", "kph", "fpm"};

const QColor kArmedColour(0, 128, 0);
const QColor kAlarmColour(255, 0, 0);

QColor ButtonFaceColour() {
    return QApplication::palette().color(QPalette::Button);
}

// Everything up to and including the last folder separator.
std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

QString YScaleCaption(int unit, int item, int tag) {
    // The fpm items all keep the hot key "1"; only the other units number them 1 to 4.
    const int number = unit == kFpm ? 1 : item;
    return QStringLiteral("&%1 %2 %3")
        .arg(GeneralText(number), GeneralText(tag), QString::fromLatin1(kYScaleUnitTexts[unit]));
}

}  // namespace

Tparent::Tparent(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("parent"));
    setWindowTitle(QStringLiteral("Ventrix"));
    frame_ = new MdiFrame(this);
    frame_->setObjectName(QStringLiteral("ClientFrame"));
    setCentralWidget(frame_);
    BuildMenus();
    BuildStatusBar();
    FormCreate();
}

Tparent::~Tparent() = default;

void Tparent::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = AddSubmenu(bar, "File1", QStringLiteral("&File"));
    AddItem(file, "New1", QStringLiteral("&Connect..."), &Tparent::New1Click);
    AddItem(file, "Exit1", QStringLiteral("E&xit"), &Tparent::Exit1Click);

    QMenu* log = AddSubmenu(bar, "Log1", QStringLiteral("Log"));
    Log1_ = log->menuAction();
    StartStop1_ = AddItem(log, "StartStop1", QStringLiteral("Start"), &Tparent::StartStop1Click);

    QMenu* settings = AddSubmenu(bar, "Settings1", QStringLiteral("Settings"));
    Settings1_ = settings->menuAction();

    QMenu* units = AddSubmenu(settings, "Units1", QStringLiteral("Units"));
    Units1_ = units->menuAction();
    auto* unitGroup = new QActionGroup(units);
    unitItems_ = {
        AddRadioItem(units, unitGroup, "ms1", QStringLiteral("m/s"), &Tparent::ms1Click, true),
        AddRadioItem(units, unitGroup, "knots1", QStringLiteral("Knots"), &Tparent::knots1Click,
                     false),
        AddRadioItem(units, unitGroup, "mph1", QStringLiteral("mph"), &Tparent::mph1Click, false),
        AddRadioItem(units, unitGroup, "kph1", QStringLiteral("kph"), &Tparent::kph1Click, false),
        AddRadioItem(units, unitGroup, "fpm1", QStringLiteral("fpm"), &Tparent::fpm1Click, false)};

    QMenu* display = AddSubmenu(settings, "DisplayMode1", QStringLiteral("Display Mode"));
    auto* displayGroup = new QActionGroup(display);
    Polar1_ = AddRadioItem(display, displayGroup, "Polar1", QStringLiteral("Polar"),
                           &Tparent::Polar1Click, true);
    UV1_ =
        AddRadioItem(display, displayGroup, "UV1", QStringLiteral("UV"), &Tparent::UV1Click, false);

    QMenu* graph = AddSubmenu(settings, "Graph1", QStringLiteral("Graph"));
    QMenu* yAxis = AddSubmenu(graph, "GraphYAxis1", QStringLiteral("Windspeed Axis Scale"));
    auto* yGroup = new QActionGroup(yAxis);
    yScaleItems_ = {AddRadioItem(yAxis, yGroup, "Y1scale1", QStringLiteral("Y1scale"),
                                 &Tparent::Y1scale1Click, true),
                    AddRadioItem(yAxis, yGroup, "Y2scale1", QStringLiteral("Y2scale"),
                                 &Tparent::Y2scale1Click, false),
                    AddRadioItem(yAxis, yGroup, "Y3scale1", QStringLiteral("Y3scale"),
                                 &Tparent::Y3scale1Click, false),
                    AddRadioItem(yAxis, yGroup, "Y4scale1", QStringLiteral("Y4scale"),
                                 &Tparent::Y4scale1Click, false)};
    QMenu* dirAxis =
        AddSubmenu(graph, "DirectionAxisScale1", QStringLiteral("Direction Axis Scale"));
    auto* dirAxisGroup = new QActionGroup(dirAxis);
    N0359degrees1_ =
        AddRadioItem(dirAxis, dirAxisGroup, "N0359degrees1", QStringLiteral("0 - 359 degrees"),
                     &Tparent::N0359degrees1Click, true);
    AddRadioItem(dirAxis, dirAxisGroup, "N0539degrees1", QStringLiteral("0 - 539 degrees"),
                 &Tparent::N0539degrees1Click, false);

    QMenu* windsock = AddSubmenu(settings, "Windsock1", QStringLiteral("Windsock"));
    QMenu* rose = AddSubmenu(windsock, "RoseType1", QStringLiteral("Rose Type"));
    auto* roseGroup = new QActionGroup(rose);
    AddRadioItem(rose, roseGroup, "Angular1", QStringLiteral("Angular"), &Tparent::Angular1Click,
                 true);
    AddRadioItem(rose, roseGroup, "NSEW1", QStringLiteral("NSEW"), &Tparent::NSEW1Click, false);
    AddRadioItem(rose, roseGroup, "Maritime1", QStringLiteral("Marine"), &Tparent::Maritime1Click,
                 false);

    QMenu* averaging = AddSubmenu(windsock, "Averaging1", QStringLiteral("Averaging"));
    auto* averagingGroup = new QActionGroup(averaging);
    AddRadioItem(averaging, averagingGroup, "Off1", QStringLiteral("Off"), &Tparent::Off1Click,
                 true);
    AddRadioItem(averaging, averagingGroup, "N2min1", QStringLiteral("2 min"),
                 &Tparent::N2min1Click, false);
    AddRadioItem(averaging, averagingGroup, "N10min1", QStringLiteral("10 min"),
                 &Tparent::N10min1Click, false);

    // The two average types are plain checked states that connections read when they average.
    QMenu* magType = AddSubmenu(windsock, "MagAverageType1", QStringLiteral("Mag Average Type"));
    auto* magGroup = new QActionGroup(magType);
    MagVector1_ =
        AddRadioItem(magType, magGroup, "MagVector1", QStringLiteral("Vector"), nullptr, true);
    AddRadioItem(magType, magGroup, "MagScalar1", QStringLiteral("Scalar"), nullptr, false);
    QMenu* dirType = AddSubmenu(windsock, "DirAverageType1", QStringLiteral("Dir Average Type"));
    auto* dirGroup = new QActionGroup(dirType);
    DirVector2_ =
        AddRadioItem(dirType, dirGroup, "DirVector2", QStringLiteral("Vector"), nullptr, true);
    AddRadioItem(dirType, dirGroup, "DirScalar2", QStringLiteral("Scalar"), nullptr, false);

    AddItem(settings, "Alarm1", QStringLiteral("Alarm"), &Tparent::Alarm1Click);
    AddItem(settings, "Logging1", QStringLiteral("Logging"), &Tparent::Logging1Click);
    AddItem(settings, "NetworkOutput1", QStringLiteral("Network Output..."),
            &Tparent::NetworkOutput1Click);

    QMenu* window = AddSubmenu(bar, "Window1", QStringLiteral("&Window"));
    Window1_ = window->menuAction();
    AddItem(window, "Tile1", QStringLiteral("&Tile"), &Tparent::Tile1Click);
    AddItem(window, "Cascade1", QStringLiteral("&Cascade"), &Tparent::Cascade1Click);

    QMenu* help = AddSubmenu(bar, "About1", QStringLiteral("Help"));
    AddItem(help, "About2", QStringLiteral("About"), &Tparent::About2Click);

    // Until the first connection exists there is nothing to log, set or arrange.
    Log1_->setEnabled(false);
    Settings1_->setEnabled(false);
    Window1_->setEnabled(false);
}

QMenu* Tparent::AddSubmenu(QWidget* owner, const char* name, const QString& caption) {
    auto* menu = new QMenu(caption, owner);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    if (auto* bar = qobject_cast<QMenuBar*>(owner)) {
        bar->addMenu(menu);
    } else if (auto* parentMenu = qobject_cast<QMenu*>(owner)) {
        parentMenu->addMenu(menu);
    }
    return menu;
}

QAction* Tparent::AddItem(QMenu* menu, const char* name, const QString& caption, Handler handler) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    if (handler != nullptr) {
        connect(item, &QAction::triggered, this,
                [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    }
    return item;
}

QAction* Tparent::AddRadioItem(QMenu* menu, QActionGroup* group, const char* name,
                               const QString& caption, Handler handler, bool checked) {
    QAction* item = AddItem(menu, name, caption, handler);
    item->setCheckable(true);
    item->setChecked(checked);
    group->addAction(item);
    return item;
}

void Tparent::BuildStatusBar() {
    sb1_ = new PanelStatusBar({350, 350, 50, kLinkPanelWidth}, this);
    sb1_->setObjectName(QStringLiteral("sb1"));
    setStatusBar(sb1_);
    sb1_->SetPanelText(0, QStringLiteral("Select File->Connect to start"));
    connect(sb1_, &PanelStatusBar::Clicked, this, [this] { RunGuarded([this] { sb1Click(); }); });
}

void Tparent::FormCreate() {
    UseFullStopForNumbers();
    SizeToScreen();

    messageTypeIndex_ = 1;
    units_ = 0;
    displayMode_ = 1;
    yScaleIndex_ = 1;
    roseIndex_ = 0;
    averagingMinutes_ = 0;
    defaultLogFile_ = DefaultLogFilePath();

    StoredSettings stored{units_, displayMode_, messageTypeIndex_, defaultLogFile_};
    LoadSettings(SettingsFilePath(), stored);
    units_ = stored.Units;
    displayMode_ = stored.DisplayMode;
    messageTypeIndex_ = stored.MessageTypeIndex;
    defaultLogFile_ = stored.DefaultLogFile;

    // A stored unit or mode outside the menu's choices falls back to m/s and polar.
    const int unit = (units_ >= 0 && units_ < kUnitCount) ? units_ : 0;
    unitItems_[static_cast<std::size_t>(unit)]->setChecked(true);
    ChooseUnit(unit);
    if (displayMode_ == 0) {
        UV1_->setChecked(true);
        ChooseDisplayMode(0);
    } else {
        Polar1_->setChecked(true);
        ChooseDisplayMode(1);
    }
    UpdateYScale();
    directionRange_ = 360;
}

void Tparent::UseFullStopForNumbers() {
    // Anemometer messages, typed thresholds and every number shown use "." whatever the user's
    // regional settings; QApplication has already set the C library's numeric locale from the
    // environment. Dates keep the regional formats through QLocale::system().
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}

void Tparent::SizeToScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    resize(area.width() - kScreenMargin, area.height() - kScreenMargin);
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void Tparent::SetBackgroundPicture(const QImage& picture) {
    frame_->SetBackgroundPicture(picture);
}

std::vector<ConnectionOps*> Tparent::ConnectionWindows() const {
    std::vector<ConnectionOps*> connections;
    for (QMdiSubWindow* window : frame_->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* connection = dynamic_cast<ConnectionOps*>(window->widget())) {
            connections.push_back(connection);
        }
    }
    return connections;
}

bool Tparent::IsPortInUse(int comNumber) const {
    for (const ConnectionOps* connection : ConnectionWindows()) {
        if (!connection->IsClosed() && connection->ComNumber() == comNumber) {
            return true;
        }
    }
    return alarmDialog_ != nullptr && alarmDialog_->UsesPort(comNumber);
}

bool Tparent::MagAverageVector() const {
    return MagVector1_->isChecked();
}
bool Tparent::DirAverageVector() const {
    return DirVector2_->isChecked();
}
bool Tparent::DirectionAxis359() const {
    return N0359degrees1_->isChecked();
}

bool Tparent::LoggingInProgress() const {
    return StartStop1_->text().contains(QStringLiteral("Stop"));
}

// ---- Global display settings ----

void Tparent::ChooseUnit(int unit) {
    SetYScaleItemsForUnit(unit);
    UpdateYScale();
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetUnits(unit);
        connection->SetYScale(yScale_);
    }
    units_ = unit;
}

void Tparent::SetYScaleItemsForUnit(int unit) {
    for (int item = 1; item <= 4; ++item) {
        const int tag = kYScaleTags[unit][item - 1];
        QAction* action = yScaleItems_[static_cast<std::size_t>(item - 1)];
        action->setText(YScaleCaption(unit, item, tag));
        action->setData(tag);
    }
}

void Tparent::UpdateYScale() {
    const int item = (yScaleIndex_ >= 2 && yScaleIndex_ <= 4) ? yScaleIndex_ : 1;
    yScale_ = yScaleItems_[static_cast<std::size_t>(item - 1)]->data().toInt();
}

void Tparent::ChooseYScaleItem(int item) {
    const int tag = yScaleItems_[static_cast<std::size_t>(item - 1)]->data().toInt();
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetYScale(tag);
    }
    yScaleIndex_ = item;
    UpdateYScale();
}

void Tparent::ChooseDisplayMode(int mode) {
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetDisplayMode(mode);
    }
    displayMode_ = mode;
}

void Tparent::ChooseDirectionRange(int range) {
    directionRange_ = range;
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetDirectionRange(directionRange_);
    }
}

void Tparent::ChooseRoseType(int roseType) {
    roseIndex_ = roseType;
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetRoseType(roseType);
    }
}

void Tparent::ChooseAveraging(int minutes) {
    // The unit cannot change while an average is being built in it.
    Units1_->setEnabled(minutes == 0);
    averagingMinutes_ = minutes;
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetAveraging(averagingMinutes_);
    }
}

// ---- Connecting ----

void Tparent::New1Click() {
    if (alarmArmed_) {
        RefuseConnect(QStringLiteral("Please disable alarm first"));
        return;
    }
    if (averagingMinutes_ != 0) {
        RefuseConnect(QStringLiteral("Please disable averaging first"));
        return;
    }
    if (LoggingInProgress()) {
        RefuseConnect(QStringLiteral("Please stop current log first"));
        return;
    }
    if (connectDialog_ == nullptr || !connectionMaker_ || !connectDialog_->ShowConnectDialog()) {
        return;
    }
    AddConnection(connectionMaker_);
}

ConnectionOps* Tparent::AddConnection(const ConnectionMaker& maker) {
    ConnectionOps* connection = nullptr;
    try {
        connection = maker(*frame_);
    } catch (...) {
        // The window of a connection that failed stays; it must be reachable to be closed.
        KeepNewestWindowInside();
        throw;
    }
    if (connection == nullptr) {
        return nullptr;
    }
    PushSettingsTo(*connection);
    EnableConnectionMenus();
    SetConnectionWidth(*connection, kConnectionWidth);
    ShowLinkStates();
    return connection;
}

void Tparent::RefuseConnect(const QString& reason) {
    ShowMessageBox(this, reason, QStringLiteral("Unable to connect."));
}

void Tparent::PushSettingsTo(ConnectionOps& connection) {
    connection.SetUnits(units_);
    connection.SetDisplayMode(displayMode_);
    connection.SetYScale(yScale_);
    connection.SetDirectionRange(directionRange_);
    connection.SetRoseType(roseIndex_);
    connection.SetAveraging(averagingMinutes_);
    connection.SetAlarmSettings(CurrentAlarmSettings());
}

void Tparent::EnableConnectionMenus() {
    Log1_->setEnabled(true);
    Settings1_->setEnabled(true);
    Window1_->setEnabled(true);
}

void Tparent::SetConnectionWidth(const ConnectionOps& connection, int width) {
    for (QMdiSubWindow* window : frame_->subWindowList(QMdiArea::CreationOrder)) {
        if (dynamic_cast<ConnectionOps*>(window->widget()) == &connection) {
            window->resize(width, window->height());
            // A frame narrower than the width, or a window placed far right, would leave the
            // window's buttons out of reach until Tile or Cascade.
            KeepInside(*frame_, *window);
            return;
        }
    }
}

void Tparent::KeepNewestWindowInside() {
    const QList<QMdiSubWindow*> windows = frame_->subWindowList(QMdiArea::CreationOrder);
    if (!windows.isEmpty()) {
        KeepInside(*frame_, *windows.last());
    }
}

// ---- Alarms ----

AlarmSettings Tparent::CurrentAlarmSettings() const {
    return alarmDialog_ != nullptr ? alarmDialog_->CurrentAlarmSettings() : AlarmSettings{};
}

void Tparent::UpdateAlarmStatus() {
    const AlarmSettings settings = CurrentAlarmSettings();
    const bool armed = settings.SpeedAlarmOn || settings.DirectionAlarmOn || settings.NoDataAlarmOn;
    sb1_->SetPanelText(0, armed ? QStringLiteral("Alarm Status: Armed")
                                : QStringLiteral("Alarm Status: Disabled"));
    sb1_->SetColour(armed ? kArmedColour : ButtonFaceColour());
    alarmArmed_ = armed;
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->SetAlarmSettings(settings);
    }
    if (alarmDialog_ != nullptr) {
        alarmDialog_->LowerAlarmLine();
    }
}

void Tparent::ShowAlarmMessage(const std::string& text) {
    sb1_->SetPanelText(0, QString::fromStdString(text));
    sb1_->SetColour(kAlarmColour);
}

void Tparent::sb1Click() {
    UpdateAlarmStatus();
}

// ---- Lines of the connections ----

void Tparent::ShowLinkStates() {
    QStringList troubles;
    for (const ConnectionOps* connection : ConnectionWindows()) {
        if (connection->IsClosed()) {
            continue;
        }
        switch (connection->CurrentLinkState()) {
            case LinkState::PortLost:
                troubles.append(QStringLiteral("Port lost: ") + ToQString(connection->Name()));
                break;
            case LinkState::NoData:
                troubles.append(QStringLiteral("No data: ") + ToQString(connection->Name()));
                break;
            case LinkState::Online:
                break;
        }
    }
    const QString text = troubles.join(QStringLiteral("; "));
    sb1_->SetPanelText(kLinkPanel, text);
    sb1_->setToolTip(text);
}

// ---- Logging ----

std::string Tparent::LogFileName() const {
    return logDialog_ != nullptr ? logDialog_->LogFileName() : defaultLogFile_;
}

void Tparent::StartStop1Click() {
    if (ConnectionWindows().empty()) {
        Log1_->setEnabled(false);
        return;
    }
    if (StartStop1_->text().contains(QStringLiteral("Start"))) {
        StartLogging();
    } else {
        StopLogging();
    }
}

void Tparent::StartLogging() {
    const std::string file = LogFileName();
    sb1_->SetPanelText(1, QStringLiteral("Logging: ") + ToQString(FolderPart(file)));
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->StartLogging(file);
    }
    if (logDialog_ != nullptr) {
        logDialog_->StartLogTimer();
    }
    ShowLogMinutes(0);
    StartStop1_->setText(QStringLiteral("Stop"));
}

void Tparent::StartLoggingIfStopped() {
    if (!ConnectionWindows().empty() && !LoggingInProgress()) {
        StartLogging();
    }
}

void Tparent::StopLogging() {
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->StopLogging();
    }
    StartStop1_->setText(QStringLiteral("Start"));
    sb1_->SetPanelText(1, QStringLiteral("Logging stopped"));
    if (logDialog_ != nullptr) {
        logDialog_->StopLogTimer();
    }
}

void Tparent::ShowLogMinutes(int minutes) {
    sb1_->SetPanelText(2, GeneralText(minutes) + QStringLiteral(" mins"));
}

void Tparent::RequestNewLogFiles() {
    for (ConnectionOps* connection : ConnectionWindows()) {
        connection->RequestNewLogFile();
    }
}

// ---- Other windows ----

void Tparent::Alarm1Click() {
    if (alarmDialog_ != nullptr) {
        alarmDialog_->ShowAlarmDialog();
    }
}

void Tparent::Logging1Click() {
    if (logDialog_ != nullptr) {
        logDialog_->ShowLogDialog();
    }
}

void Tparent::NetworkOutput1Click() {
    if (networkDialog_ != nullptr) {
        networkDialog_->ShowNetworkDialog();
    }
}

void Tparent::Tile1Click() {
    frame_->TileSideBySide();
}

void Tparent::Cascade1Click() {
    frame_->cascadeSubWindows();
}

void Tparent::About2Click() {
    if (aboutBox_ != nullptr) {
        aboutBox_->exec();
    }
}

// ---- Closing ----

void Tparent::Exit1Click() {
    close();
}

void Tparent::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    RunGuarded([this, &canClose] { canClose = FormCloseQuery(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    event->accept();
    emit Closed();
}

bool Tparent::FormCloseQuery() {
    for (ConnectionOps* connection : ConnectionWindows()) {
        if (!connection->CloseQuery()) {
            return false;
        }
    }
    // The settings are kept even when logging then keeps the program open.
    SaveSettings();
    if (LoggingInProgress()) {
        ShowMessageBox(this, QStringLiteral("Please stop logging first."),
                       QStringLiteral("Logging in progress"));
        return false;
    }
    return true;
}

void Tparent::SaveSettings() {
    const StoredSettings settings{
        units_, displayMode_,
        connectDialog_ != nullptr ? connectDialog_->ChosenFormatPosition() : messageTypeIndex_,
        LogFileName()};
    vx::SaveSettings(SettingsFilePath(), settings);
}

}  // namespace vx
