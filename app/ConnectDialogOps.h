#pragma once
// The connect dialog and the main window ask things of each other: the main window implements
// ConnectDialogHost, the dialog ConnectDialogOps. The main window works (the menu item doing
// nothing) before a dialog is attached.

namespace vx {

// What the dialog needs from the main window.
class ConnectDialogHost {
public:
    virtual ~ConnectDialogHost() = default;
    // The output-format position remembered from the last run.
    virtual int MessageTypeIndex() const = 0;
    // True while a connection or the alarm line holds COM<comNumber> open.
    virtual bool IsPortInUse(int comNumber) const = 0;
};

// What the main window needs from the dialog.
class ConnectDialogOps {
public:
    virtual ~ConnectDialogOps() = default;
    // Shows the dialog modally; true when it ended with OK.
    virtual bool ShowConnectDialog() = 0;
    // The chosen output-format position, remembered in the settings store.
    virtual int ChosenFormatPosition() const = 0;
};

}  // namespace vx
