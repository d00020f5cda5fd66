#include "logging/Logdlg.h"

#include "logging/LogFileName.h"
#include "logging/LogHost.h"
#include "platform/MessageBox.h"
#include "platform/NumberText.h"
#include "platform/QtText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace vx {
namespace {

constexpr int kWidth = 657;
constexpr int kHeight = 491;
constexpr int kDefaultSegmentMinutes = 10;

QString RunSaveFileDialog(QWidget* parent, const QString& startPath) {
    return QFileDialog::getSaveFileName(parent, QString(), startPath);
}

}  // namespace

TfrmLogDlg::TfrmLogDlg(const std::string& defaultLogFile, QWidget* parent)
    : QDialog(parent), chooseSaveFile_(RunSaveFileDialog) {
    setWindowTitle(QStringLiteral("Log Settings"));
    BuildControls();
    resize(kWidth, kHeight);
    Timer1.setInterval(kTickMs);
    connect(&Timer1, &QTimer::timeout, this, &TfrmLogDlg::Timer1Timer);
    // FormCreate: start from the remembered log file.
    logFileName_ = AbsoluteLogPath(defaultLogFile, HomeFolder());
    ShowPathParts(logFileName_);
}

TfrmLogDlg::~TfrmLogDlg() = default;

void TfrmLogDlg::BuildControls() {
    auto* segmented = new QGroupBox(QStringLiteral("Segmented Logging"), this);
    cbEnable = new QCheckBox(QStringLiteral("Enable"), segmented);
    cbEnable->setObjectName(QStringLiteral("cbEnable"));
    edMins = new QLineEdit(QStringLiteral("10"), segmented);
    edMins->setObjectName(QStringLiteral("edMins"));
    edMins->setMaximumWidth(60);
    auto* segmentRow = new QHBoxLayout;
    segmentRow->addWidget(new QLabel(QStringLiteral("Create new log file every "), segmented));
    segmentRow->addWidget(edMins);
    segmentRow->addWidget(new QLabel(QStringLiteral("mins."), segmented));
    segmentRow->addStretch();
    auto* segmentedLayout = new QVBoxLayout(segmented);
    segmentedLayout->addWidget(cbEnable);
    segmentedLayout->addLayout(segmentRow);

    auto* formatting = new QGroupBox(QStringLiteral("Record Formatting"), this);
    cbAppendTimeStamp = new QCheckBox(QStringLiteral("Append Time Stamp"), formatting);
    cbAppendTimeStamp->setObjectName(QStringLiteral("cbAppendTimeStamp"));
    cbAppendRecordCount = new QCheckBox(QStringLiteral("Append Record Count"), formatting);
    cbAppendRecordCount->setObjectName(QStringLiteral("cbAppendRecordCount"));
    auto* formattingLayout = new QVBoxLayout(formatting);
    formattingLayout->addWidget(cbAppendTimeStamp);
    formattingLayout->addWidget(cbAppendRecordCount);

    auto* location = new QGroupBox(QStringLiteral("Directory/Filename Prefix"), this);
    edDir = new QLineEdit(location);
    edDir->setObjectName(QStringLiteral("edDir"));
    Button2 = new QPushButton(QStringLiteral("..."), location);
    Button2->setObjectName(QStringLiteral("Button2"));
    edFileName = new QLineEdit(location);
    edFileName->setObjectName(QStringLiteral("edFileName"));
    auto* locationLayout = new QGridLayout(location);
    locationLayout->addWidget(new QLabel(QStringLiteral("Directory"), location), 0, 0);
    locationLayout->addWidget(edDir, 0, 1);
    locationLayout->addWidget(Button2, 0, 2);
    locationLayout->addWidget(new QLabel(QStringLiteral("File Name (prefix)"), location), 1, 0);
    locationLayout->addWidget(edFileName, 1, 1);

    auto* description = new QGroupBox(QStringLiteral("Log Description"), this);
    reLogDescription = new QTextEdit(description);
    reLogDescription->setObjectName(QStringLiteral("reLogDescription"));
    reLogDescription->setAcceptRichText(false);
    reLogDescription->setLineWrapMode(QTextEdit::NoWrap);
    reLogDescription->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reLogDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* descriptionLayout = new QVBoxLayout(description);
    descriptionLayout->addWidget(reLogDescription);

    Button1 = new QPushButton(QStringLiteral("Apply"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(segmented);
    topRow->addWidget(formatting);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(topRow);
    layout->addWidget(location);
    layout->addWidget(description, 1);
    layout->addLayout(buttonRow);

    connect(Button1, &QPushButton::clicked, this, &TfrmLogDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TfrmLogDlg::Button2Click);
}

void TfrmLogDlg::ShowPathParts(const std::string& path) {
    const PathParts parts = SplitLogPath(path);
    edDir->setText(ToQString(parts.folder));
    edFileName->setText(ToQString(parts.file));
}

void TfrmLogDlg::ShowLogDialog() {
    show();
    raise();
    activateWindow();
}

void TfrmLogDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CentreOnScreen();
    }
}

