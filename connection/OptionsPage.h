#pragma once
// The options page of a connection window: the connection's name and the output format the
// instrument is set to, taken over with "Apply".

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vx {

class OptionsPage : public QWidget {
    Q_OBJECT

public:
    explicit OptionsPage(QWidget* parent = nullptr);

    QString Name() const;
    void SetName(const QString& name);
    // Offers the formats with `position` chosen, unless the connection uses another one of
    // them (`inUse`), which is then chosen instead.
    void SetFormats(const QStringList& names, int position, const QString& inUse);
    // The position of the chosen format; -1 when none is chosen.
    int ChosenFormat() const;

signals:
    void ApplyClicked();

private:
    QLineEdit* edSetName_ = nullptr;
    QComboBox* cbSetOutputFormat_ = nullptr;
    QPushButton* buApplySettings_ = nullptr;
};

}  // namespace vx
