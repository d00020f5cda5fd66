#include "app/About.h"

#include "app/Version.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vx {
namespace {

constexpr int kWidth = 235;
constexpr int kHeight = 325;
constexpr int kButtonStripHeight = 41;

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    edContacts_ = new QPlainTextEdit(ContactText(), this);
    edContacts_->setObjectName(QStringLiteral("edContacts"));
    layout->addWidget(edContacts_, 1);

    auto* paButtons = new QWidget(this);
    paButtons->setObjectName(QStringLiteral("paButtons"));
    paButtons->setFixedHeight(kButtonStripHeight);
    auto* strip = new QHBoxLayout(paButtons);
    strip->addStretch(1);
    buOK_ = new QPushButton(QStringLiteral("OK"), paButtons);
    buOK_->setObjectName(QStringLiteral("buOK"));
    buOK_->setDefault(true);
    strip->addWidget(buOK_);
    strip->addStretch(1);
    layout->addWidget(paButtons);

    connect(buOK_, &QPushButton::clicked, this, &QDialog::accept);
}

QString TfrmAbout::ContactText() {
    return QStringLiteral(
               "Ventrix\n"
               "Version %1\n"
               "\n"
               "Watches and records ultrasonic anemometers on serial ports.\n"
               "\n"
               "Varn Instruments\n"
               "Questions and reports: your Varn Instruments supplier.\n")
        .arg(QString::fromUtf8(kVentrixVersion));
}

void TfrmAbout::showEvent(QShowEvent* event) {
    CentreOnScreen();
    QDialog::showEvent(event);
}

void TfrmAbout::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

}  // namespace vx
