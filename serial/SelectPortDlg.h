#pragma once
// The "Select Port" dialog: shown when a port that may prompt opens without a number.

#include <QDialog>

#include <vector>

class QComboBox;
class QPushButton;

namespace vx {

class TSelectPortDlg : public QDialog {
    Q_OBJECT
public:
    TSelectPortDlg(const std::vector<int>& available, QWidget* parent);

    // The number of the chosen entry, or 0 when there is none.
    int ChosenPort() const;
    QComboBox* cbPort() const { return cbPort_; }
    QPushButton* buOK() const { return buOK_; }
    QPushButton* buCancel() const { return buCancel_; }

    // Shows the dialog modally: the chosen number, or 0 for Cancel (and for OK on an empty list,
    // which has nothing to choose).
    static int Choose(const std::vector<int>& available, QWidget* parent);

private:
    QComboBox* cbPort_;
    QPushButton* buOK_;
    QPushButton* buCancel_;
};

}  // namespace vx
