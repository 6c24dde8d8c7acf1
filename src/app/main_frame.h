#pragma once

#include <QMainWindow>
#include <QTimer>

#include <optional>
#include <vector>

#include "app/frame_status.h"
#include "app/variant_switch.h"
#include "link/port_check_dlg.h"
#include "link/port_list_model.h"
#include "records/record_dlg.h"
#include "settings/device_clock_dlg.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"

class QAction;
class QMenu;
class CKPB650View;

// The main window: two interchangeable menus, the start-up port check and variant switch, the
// port choice, and one instance of each long-lived device dialog.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Command ids of both menus.
    enum Command {
        kCmdParameters = 32778,
        kCmdRecordQuery = 32771,
        kCmdClockSettings = 32776,
        kCmdExit = 32777,
        kCmdSelectCom1 = 32774,
        kCmdSelectCom2 = 32773,
        kCmdSwitchVariant = 32779,
        kCmdAppAbout = 57664,
        // Below the port items: choose the device behind port 1 or 2.
        kCmdChoosePort = 32790,
        // Below the device menu's items: the journal of writes.
        kCmdJournal = 32791,
        // Last in the device menu: one device's events out of the fleet archive, read-only.
        kCmdArchiveRecords = 32792,
    };

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    static QString TitleText();

    // Test seams: the settings file's operations, the start-up tick run at once, the system's
    // serial ports as the port chooser sees them.
    void SetSettingFileOps(SettingFileOps ops) { m_fileOps = std::move(ops); }
    void RunStartupTick() { OnTimer(); }
    void SetPortEnumerator(SerialPortEnumerator enumerator) {
        m_portEnumerator = std::move(enumerator);
    }

    // A variant fixed for this start: the start-up switch takes it and leaves setting.ini alone.
    void SetStartupVariant(std::optional<int> variant) { m_startupVariant = variant; }

    bool Com1Checked() const { return m_com1Checked != 0; }
    bool Com2Checked() const { return m_com2Checked != 0; }
    bool StartupPortOk() const { return m_startupPortOk != 0; }
    // Port numbers held by every dialog the frame owns, in a fixed order.
    std::vector<int> DialogPortNumbers() const;
    // The menu now in the window's menu bar: 0 = variant A's, 1 = variant B's.
    int ShownMenu() const { return m_shownMenu; }
    QAction* Action(int commandId, int menuVariant) const;
    CPortCheckDlg& PortCheckDlg() { return m_portCheckDlg; }
    CTransmitterParamDlg& TransmitterParamDlg() { return m_transmitterParamDlg; }
    CReceiverParamDlg& ReceiverParamDlg() { return m_receiverParamDlg; }
    CDeviceClockDlg& ClockDlg() { return m_clockDlg; }
    CRecordDlg& RecordDlg() { return m_recordDlg; }
    // The status bar tells what `link`'s device answered (each device dialog's link is watched).
    void WatchLink(const DeviceLink& link);

    void OnSelectCom1();
    void OnSelectCom2();
    void OnSwitchVariant();
    void OnChoosePort();
    void OnParameters();
    void OnRecordQuery();
    void OnClockSettings();
    void OnJournal();
    void OnArchiveRecords();

Q_SIGNALS:
    // Command 57664 belongs to the application object.
    void AboutRequested();

private:
    struct Menu {
        std::vector<QMenu*> popups;      // in bar order; nullptr marks the command item
        std::vector<QAction*> barItems;  // what the menu bar shows
        QAction* com1 = nullptr;
        QAction* com2 = nullptr;
        std::vector<std::pair<int, QAction*>> commands;
    };

    void BuildMenu(Menu& menu, int variant);
    void ShowMenu(int variant);
    void UpdatePortChecks();
    void SetAllPortNumbers(int port);
    // The start-up port check, with its fallback; true when the chosen port opened.
    bool SelectPort(int port);
    void OnTimer();
    // Menu, g_variant and message of the variant; for variant A the settings file is removed
    // (none given: the file is left as it is).
    void EnterVariant(int variant, const QString& settingFile);
    void AddAccessKeys();
    void ShowPortStatus(app::PortCheck check);
    void FitFrame();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_com1Checked = 0;
    int m_com2Checked = 0;
    Menu m_menuB;
    Menu m_menuA;
    CPortCheckDlg m_portCheckDlg;
    CTransmitterParamDlg m_transmitterParamDlg;
    CReceiverParamDlg m_receiverParamDlg;
    CDeviceClockDlg m_clockDlg;
    CRecordDlg m_recordDlg;
    int m_startupPortOk = 0;

    int m_shownMenu = 0;
    QTimer m_startupTimer;
    SettingFileOps m_fileOps = SettingFileOps::Real();
    CKPB650View* m_view = nullptr;

    std::optional<int> m_startupVariant;
    bool m_variantForced = false;  // the variant in use was fixed, not switched by the file
    SerialPortEnumerator m_portEnumerator = SystemSerialPorts;
    CFrameStatus* m_status = nullptr;
    // Until the start-up tick, the window's outer frame is kept at its fixed place and size as
    // the window system reports its decorations.
    bool m_fittingFrame = true;
};
