#include "alarm/Alarm.h"

#include "alarm/AlarmHost.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/QtText.h"
#include "serial/Serexcept.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <chrono>
#include <thread>

namespace vx {
namespace {

constexpr int kWidth = 462;
constexpr int kHeight = 472;

QLabel* Label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromUtf8(text), parent);
}

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

}  // namespace

TfrmAlarm::TfrmAlarm(QWidget* parent) : QDialog(parent), beep_([] { QApplication::beep(); }) {
    setWindowTitle(QStringLiteral("Alarm Configuration"));
    BuildControls();
    resize(kWidth, kHeight);
    SerDtrPort.SetDTR(false);
    SerDtrPort.SetPromptForPort(false);
    SerDtrPort.SetAutoOpen(false);
}

TfrmAlarm::~TfrmAlarm() = default;

void TfrmAlarm::BuildControls() {
    auto* speedGroup = new QGroupBox(QStringLiteral("Windspeed Alarm"), this);
    cbEnableWindspeed =
        Named(new QCheckBox(QStringLiteral("Enable"), speedGroup), "cbEnableWindspeed");
    rgWindSpeedTrigger =
        Named(new QGroupBox(QStringLiteral("Trigger Condition"), speedGroup), "rgWindSpeedTrigger");
    rbTriggerAbove = new QRadioButton(QStringLiteral("Trigger Above"), rgWindSpeedTrigger);
    rbTriggerBelow = new QRadioButton(QStringLiteral("Trigger Below"), rgWindSpeedTrigger);
    rbTriggerAbove->setChecked(true);
    auto* triggerLayout = new QVBoxLayout(rgWindSpeedTrigger);
    triggerLayout->addWidget(rbTriggerAbove);
    triggerLayout->addWidget(rbTriggerBelow);
    auto* speedThreshold = new QGroupBox(QStringLiteral("Threshold"), speedGroup);
    edWindSpeedThreshold = Named(new QLineEdit(speedThreshold), "edWindSpeedThreshold");
    laUnits = Named(new QLabel(speedThreshold), "laUnits");
    auto* speedThresholdLayout = new QHBoxLayout(speedThreshold);
    speedThresholdLayout->addWidget(edWindSpeedThreshold);
    speedThresholdLayout->addWidget(laUnits);
    auto* speedLayout = new QVBoxLayout(speedGroup);
    speedLayout->addWidget(cbEnableWindspeed);
    speedLayout->addWidget(rgWindSpeedTrigger);
    speedLayout->addWidget(speedThreshold);
    speedLayout->addStretch();

    auto* directionGroup = new QGroupBox(QStringLiteral("Direction Alarm"), this);
    cbEnableDirection =
        Named(new QCheckBox(QStringLiteral("Enable"), directionGroup), "cbEnableDirection");
    auto* directionThreshold = new QGroupBox(QStringLiteral("Threshold"), directionGroup);
    edDirection1 = Named(new QLineEdit(QStringLiteral("90"), directionThreshold), "edDirection1");
    edDirection2 = Named(new QLineEdit(QStringLiteral("180"), directionThreshold), "edDirection2");
    auto* directionThresholdLayout = new QGridLayout(directionThreshold);
    directionThresholdLayout->addWidget(Label("Trigger when direction is", directionThreshold), 0,
                                        0, 1, 3);
    directionThresholdLayout->addWidget(Label("between", directionThreshold), 1, 0);
    directionThresholdLayout->addWidget(edDirection1, 1, 1);
    directionThresholdLayout->addWidget(Label("deg", directionThreshold), 1, 2);
    directionThresholdLayout->addWidget(Label("AND", directionThreshold), 2, 0);
    directionThresholdLayout->addWidget(edDirection2, 2, 1);
    directionThresholdLayout->addWidget(Label("deg", directionThreshold), 2, 2);
    auto* directionLayout = new QVBoxLayout(directionGroup);
    directionLayout->addWidget(cbEnableDirection);
    directionLayout->addWidget(directionThreshold);
    directionLayout->addStretch();

    QWidget* noDataGroup = BuildNoDataGroup();

    auto* notification = new QGroupBox(QStringLiteral("Additional Alarm Notification"), this);
    cbSpeaker = Named(new QCheckBox(QStringLiteral("PC Speaker"), notification), "cbSpeaker");
    cbDtr = Named(new QCheckBox(QStringLiteral("External (DTR toggle) on port:"), notification),
                  "cbDtr");
    cbPort = Named(new QComboBox(notification), "cbPort");
    cbPort->setEditable(true);
    cbPort->setInsertPolicy(QComboBox::NoInsert);
    auto* notificationLayout = new QGridLayout(notification);
    notificationLayout->addWidget(cbSpeaker, 0, 0);
    notificationLayout->addWidget(cbDtr, 1, 0);
    notificationLayout->addWidget(cbPort, 1, 1);

    Button1 = Named(new QPushButton(QStringLiteral("Apply"), this), "Button1");
    connect(Button1, &QPushButton::clicked, this, &TfrmAlarm::Button1Click);

    auto* groups = new QHBoxLayout;
    groups->addWidget(speedGroup);
    groups->addWidget(directionGroup);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addWidget(noDataGroup);
    layout->addWidget(notification);
    layout->addLayout(buttonRow);
}

