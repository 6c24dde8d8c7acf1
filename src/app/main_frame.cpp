#include "app/main_frame.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QWindow>

#include "app/archive_records_dlg.h"
#include "app/journal_dlg.h"
#include "app/kpb650_view.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "common/user_settings.h"
#include "graph/channel_view_dlg.h"
#include "graph/event_graph_dlg.h"
#include "link/port_chooser_dlg.h"
#include "link/port_names.h"

namespace {
// The window's outer frame, decorations included, in screen coordinates.
const QRect kFrameRect(150, 100, 550, 400);
}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      m_portCheckDlg(this),
      m_transmitterParamDlg(this),
      m_receiverParamDlg(this),
      m_clockDlg(this),
      m_recordDlg(this) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(TitleText());
    setGeometry(150, 100, 550, 400);

    ConnectEventGraph(m_recordDlg);

    m_view = new CKPB650View(this);
    setCentralWidget(m_view);
    m_status = new CFrameStatus(statusBar());
    for (const DeviceLink* link : {&m_transmitterParamDlg.Link(), &m_receiverParamDlg.Link(),
                                   &m_clockDlg.Link(), &m_recordDlg.Link()}) {
        m_status->Watch(*link);
    }

    BuildMenu(m_menuA, 0);
    BuildMenu(m_menuB, 1);
    ShowMenu(0);
    AddAccessKeys();

    SetAllPortNumbers(1);
    ShowPortStatus(app::PortCheck::NotChecked);

    m_startupTimer.setSingleShot(true);
    m_startupTimer.setInterval(100);
    connect(&m_startupTimer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    m_startupTimer.start();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::WatchLink(const DeviceLink& link) {
    m_status->Watch(link);
}

QString CMainFrame::TitleText() {
    return QStringLiteral("KPA(B)-650远方跳闸信号传输装置");
}

void CMainFrame::BuildMenu(Menu& menu, int variant) {
    const bool a = variant == 0;
    auto command = [&](QMenu* popup, const QString& text, int id, auto handler) {
        QAction* action = popup ? popup->addAction(text) : new QAction(text, this);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        connect(action, &QAction::triggered, this, handler);
        menu.commands.emplace_back(id, action);
        return action;
    };

    auto* device = new QMenu(a ? QStringLiteral("KPA-650") : QStringLiteral("KPB-650"), this);
    command(device, QStringLiteral("参数设置"), kCmdParameters, &CMainFrame::OnParameters);
    command(device, QStringLiteral("记录查询"), kCmdRecordQuery, &CMainFrame::OnRecordQuery);
    command(device, QStringLiteral("时间设置"), kCmdClockSettings, &CMainFrame::OnClockSettings);
    device->addSeparator();
    command(device, a ? QStringLiteral("退    出") : QStringLiteral("退出"), kCmdExit,
            &QWidget::close);
    device->addSeparator();
    command(device, QStringLiteral("写入日志(&J)..."), kCmdJournal, &CMainFrame::OnJournal);
    // Below the device's own items: both ends of a channel, from their record files.
    device
        ->addAction(QStringLiteral("通道分析(发信端与收信端)..."), this,
                    [this] { RunChannelViewDialog(this); })
        ->setObjectName(QStringLiteral("channelView"));
    command(device, QStringLiteral("从归档库读取记录(&G)..."), kCmdArchiveRecords,
            &CMainFrame::OnArchiveRecords);

    QAction* switchItem = command(nullptr, QStringLiteral("维护软件切换"), kCmdSwitchVariant,
                                  &CMainFrame::OnSwitchVariant);

    auto* ports = new QMenu(QStringLiteral("串口设置"), this);
    menu.com1 = command(ports, QStringLiteral("串口一"), kCmdSelectCom1, &CMainFrame::OnSelectCom1);
    menu.com2 = command(ports, QStringLiteral("串口二"), kCmdSelectCom2, &CMainFrame::OnSelectCom2);
    menu.com1->setCheckable(true);
    menu.com2->setCheckable(true);
    menu.com1->setChecked(true);  // as the menu is built, before the first check
    connect(ports, &QMenu::aboutToShow, this, &CMainFrame::UpdatePortChecks);
    ports->addSeparator();
    command(ports, QStringLiteral("选择串口(&X)..."), kCmdChoosePort, &CMainFrame::OnChoosePort);

    auto* help = new QMenu(QStringLiteral("帮助(&H)"), this);
    command(help, a ? QStringLiteral("关于 KPA650(&A)...") : QStringLiteral("关于 KPB650(&A)..."),
            kCmdAppAbout, &CMainFrame::AboutRequested);

    menu.popups = {device, nullptr, ports, help};
    menu.barItems = {device->menuAction(), switchItem, ports->menuAction(), help->menuAction()};
}

void CMainFrame::ShowMenu(int variant) {
    Menu& menu = variant == 0 ? m_menuA : m_menuB;
    QMenuBar* bar = menuBar();
    // The actions belong to the frame, so clearing the bar only detaches them.
    bar->clear();
    for (QAction* item : menu.barItems) {
        bar->addAction(item);
    }
    m_shownMenu = variant;
    m_status->SetVariant(variant);
}

void CMainFrame::AddAccessKeys() {
    // The menu titles are fixed texts, which carry no "&": Alt and a letter still open them,
    // as access keys would (帮助 has its own &H). The status bar names the key while the mouse
    // rests on a title.
    const struct {
        int barItem;
        Qt::Key key;
        const char* tip;
    } keys[] = {{0, Qt::Key_K, "装置菜单 (Alt+K)"},
                {1, Qt::Key_Q, "切换维护软件界面 (Alt+Q)"},
                {2, Qt::Key_C, "串口设置 (Alt+C)"}};
    for (const auto& k : keys) {
        for (Menu* menu : {&m_menuA, &m_menuB}) {
            menu->barItems[static_cast<size_t>(k.barItem)]->setStatusTip(QString::fromUtf8(k.tip));
        }
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | k.key), this);
        shortcut->setObjectName(QStringLiteral("accessKey%1").arg(QChar(k.key)));
        connect(shortcut, &QShortcut::activated, this, [this, item = k.barItem] {
            Menu& menu = m_shownMenu == 0 ? m_menuA : m_menuB;
            QMenu* popup = menu.popups[static_cast<size_t>(item)];
            if (popup) {
                menuBar()->setActiveAction(popup->menuAction());
            } else {
                menu.barItems[static_cast<size_t>(item)]->trigger();
            }
        });
    }
}

