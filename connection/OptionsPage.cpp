#include "connection/OptionsPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace vx {

namespace {

constexpr int kFormatListWidth = 220;

}  // namespace

OptionsPage::OptionsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsSettings"));
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 8, 8, 8);

    auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
    settings->setObjectName(QStringLiteral("gbSettings"));
    auto* grid = new QGridLayout(settings);
    grid->setVerticalSpacing(4);

    edSetName_ = new QLineEdit(settings);
    edSetName_->setObjectName(QStringLiteral("edSetName"));
    cbSetOutputFormat_ = new QComboBox(settings);
    cbSetOutputFormat_->setObjectName(QStringLiteral("cbSetOutputFormat"));
    cbSetOutputFormat_->setMinimumWidth(kFormatListWidth);
    grid->addWidget(new QLabel(QStringLiteral("Name"), settings), 0, 0);
    grid->addWidget(edSetName_, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Anemometer Output Format"), settings), 2, 0);
    grid->addWidget(cbSetOutputFormat_, 3, 0);

    const std::array<QString, 3> warning = {QStringLiteral("The user must select this option to "),
                                            QStringLiteral("match the anemometer's current"),
                                            QStringLiteral("serial output format")};
    QPalette red = settings->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    int row = 4;
    for (const QString& line : warning) {
        auto* label = new QLabel(line, settings);
        label->setPalette(red);
        grid->addWidget(label, row++, 0);
    }

    buApplySettings_ = new QPushButton(QStringLiteral("Apply"), settings);
    buApplySettings_->setObjectName(QStringLiteral("buApplySettings"));
    grid->addWidget(buApplySettings_, row, 0, Qt::AlignRight);
    connect(buApplySettings_, &QPushButton::clicked, this, &OptionsPage::ApplyClicked);

    auto* top = new QHBoxLayout();
    top->addWidget(settings);
    top->addStretch(1);
    page->addLayout(top);
    page->addStretch(1);
}

QString OptionsPage::Name() const {
    return edSetName_->text();
}

void OptionsPage::SetName(const QString& name) {
    edSetName_->setText(name);
}

void OptionsPage::SetFormats(const QStringList& names, int position, const QString& inUse) {
    cbSetOutputFormat_->clear();
    cbSetOutputFormat_->addItems(names);
    // A connection made without the dialog (from the command line) shows its own format.
    const int inUsePosition = cbSetOutputFormat_->findText(inUse);
    if (!inUse.isEmpty() && inUsePosition >= 0 && cbSetOutputFormat_->itemText(position) != inUse) {
        position = inUsePosition;
    }
    cbSetOutputFormat_->setCurrentIndex(
        position >= 0 && position < cbSetOutputFormat_->count() ? position : -1);
}

int OptionsPage::ChosenFormat() const {
    const int position = cbSetOutputFormat_->currentIndex();
    return position >= 0 && position < cbSetOutputFormat_->count() ? position : -1;
}

}  // namespace vx
