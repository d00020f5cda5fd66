#pragma once
// The dialog that connects a new anemometer: a name, an output format, a COM port, a baud rate
// and a parity. It is created once and shown modally each time, so the rate, parity and format
// chosen last time are still chosen the next time. It holds the program's one output-format
// table, and its "Auto Find" button searches for the rate at which the instrument answers.

#include "app/ConnectDialogOps.h"
#include "connection/OutputFormats.h"

#include <QDialog>

#include <memory>
#include <stdexcept>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace vx {

class TcommsForm;
class TfrmSync;

// A text that should have been a whole number; its message is the one the user sees.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TfrmNewAnem : public QDialog, public ConnectDialogOps {
    Q_OBJECT
public:
    static constexpr int kWidth = 510;
    static constexpr int kHeight = 450;
    // The baud list, by position.
    static constexpr int kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

    explicit TfrmNewAnem(ConnectDialogHost& host, QWidget* parent = nullptr);
    ~TfrmNewAnem() override;

    // The search uses these; without them the dialog makes its own on the first search.
    void SetSynchroniser(TfrmSync* sync) { sync_ = sync; }

    // Shows the dialog modally; true when it ended with "Connect".
    bool ShowConnectDialog() override;

    // The choices, read by the main window after "Connect" and by the search.
    // The port box's text from its 4th character, at most 2 characters, as a whole number
    // (COM7 gives 7); throws EConvertError when those characters are not one.
    int SelectedPortNumber() const;
    int SelectedBaud() const;  // 0 when no rate is chosen
    char SelectedParity() const;
    std::string AnemometerName() const;
    std::string FormatName() const;
    std::string FormatLetters() const;
    int ChosenFormatPosition() const override;

    const OutputFormatTable& Formats() const { return formats_; }
    int NameCounter() const { return nameCounter_; }

    // The handlers of the two buttons that do more than close.
    void buAddClick();
    void buSyncClick();
    bool Searching() const { return searching_; }

    // Ending the dialog (Connect, Cancel, Escape) ends a search under way first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void CreateControls();
    void CreateAnemometerGroup();
    void CreateCommPortGroup();
    void CreateButtons();
    void FormCreate();
    void FormShow();
    void RefreshPortList();
    void ShowPortDevice();
    void CentreOnDesktop();

    void Refuse(const QString& text);
    // Whether the port box names a port the search can use; tells the user when not.
    bool CheckPortForSearch(int& portNumber);
    // Tries every candidate rate; the rate found (0 when none) and the unit's mode character.
    int SearchBaud(char& modeChar);
    void ReportSearch(int baud, char modeChar);
    void SelectBaud(int baud);
    void EndSearch();
    void StopSearch();
    TfrmSync& Synchroniser();

    ConnectDialogHost& host_;
    OutputFormatTable formats_;
    int nameCounter_ = 0;
    int anemometerWidth_ = 0;  // the left frame, wide enough for its texts

    QGroupBox* gbAnemometer_ = nullptr;
    QLineEdit* edName_ = nullptr;
    QComboBox* cbOutputFormat_ = nullptr;
    QTextEdit* RichEdit1_ = nullptr;
    QGroupBox* gbCommPortSettings_ = nullptr;
    QComboBox* cbPort_ = nullptr;
    QLabel* laPortDevice_ = nullptr;
    QComboBox* cbBaud_ = nullptr;
    QPushButton* buSync_ = nullptr;
    QLabel* laBaud_ = nullptr;
    QComboBox* cbParity_ = nullptr;
    QPushButton* buAdd_ = nullptr;
    QPushButton* Button1_ = nullptr;

    TfrmSync* sync_ = nullptr;
    bool searching_ = false;
    std::unique_ptr<TcommsForm> ownComms_;
    TfrmSync* ownSync_ = nullptr;
};

// The number in a port text such as "COM12": its 4th and 5th characters as a whole number.
// Throws EConvertError ("'x' is not a valid integer value") when they are not one.
int PortNumberFromText(const QString& portText);

}  // namespace vx