void TfrmLogDlg::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

int TfrmLogDlg::SegmentMinutes() const {
    int minutes = kDefaultSegmentMinutes;
    if (!ParseWholeNumber(edMins->text().toStdString(), minutes)) {
        return kDefaultSegmentMinutes;
    }
    return minutes;
}

void TfrmLogDlg::Button1Click() {
    int minutes = kDefaultSegmentMinutes;
    if (!ParseWholeNumber(edMins->text().toStdString(), minutes)) {
        edMins->setText(GeneralText(kDefaultSegmentMinutes));
    }
    // An empty folder is the home folder, never the folder the program happened to start in;
    // the dialog then shows the folder that will be used.
    logFileName_ = AbsoluteLogPath(
        JoinLogPath(edDir->text().toStdString(), edFileName->text().toStdString()), HomeFolder());
    ShowPathParts(logFileName_);
    ShowMessageBox(this, QStringLiteral("Select File->Log->Start to start logging"),
                   QStringLiteral("Note"));
    close();
}

void TfrmLogDlg::Button2Click() {
    const QString chosen = chooseSaveFile_(this, ToQString(logFileName_));
    if (chosen.isEmpty()) {
        return;
    }
    logFileName_ = AbsoluteLogPath(chosen.toStdString(), HomeFolder());
    ShowPathParts(logFileName_);
}

void TfrmLogDlg::StartLogTimer() {
    Timer1.setInterval(kTickMs);
    segmentTicks_ = 0;
    loggedMinutes_ = 0;
    Timer1.start();
}

void TfrmLogDlg::StopLogTimer() {
    Timer1.stop();
}

void TfrmLogDlg::Timer1Timer() {
    ++segmentTicks_;
    if (segmentTicks_ >= SegmentMinutes()) {
        // "Enable" is read at every tick, so switching it on during a run takes effect at the
        // next boundary.
        if (cbEnable->isChecked() && host_ != nullptr) {
            host_->RequestNewLogFiles();
        }
        segmentTicks_ = 0;
    }
    ++loggedMinutes_;
    if (host_ != nullptr) {
        host_->ShowLogMinutes(loggedMinutes_);
    }
}

std::string TfrmLogDlg::LogCaption() const {
    return "Ventrix";
}

std::vector<std::string> TfrmLogDlg::LogDescription() const {
    return SplitTextLines(reLogDescription->toPlainText().toStdString());
}

RecordOptions TfrmLogDlg::LogRecordOptions() const {
    return RecordOptions{cbAppendRecordCount->isChecked(), cbAppendTimeStamp->isChecked()};
}

void TfrmLogDlg::ReportLogError(const std::string& message) {
    // Shown from the event loop, not inside the connection's message handling that met the
    // failure; several connections failing on the same file name give one box.
    if (std::find(pendingErrors_.begin(), pendingErrors_.end(), message) != pendingErrors_.end()) {
        return;
    }
    pendingErrors_.push_back(message);
    if (pendingErrors_.size() == 1) {
        QMetaObject::invokeMethod(this, &TfrmLogDlg::ShowPendingErrors, Qt::QueuedConnection);
    }
}

void TfrmLogDlg::ShowPendingErrors() {
    while (!pendingErrors_.empty()) {
        const std::string message = pendingErrors_.front();
        ShowErrorBox(ToQString(message));
        pendingErrors_.erase(pendingErrors_.begin());
    }
}

}  // namespace vx