void CMainFrame::ShowPortStatus(app::PortCheck check) {
    m_status->SetPort(g_portNumber, PortDeviceName(g_portNumber), check);
}

void CMainFrame::FitFrame() {
    // The outer frame has a fixed place and size. What the decorations take is known only once the
    // window system has framed the window (offscreen at once, under a window manager a moment after
    // mapping), so the client size follows the frame margins as they become known.
    const QWindow* window = windowHandle();
    if (!window || isMaximized() || isFullScreen()) {
        return;
    }
    const QMargins m = window->frameMargins();
    const QSize client(kFrameRect.width() - m.left() - m.right(),
                       kFrameRect.height() - m.top() - m.bottom());
    if (size() != client) {
        resize(client);
    }
    if (frameGeometry().topLeft() != kFrameRect.topLeft()) {
        move(kFrameRect.topLeft());
    }
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_fittingFrame) {
        FitFrame();
    }
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (m_fittingFrame && isVisible()) {
        FitFrame();
    }
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_fittingFrame && isVisible()) {
        FitFrame();
    }
}

QAction* CMainFrame::Action(int commandId, int menuVariant) const {
    const Menu& menu = menuVariant == 0 ? m_menuA : m_menuB;
    for (const auto& [id, action] : menu.commands) {
        if (id == commandId) {
            return action;
        }
    }
    return nullptr;
}

void CMainFrame::UpdatePortChecks() {
    for (Menu* menu : {&m_menuA, &m_menuB}) {
        menu->com1->setChecked(m_com1Checked == 1);
        menu->com2->setChecked(m_com2Checked == 1);
    }
}

std::vector<int> CMainFrame::DialogPortNumbers() const {
    return {m_portCheckDlg.PortNumber(), m_transmitterParamDlg.PortNumber(),
            m_receiverParamDlg.PortNumber(), m_clockDlg.PortNumber(), m_recordDlg.PortNumber()};
}

void CMainFrame::SetAllPortNumbers(int port) {
    m_portCheckDlg.SetPortNumber(port);
    m_transmitterParamDlg.SetPortNumber(port);
    m_receiverParamDlg.SetPortNumber(port);
    m_clockDlg.SetPortNumber(port);
    m_recordDlg.SetPortNumber(port);
    g_portNumber = port;
    if (m_status) {
        ShowPortStatus(app::PortCheck::NotChecked);
    }
}