// An instrument that stops talking (a cut cable, lost power, a port that went away) is as much
// an alarm as a gale for an unattended station.
QWidget* TfrmAlarm::BuildNoDataGroup() {
    auto* group = new QGroupBox(QStringLiteral("No Data Alarm"), this);
    cbEnableNoData = Named(new QCheckBox(QStringLiteral("Enable"), group), "cbEnableNoData");
    edNoDataSeconds = Named(new QLineEdit(QStringLiteral("60"), group), "edNoDataSeconds");
    edNoDataSeconds->setMaximumWidth(80);
    auto* row = new QHBoxLayout(group);
    row->addWidget(cbEnableNoData);
    row->addWidget(Label("when a connection has had no valid message for", group));
    row->addWidget(edNoDataSeconds);
    row->addWidget(Label("s", group));
    row->addStretch();
    return group;
}

void TfrmAlarm::ShowAlarmDialog() {
    show();
    raise();
    activateWindow();
}

void TfrmAlarm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

bool TfrmAlarm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        FormActivate();
    }
    return QDialog::event(event);
}

void TfrmAlarm::FormShow() {
    const QString typed = cbPort->currentText();
    cbPort->clear();
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        // Ports held by connections or other programs are listed too.
        if (IsPortAvailable(n)) {
            cbPort->addItem(ToQString(ComName(n)));
        }
    }
    cbPort->setEditText(typed);
}

void TfrmAlarm::FormActivate() {
    const int units = CurrentUnits();
    laUnits->setText(ToQString(SpeedUnitLabel(units)));
    edWindSpeedThreshold->setText(
        FixedText(FromMetresPerSecond(settings_.SpeedThreshold, units), 2));
}

int TfrmAlarm::CurrentUnits() const {
    return host_ != nullptr ? host_->CurrentUnits() : 0;
}

bool TfrmAlarm::ReadNumber(QLineEdit* field, double& value) {
    const std::string text = field->text().toStdString();
    if (ParseDecimalNumber(text, value)) {
        return true;
    }
    ShowErrorBox(ToQString(NotAFloatText(text)));
    return false;
}

void TfrmAlarm::Button1Click() {
    // Everything is read before anything is kept: a refused Apply leaves the settings as they
    // were, so a later status-bar click or a new connection cannot arm half of them.
    AlarmSettings applied;
    applied.SpeedAlarmOn = cbEnableWindspeed->isChecked();
    applied.DirectionAlarmOn = cbEnableDirection->isChecked();
    applied.TriggerAbove = rbTriggerAbove->isChecked();
    double threshold = 0;
    if (!ReadNumber(edWindSpeedThreshold, threshold)) {
        return;
    }
    applied.SpeedThreshold = ToMetresPerSecond(threshold, CurrentUnits());
    if (!ReadNumber(edDirection1, applied.DirectionFrom) ||
        !ReadNumber(edDirection2, applied.DirectionTo) || !ReadNoDataSeconds(applied)) {
        return;
    }
    if (cbDtr->isChecked()) {
        if (!OpenAlarmLine()) {
            ShowMessageBox(this, QStringLiteral("Unable to open port"), QStringLiteral("Error"));
            CloseAlarmLine();
            cbDtr->setChecked(false);
            return;
        }
    } else {
        ReleaseAlarmLine();
    }
    settings_ = applied;
    if (host_ != nullptr) {
        host_->UpdateAlarmStatus();
    }
    close();
}

