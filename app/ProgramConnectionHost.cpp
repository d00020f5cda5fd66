#include "app/ProgramConnectionHost.h"

#include "alarm/Alarm.h"
#include "app/Main.h"
#include "app/Newanemdlg.h"
#include "logging/Logdlg.h"

#include <QPointer>

namespace vx {

ProgramConnectionHost::ProgramConnectionHost(Tparent& parent, TfrmNewAnem& connectDialog,
                                             TfrmLogDlg& logDialog, TfrmAlarm& alarmDialog)
    : parent_(parent),
      connectDialog_(connectDialog),
      logDialog_(logDialog),
      alarmDialog_(alarmDialog) {}

bool ProgramConnectionHost::DirectionAxis359() const {
    return parent_.DirectionAxis359();
}

bool ProgramConnectionHost::MagAverageVector() const {
    return parent_.MagAverageVector();
}

bool ProgramConnectionHost::DirAverageVector() const {
    return parent_.DirAverageVector();
}

OutputFormatTable& ProgramConnectionHost::FormatTable() {
    // The program has one format table, held by the connect dialog; a connection refills its
    // own list from it, which reloads the table from the same definition text.
    return const_cast<OutputFormatTable&>(connectDialog_.Formats());
}

int ProgramConnectionHost::SelectedFormatPosition() const {
    return connectDialog_.ChosenFormatPosition();
}

LogEnvironment& ProgramConnectionHost::LogSettings() {
    return logDialog_;
}

void ProgramConnectionHost::RaiseSpeedAlarm(const std::string& connectionName) {
    alarmDialog_.RaiseSpeedAlarm(connectionName);
}

void ProgramConnectionHost::RaiseDirectionAlarm(const std::string& connectionName) {
    alarmDialog_.RaiseDirectionAlarm(connectionName);
}

void ProgramConnectionHost::LinkStateChanged(const std::string&, LinkState) {
    // A connection that is being created is not among the frame's windows yet; the main window
    // reads every connection's state afresh once this handler has returned.
    QMetaObject::invokeMethod(
        &parent_,
        [parent = QPointer<Tparent>(&parent_)] {
            if (parent) {
                parent->ShowLinkStates();
            }
        },
        Qt::QueuedConnection);
}

void ProgramConnectionHost::RaiseNoDataAlarm(const std::string& connectionName) {
    alarmDialog_.RaiseNoDataAlarm(connectionName);
}

}  // namespace vx
