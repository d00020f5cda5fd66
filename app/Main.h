#pragma once
// The main window: a multiple-document frame whose document windows are the anemometer
// connections. It owns the menus, the status bar and every display setting that applies to all
// connections, and pushes each change to every connection window in the frame's order.

#include "alarm/AlarmHost.h"
#include "alarm/AlarmSettings.h"
#include "app/ConnectDialogOps.h"
#include "connection/ConnectionOps.h"
#include "logging/LogHost.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QDialog;
class QImage;
class QMdiArea;
class QMenu;

namespace vx {

class NetworkDialogOps;
class MdiFrame;
class PanelStatusBar;

// Creates a connection window in the frame and connects it with the connect dialog's choices.
// Returns the new connection, or nullptr when none was made. An error (a port that will not open)
// is thrown: the window then stays unconnected and receives no settings.
using ConnectionMaker = std::function<ConnectionOps*(QMdiArea& frame)>;

class Tparent : public QMainWindow, public AlarmHost, public LogHost, public ConnectDialogHost {
    Q_OBJECT
public:
    static constexpr int kConnectionWidth = 693;

    explicit Tparent(QWidget* parent = nullptr);
    ~Tparent() override;

    // The other windows of the program, attached once they exist.
    void SetConnectDialog(ConnectDialogOps* dialog) { connectDialog_ = dialog; }
    void SetConnectionMaker(ConnectionMaker maker) { connectionMaker_ = std::move(maker); }
    void SetAlarmDialog(AlarmDialogOps* dialog) { alarmDialog_ = dialog; }
    void SetLogDialog(LogDialogOps* dialog) { logDialog_ = dialog; }
    void SetNetworkDialog(NetworkDialogOps* dialog) { networkDialog_ = dialog; }
    void SetAboutBox(QDialog* about) { aboutBox_ = about; }
    void SetBackgroundPicture(const QImage& picture);

    // Queries of connections and dialogs.
    int CurrentUnits() const override { return units_; }
    bool IsPortInUse(int comNumber) const override;
    bool MagAverageVector() const;
    bool DirAverageVector() const;
    bool DirectionAxis359() const;
    int MessageTypeIndex() const override { return messageTypeIndex_; }
    const std::string& DefaultLogFile() const { return defaultLogFile_; }
    bool LoggingInProgress() const;

    // Operations for the alarm dialog and the log dialog.
    void UpdateAlarmStatus() override;
    void ShowAlarmMessage(const std::string& text) override;
    void ShowLogMinutes(int minutes) override;
    void RequestNewLogFiles() override;
    // Creates a connection with `maker` and gives it the current settings, as File, Connect...
    // does after its dialog; nullptr when none was made. The maker's errors are thrown.
    ConnectionOps* AddConnection(const ConnectionMaker& maker);
    // Starts logging every connection unless it runs already (the command line's --log).
    void StartLoggingIfStopped();
    // The last panel of the status bar names every open connection whose port is lost or whose
    // data has stopped; connections call it when their line changes.
    void ShowLinkStates();

    // Current global settings.
    int DisplayMode() const { return displayMode_; }
    int YScaleIndex() const { return yScaleIndex_; }
    int YScale() const { return yScale_; }
    int DirectionRange() const { return directionRange_; }
    int RoseIndex() const { return roseIndex_; }
    int AveragingMinutes() const { return averagingMinutes_; }
    bool AlarmArmed() const { return alarmArmed_; }

    // Every connection window of the frame, closed ones included, in the frame's order.
    std::vector<ConnectionOps*> ConnectionWindows() const;
    MdiFrame& Frame() const { return *frame_; }
    PanelStatusBar& StatusBar() const { return *sb1_; }

signals:
    // The close request was granted: the program ends.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = void (Tparent::*)();

    void BuildMenus();
    void BuildStatusBar();
    QMenu* AddSubmenu(QWidget* owner, const char* name, const QString& caption);
    QAction* AddItem(QMenu* menu, const char* name, const QString& caption, Handler handler);
    QAction* AddRadioItem(QMenu* menu, QActionGroup* group, const char* name,
                          const QString& caption, Handler handler, bool checked);

