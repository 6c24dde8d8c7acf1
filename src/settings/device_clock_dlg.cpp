#include "settings/device_clock_dlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "common/dialog_units.h"
#include "common/message_box.h"
#include "link/open_port.h"
#include "settings/time_frame.h"

namespace {

const QString kWriteCommand = QStringLiteral("43");
const QString kReadCommand = QStringLiteral("42");
const QString kDefaultDeviceDate = QStringLiteral("2000-1-1");
const QString kDefaultDeviceTime = QStringLiteral("08:00:00");

GatherRules ClockRules() {
    GatherRules rules;
    rules.leadingByte = true;
    rules.splitReplies = true;
    // Both replies carry six data bytes; bytes that come while idle are gathered the same way.
    rules.dataLength = [](const QString&) { return 6; };
    return rules;
}

}  // namespace

CDeviceClockDlg::CDeviceClockDlg(QWidget* parent)
    : CDialogBase(parent), m_comm(this), m_refreshTimer(this), m_gatherer(ClockRules()) {
    setObjectName(QStringLiteral("dlg135"));
    setWindowTitle(QStringLiteral("时间"));
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSongTi9Units;
    setFixedSize(du.size(200, 96));

    auto* group = new QGroupBox(QStringLiteral("配置日期及时间"), this);
    group->setGeometry(du.rect(7, 7, 130, 82));

    const auto row = [this, du](const QString& caption, int y, const QString& name) {
        auto* label = new QLabel(caption, this);
        label->setGeometry(du.rect(16, y, 44, 8));
        auto* value = new QLabel(this);
        value->setObjectName(name);
        value->setGeometry(du.rect(62, y, 68, 8));
        return value;
    };
    m_pcDate = row(QStringLiteral("系统日期："), 24, QStringLiteral("id1041"));
    m_pcTime = row(QStringLiteral("系统时间："), 40, QStringLiteral("id1042"));
    m_deviceDate = row(QStringLiteral("装置日期："), 56, QStringLiteral("id1018"));
    m_deviceTime = row(QStringLiteral("装置时间："), 72, QStringLiteral("id1019"));

    const auto button = [this, du](const QString& text, int y, const QString& name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(du.rect(145, y, 48, 14));
        return b;
    };
    connect(button(QStringLiteral("写入"), 14, QStringLiteral("id1011")), &QPushButton::clicked,
            this, &CDeviceClockDlg::OnWrite);
    connect(button(QStringLiteral("读出"), 34, QStringLiteral("id1017")), &QPushButton::clicked,
            this, &CDeviceClockDlg::OnRead);
    QPushButton* exit = button(QStringLiteral("退出"), 75, QStringLiteral("id1"));
    exit->setDefault(true);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    m_comm.setObjectName(QStringLiteral("id1004"));
    connect(&m_comm, &CMSComm::OnComm, this, &CDeviceClockDlg::OnComm);

    m_refreshTimer.setObjectName(QStringLiteral("refreshTimer"));
    m_refreshTimer.setInterval(1000);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CDeviceClockDlg::OnRefresh);
}

void CDeviceClockDlg::OnInitDialog() {
    // A fresh window each showing: the PC fields stay empty until the first refresh.
    m_pcDate->clear();
    m_pcTime->clear();
    m_deviceDate->clear();
    m_deviceTime->clear();
    m_exchange.Open();
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) != OpenPortResult::Opened) {
        return;
    }
    m_refreshTimer.start();
    m_deviceDate->setText(kDefaultDeviceDate);
    m_deviceTime->setText(kDefaultDeviceTime);
}

void CDeviceClockDlg::OnEndDialog() {
    m_refreshTimer.stop();
    m_comm.SetPortOpen(false);
}

void CDeviceClockDlg::OnRefresh() {
    const DeviceTime now = DeviceTimeFrom(m_clock ? m_clock() : QDateTime::currentDateTime());
    m_pcDate->setText(TimeFrameDateText(now.year, now.month, now.day));
    m_pcTime->setText(TimeFrameTimeText(now.hour, now.minute, now.second));
}

void CDeviceClockDlg::OnWrite() {
    m_exchange.pending = kWriteCommand;
    m_exchange.frame.clear();
    const DeviceTime now = DeviceTimeFrom(m_clock ? m_clock() : QDateTime::currentDateTime());
    if (!WritableYear(now.year)) {
        m_exchange.frame.clear();
        ShowMessageBox(this, settings::kWriteYearErrorText);
        return;
    }
    m_exchange.frame = BuildTimeFrame(now);
    if (m_exchange.buffer.isEmpty()) {
        m_exchange.DropReply();  // a lone byte from before is no leading byte of this reply
    }
    SendRequest(m_comm, m_exchange, kWriteCommand, m_exchange.frame);
}

void CDeviceClockDlg::OnRead() {
    if (m_exchange.buffer.isEmpty()) {
        m_exchange.DropReply();
    }
    SendRequest(m_comm, m_exchange, kReadCommand);
}

void CDeviceClockDlg::ForgetReply() {
    m_exchange.DropReply();
}

void CDeviceClockDlg::OnComm() {
    if (!m_gatherer.OnComm(m_comm, m_exchange).complete) {
        return;
    }
    if (m_exchange.pending == kWriteCommand) {
        // The echo of a write is not examined.
        m_exchange.pending.clear();
        ForgetReply();
    } else if (m_exchange.pending == kReadCommand) {
        OnReadReply();
    }
    // With no request of ours pending the gathered bytes stay where they are.
}

void CDeviceClockDlg::OnReadReply() {
    if (m_exchange.trailer != comm::kGoodTrailerText) {
        ForgetReply();
        return;
    }
    const std::array<int, 6> v = TimeFrameValues(m_exchange.buffer);
    const std::optional<TimeField> bad = FirstBadTimeField(v);
    if (!bad || *bad >= TimeField::Hour) {
        m_deviceDate->setText(TimeFrameDateText(v[0], v[1], v[2]));
    }
    if (bad) {
        // Emptied before the box: its loop may deliver further bytes.
        ForgetReply();
        ShowMessageBox(this, TimeFieldErrorText(*bad));
        return;
    }
    m_deviceTime->setText(TimeFrameTimeText(v[3], v[4], v[5]));
    m_exchange.pending.clear();
    ForgetReply();
}
