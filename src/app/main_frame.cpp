#include "app/main_frame.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "app/kpb650_view.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "graph/event_graph_dlg.h"

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

    BuildMenu(m_menuA, 0);
    BuildMenu(m_menuB, 1);
    ShowMenu(0);

    SetAllPortNumbers(1);

    m_startupTimer.setSingleShot(true);
    m_startupTimer.setInterval(100);
    connect(&m_startupTimer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    m_startupTimer.start();
}

CMainFrame::~CMainFrame() = default;

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

    QAction* switchItem = command(nullptr, QStringLiteral("维护软件切换"), kCmdSwitchVariant,
                                  &CMainFrame::OnSwitchVariant);

    auto* ports = new QMenu(QStringLiteral("串口设置"), this);
    menu.com1 = command(ports, QStringLiteral("串口一"), kCmdSelectCom1, &CMainFrame::OnSelectCom1);
    menu.com2 = command(ports, QStringLiteral("串口二"), kCmdSelectCom2, &CMainFrame::OnSelectCom2);
    menu.com1->setCheckable(true);
    menu.com2->setCheckable(true);
    menu.com1->setChecked(true);  // as the menu is built, before the first check
    connect(ports, &QMenu::aboutToShow, this, &CMainFrame::UpdatePortChecks);

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
}

void CMainFrame::OnTimer() {
    m_startupTimer.stop();
    m_portCheckDlg.exec();
    OnSwitchVariant();
    m_startupPortOk = m_portCheckDlg.Failed() ? 0 : 1;
    m_com1Checked = m_startupPortOk;
    m_com2Checked = 0;
    UpdatePortChecks();
}

void CMainFrame::SelectPort(int port) {
    const int other = port == 1 ? 2 : 1;
    SetAllPortNumbers(port);
    m_portCheckDlg.exec();
    if (!m_portCheckDlg.Failed()) {
        m_com1Checked = port == 1 ? 1 : 0;
        m_com2Checked = port == 2 ? 1 : 0;
    } else if (m_startupPortOk == 1) {
        // The start-up port worked once; take the other one without testing it again.
        m_com1Checked = other == 1 ? 1 : 0;
        m_com2Checked = other == 2 ? 1 : 0;
        SetAllPortNumbers(other);
    }
    UpdatePortChecks();
}

void CMainFrame::OnSelectCom1() {
    SelectPort(1);
}

void CMainFrame::OnSelectCom2() {
    SelectPort(2);
}

void CMainFrame::OnSwitchVariant() {
    const QString path = SettingFilePath();
    const VariantSwitch result = DecideVariant(path, m_fileOps);
    ShowMenu(result.variant);
    g_variant = result.variant;
    if (result.variant == 0) {
        ShowMessageBox(this, app::kSwitchedToAText);
        m_fileOps.remove(path);  // a file that will not go stays; the next switch finds it again
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
