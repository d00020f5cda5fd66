#include "serial/SelectPortDlg.h"

#include "serial/Serport.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vx {

TSelectPortDlg::TSelectPortDlg(const std::vector<int>& available, QWidget* parent)
    : QDialog(parent),
      cbPort_(new QComboBox(this)),
      buOK_(new QPushButton(QStringLiteral("OK"), this)),
      buCancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Select Port"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), this));
    layout->addWidget(new QLabel(QStringLiteral("Please choose another port."), this));
    for (int n : available) {
        cbPort_->addItem(QString::fromStdString(ComName(n)), n);
    }
    cbPort_->setCurrentIndex(available.empty() ? -1 : 0);
    layout->addWidget(cbPort_);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(buOK_);
    buttons->addWidget(buCancel_);
    layout->addLayout(buttons);
    buOK_->setDefault(true);
    connect(buOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(buCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

int TSelectPortDlg::ChosenPort() const {
    return cbPort_->currentIndex() < 0 ? 0 : cbPort_->currentData().toInt();
}

int TSelectPortDlg::Choose(const std::vector<int>& available, QWidget* parent) {
    TSelectPortDlg dialog(available, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.ChosenPort() : 0;
}

}  // namespace vx