    void FormCreate();
    void UseFullStopForNumbers();
    void SizeToScreen();
    bool FormCloseQuery();
    void SaveSettings();

    // Menu handlers.
    void New1Click();
    void Exit1Click();
    void StartStop1Click();
    void ms1Click() { ChooseUnit(0); }
    void knots1Click() { ChooseUnit(1); }
    void mph1Click() { ChooseUnit(2); }
    void kph1Click() { ChooseUnit(3); }
    void fpm1Click() { ChooseUnit(4); }
    void Polar1Click() { ChooseDisplayMode(1); }
    void UV1Click() { ChooseDisplayMode(0); }
    void Y1scale1Click() { ChooseYScaleItem(1); }
    void Y2scale1Click() { ChooseYScaleItem(2); }
    void Y3scale1Click() { ChooseYScaleItem(3); }
    void Y4scale1Click() { ChooseYScaleItem(4); }
    void N0359degrees1Click() { ChooseDirectionRange(360); }
    void N0539degrees1Click() { ChooseDirectionRange(540); }
    void Angular1Click() { ChooseRoseType(0); }
    void NSEW1Click() { ChooseRoseType(1); }
    void Maritime1Click() { ChooseRoseType(2); }
    void Off1Click() { ChooseAveraging(0); }
    void N2min1Click() { ChooseAveraging(2); }
    void N10min1Click() { ChooseAveraging(10); }
    void Alarm1Click();
    void Logging1Click();
    void NetworkOutput1Click();
    void Tile1Click();
    void Cascade1Click();
    void About2Click();
    void sb1Click();

    void ChooseUnit(int unit);
    void ChooseDisplayMode(int mode);
    void ChooseYScaleItem(int item);
    void ChooseDirectionRange(int range);
    void ChooseRoseType(int roseType);
    void ChooseAveraging(int minutes);
    void SetYScaleItemsForUnit(int unit);
    void UpdateYScale();

    void RefuseConnect(const QString& reason);
    void PushSettingsTo(ConnectionOps& connection);
    void EnableConnectionMenus();
    void SetConnectionWidth(const ConnectionOps& connection, int width);
    void KeepNewestWindowInside();
    AlarmSettings CurrentAlarmSettings() const;
    std::string LogFileName() const;
    void StartLogging();
    void StopLogging();

    // Settings.
    int messageTypeIndex_ = 1;
    int units_ = 0;
    int displayMode_ = 1;
    int yScaleIndex_ = 1;
    int yScale_ = 10;
    int directionRange_ = 360;
    int roseIndex_ = 0;
    int averagingMinutes_ = 0;
    std::string defaultLogFile_;
    bool alarmArmed_ = false;

    // Windows attached after creation.
    ConnectDialogOps* connectDialog_ = nullptr;
    ConnectionMaker connectionMaker_;
    AlarmDialogOps* alarmDialog_ = nullptr;
    LogDialogOps* logDialog_ = nullptr;
    NetworkDialogOps* networkDialog_ = nullptr;
    QDialog* aboutBox_ = nullptr;

    MdiFrame* frame_ = nullptr;
    PanelStatusBar* sb1_ = nullptr;

    // Menu items named as the program knows them; a submenu's item is its menu action.
    QAction* Log1_ = nullptr;
    QAction* StartStop1_ = nullptr;
    QAction* Settings1_ = nullptr;
    QAction* Units1_ = nullptr;
    std::array<QAction*, 5> unitItems_{};
    QAction* Polar1_ = nullptr;
    QAction* UV1_ = nullptr;
    std::array<QAction*, 4> yScaleItems_{};
    QAction* N0359degrees1_ = nullptr;
    QAction* MagVector1_ = nullptr;
    QAction* DirVector2_ = nullptr;
    QAction* Window1_ = nullptr;
};

}  // namespace vx