void CMainFrame::OnTimer() {
    m_startupTimer.stop();
    if (m_fittingFrame && isVisible()) {
        FitFrame();
    }
    m_fittingFrame = false;
    m_portCheckDlg.exec();
    ShowPortStatus(m_portCheckDlg.Failed() ? app::PortCheck::Failed : app::PortCheck::Opened);
    if (m_startupVariant) {
        // Fixed for this start: the menu and the message as a switch gives them, the file as
        // it is.
        EnterVariant(*m_startupVariant == 0 ? 0 : 1, QString());
        m_variantForced = true;
    } else {
        OnSwitchVariant();
    }
    m_startupPortOk = m_portCheckDlg.Failed() ? 0 : 1;
    m_com1Checked = m_startupPortOk;
    m_com2Checked = 0;
    UpdatePortChecks();
}

bool CMainFrame::SelectPort(int port) {
    const int other = port == 1 ? 2 : 1;
    SetAllPortNumbers(port);
    m_portCheckDlg.exec();
    const bool opened = !m_portCheckDlg.Failed();
    if (opened) {
        m_com1Checked = port == 1 ? 1 : 0;
        m_com2Checked = port == 2 ? 1 : 0;
    } else if (m_startupPortOk == 1) {
        // The start-up port worked once; take the other one without testing it again.
        m_com1Checked = other == 1 ? 1 : 0;
        m_com2Checked = other == 2 ? 1 : 0;
        SetAllPortNumbers(other);
    }
    UpdatePortChecks();
    ShowPortStatus(
        opened ? app::PortCheck::Opened
               : (g_portNumber == port ? app::PortCheck::Failed : app::PortCheck::NotChecked));
    return opened;
}

void CMainFrame::OnChoosePort() {
    CPortChooserDlg dlg(m_portEnumerator, this);
    dlg.SetCurrent(PortDeviceName(1), PortDeviceName(2), g_portNumber);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    const int port = dlg.ChosenPort();
    SetPortDeviceOverride(port, dlg.ChosenDevice());
    // Then as if the port's menu item had been chosen. A device that opened is the one to
    // offer next time.
    if (SelectPort(port)) {
        common::RememberPortDevice(port, dlg.ChosenDevice());
    }
}

void CMainFrame::OnSelectCom1() {
    SelectPort(1);
}

void CMainFrame::OnSelectCom2() {
    SelectPort(2);
}

void CMainFrame::OnSwitchVariant() {
    const QString path = SettingFilePath();
    if (m_variantForced) {
        // The variant in use came from the command line, so the file may say otherwise: switch
        // to the other variant and make the file match it, as a switch by the file would.
        m_variantForced = false;
        const int variant = 1 - g_variant;
        if (variant == 1) {
            m_fileOps.create(path);
        }
        EnterVariant(variant, path);
        return;
    }
    const VariantSwitch result = DecideVariant(path, m_fileOps);
    EnterVariant(result.variant, path);
}

void CMainFrame::EnterVariant(int variant, const QString& settingFile) {
    ShowMenu(variant);
    g_variant = variant;
    if (variant == 0) {
        ShowMessageBox(this, app::kSwitchedToAText);
        // A file that will not go stays; the next switch finds it again.
        if (!settingFile.isEmpty()) {
            m_fileOps.remove(settingFile);
        }
    } else {
        ShowMessageBox(this, app::kSwitchedToBText);
    }
}

void CMainFrame::OnParameters() {
    if (g_variant == 0) {
        m_transmitterParamDlg.exec();
    } else {
        m_receiverParamDlg.exec();
    }
}

void CMainFrame::OnRecordQuery() {
    m_recordDlg.exec();
}

void CMainFrame::OnClockSettings() {
    m_clockDlg.exec();
}

void CMainFrame::OnJournal() {
    CJournalDlg dlg(journal::DefaultJournalPath(), this);
    dlg.exec();
}

void CMainFrame::OnArchiveRecords() {
    CArchiveRecordsDlg dlg(g_variant, this);
    if (dlg.exec() != QDialog::Accepted) {
        return;
    }
    m_recordDlg.SetArchiveRecords(dlg.TakeRecords());
    m_recordDlg.exec();
}