// An alarm line no longer wanted is let go, low: a port kept open for nothing would refuse a
// connection to it with "Com Port is already in use".
void TfrmAlarm::ReleaseAlarmLine() {
    if (!SerDtrPort.GetOpen()) {
        return;
    }
    SetAlarmLine(false);
    CloseAlarmLine();
}

bool TfrmAlarm::ReadNoDataSeconds(AlarmSettings& applied) {
    applied.NoDataAlarmOn = cbEnableNoData->isChecked();
    double seconds = 0;
    if (!ReadNumber(edNoDataSeconds, seconds)) {
        return false;
    }
    // Under a second every connection would be "quiet" between two of its messages.
    if (!(seconds >= 1)) {
        ShowMessageBox(this, QStringLiteral("The time without data must be 1 s or more"),
                       QStringLiteral("Error"));
        return false;
    }
    applied.NoDataSeconds = seconds;
    return true;
}

bool TfrmAlarm::OpenAlarmLine() {
    CloseAlarmLine();
    // Give the driver time to let go of the device before it is opened again.
    std::this_thread::sleep_for(std::chrono::milliseconds(kPortCloseWaitMs));
    const int number = PortNumberFromText(cbPort->currentText().toStdString());
    if (!IsPortAvailable(number)) {
        return false;
    }
    try {
        SerDtrPort.SetComNumber(static_cast<unsigned>(number));
        // Opened with the line low, also when an alarm raised it while the port was closed.
        SerDtrPort.SetDTR(false);
        SerDtrPort.SetOpen(true);
    } catch (const std::exception&) {
        return false;
    }
    return SerDtrPort.GetOpen();
}

void TfrmAlarm::CloseAlarmLine() {
    try {
        SerDtrPort.SetOpen(false);
    } catch (const std::exception& error) {
        ReportLaterInErrorBox(QString::fromStdString(error.what()));
    }
}

void TfrmAlarm::SignalAlarm() {
    // The boxes are read now, not at the last Apply.
    if (cbSpeaker->isChecked() && beep_) {
        beep_();
    }
    if (cbDtr->isChecked()) {
        SetAlarmLine(true);
    }
}

void TfrmAlarm::RaiseSpeedAlarm(const std::string& connectionName) {
    const std::string text =
        "Windspeed alarm triggered by " + connectionName + " - click here to reset";
    SignalAlarm();
    if (host_ != nullptr) {
        host_->ShowAlarmMessage(text);
    }
}

void TfrmAlarm::RaiseDirectionAlarm(const std::string& connectionName) {
    const std::string text =
        "Direction alarm triggered by " + connectionName + " - click here to reset";
    if (host_ != nullptr) {
        host_->ShowAlarmMessage(text);
    }
}

void TfrmAlarm::RaiseNoDataAlarm(const std::string& connectionName) {
    const std::string text =
        "No data alarm triggered by " + connectionName + " - click here to reset";
    SignalAlarm();
    if (host_ != nullptr) {
        host_->ShowAlarmMessage(text);
    }
}

void TfrmAlarm::LowerAlarmLine() {
    SetAlarmLine(false);
}

bool TfrmAlarm::UsesPort(int comNumber) const {
    return SerDtrPort.GetOpen() && static_cast<int>(SerDtrPort.GetComNumber()) == comNumber;
}

void TfrmAlarm::SetAlarmLine(bool raised) {
    // A failing line must not keep the alarm off the status bar: the error is shown afterwards.
    try {
        SerDtrPort.SetDTR(raised);
    } catch (const std::exception& error) {
        ReportLaterInErrorBox(QString::fromStdString(error.what()));
    }
}

void TfrmAlarm::ReportLaterInErrorBox(const QString& message) {
    QMetaObject::invokeMethod(
        this, [message] { ShowErrorBox(message); }, Qt::QueuedConnection);
}

}  // namespace vx
