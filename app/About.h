#pragma once
// The about box: who made the program and how to reach them. The text can be edited for the
// length of the run (a user may copy or annotate it); nothing is kept afterwards.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace vx {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    static QString ContactText();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CentreOnScreen();

    QPlainTextEdit* edContacts_ = nullptr;
    QPushButton* buOK_ = nullptr;
};

}  // namespace vx
