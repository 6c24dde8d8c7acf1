#include "link/port_chooser_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "common/message_box.h"
#include "link/port_names.h"

namespace {
// A port plugged in shows up within this time while the dialog is open.
constexpr int kRefreshMs = 1000;
}  // namespace

CPortChooserDlg::CPortChooserDlg(SerialPortEnumerator enumerator, QWidget* parent)
    : QDialog(parent), m_enumerator(std::move(enumerator)) {
    setObjectName(QStringLiteral("dlgPortChooser"));
    setWindowTitle(QStringLiteral("选择串口"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("本机的串口（插入或拔出设备后自动刷新）:"), this));
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("portList"));
    m_view->setModel(&m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    // Columns take the width of their contents whenever ports come, go or change, the device
    // path first, so that it reads whole at any size (a stretched column would take the width
    // from it); the last column takes what is left, and a scroll bar shows what does not fit.
    // The header's own ResizeToContents mode kept the width of the header text until a relayout.
    m_view->horizontalHeader()->setStretchLastSection(true);
    const auto fit = [this] { m_view->resizeColumnsToContents(); };
    connect(&m_model, &QAbstractItemModel::rowsInserted, m_view, fit);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, m_view, fit);
    connect(&m_model, &QAbstractItemModel::modelReset, m_view, fit);
    connect(&m_model, &QAbstractItemModel::dataChanged, m_view, fit);
    m_view->setMinimumSize(560, 160);
    layout->addWidget(m_view);

    auto* nameLabel =
        new QLabel(QStringLiteral("设备名，或串口服务器的网络地址 tcp://主机:端口(&D):"), this);
    m_device = new QLineEdit(this);
    m_device->setObjectName(QStringLiteral("portDevice"));
    m_device->setPlaceholderText(QStringLiteral("/dev/ttyUSB0 或 tcp://192.168.1.200:4001"));
    nameLabel->setBuddy(m_device);
    layout->addWidget(nameLabel);
    layout->addWidget(m_device);

    auto* buttons = new QDialogButtonBox(this);
    auto* refresh = buttons->addButton(QStringLiteral("刷新(&R)"), QDialogButtonBox::ResetRole);
    refresh->setObjectName(QStringLiteral("portRefresh"));
    auto* com1 = buttons->addButton(QStringLiteral("设为串口一(&1)"), QDialogButtonBox::AcceptRole);
    com1->setObjectName(QStringLiteral("assignCom1"));
    auto* com2 = buttons->addButton(QStringLiteral("设为串口二(&2)"), QDialogButtonBox::AcceptRole);
    com2->setObjectName(QStringLiteral("assignCom2"));
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("portCancel"));
    layout->addWidget(buttons);
    com1->setDefault(true);

    // The buttons decide themselves; the box's accepted() would close before the name is checked.
    connect(com1, &QPushButton::clicked, this, [this] { Assign(1); });
    connect(com2, &QPushButton::clicked, this, [this] { Assign(2); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(refresh, &QPushButton::clicked, this, &CPortChooserDlg::Refresh);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CPortChooserDlg::RowChosen);
    connect(m_view, &QTableView::doubleClicked, this, [this] { Assign(1); });

    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &CPortChooserDlg::Refresh);
}

void CPortChooserDlg::SetCurrent(const QString& com1Device, const QString& com2Device,
                                 int portInUse) {
    m_com1Device = com1Device;
    m_com2Device = com2Device;
    m_model.SetAssignments(com1Device, com2Device);
    m_device->setText(portInUse == 2 ? com2Device : com1Device);
}

void CPortChooserDlg::Refresh() {
    if (m_enumerator) {
        // A selected port pulled out moves the selection to a neighbour; that is not the
        // operator's choice, so the name field keeps what it has.
        m_refreshing = true;
        m_model.SetPorts(m_enumerator());
        m_refreshing = false;
    }
}

void CPortChooserDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_chosenPort = 0;
    m_chosenDevice.clear();
    Refresh();
    const int row = m_model.RowOf(m_device->text());
    if (row >= 0) {
        m_view->selectRow(row);
    }
    m_device->setFocus();
    m_refresh.start();
}

void CPortChooserDlg::hideEvent(QHideEvent* event) {
    m_refresh.stop();
    QDialog::hideEvent(event);
}

void CPortChooserDlg::RowChosen() {
    const QModelIndex current = m_view->selectionModel()->currentIndex();
    if (current.isValid() && !m_refreshing) {
        m_device->setText(m_model.Ports()[static_cast<size_t>(current.row())].device);
    }
}

void CPortChooserDlg::Assign(int port) {
    const QString device = m_device->text().trimmed();
    if (device.isEmpty()) {
        ShowMessageBox(this, QStringLiteral("请在列表中选择串口，或输入设备名。"));
        return;
    }
    if (IsTcpDeviceName(device) && !ParseTcpDeviceName(device, nullptr)) {
        ShowMessageBox(this,
                       QStringLiteral("网络地址应写作 tcp://主机:端口（端口为 1 至 65535）。"));
        return;
    }
    m_chosenPort = port;
    m_chosenDevice = device;
    accept();
}
