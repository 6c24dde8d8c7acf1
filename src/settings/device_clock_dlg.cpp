#include "settings/device_clock_dlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "link/hex_text.h"
#include "link/open_port.h"
#include "settings/time_frame.h"

namespace {

const QString& kWriteCommand = settings::kClockWriteCommand;
const QString& kReadCommand = settings::kClockReadCommand;
const QString kDefaultDeviceDate = QStringLiteral("2000-1-1");
const QString kDefaultDeviceTime = QStringLiteral("08:00:00");

}  // namespace

CDeviceClockDlg::CDeviceClockDlg(QWidget* parent, DeviceLink* link)
    : CDialogBase(parent), m_device(link ? *link : *new DeviceLink(this)), m_refreshTimer(this) {
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
    m_writeButton = button(QStringLiteral("写入"), 14, QStringLiteral("id1011"));
    connect(m_writeButton, &QPushButton::clicked, this, &CDeviceClockDlg::OnWrite);
    m_readButton = button(QStringLiteral("读出"), 34, QStringLiteral("id1017"));
    connect(m_readButton, &QPushButton::clicked, this, &CDeviceClockDlg::OnRead);
    QPushButton* exit = button(QStringLiteral("退出"), 75, QStringLiteral("id1"));
    exit->setDefault(true);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    m_comm.setObjectName(QStringLiteral("id1004"));
    HoldWhileShowing(&m_comm);
    m_journal.SetFailureNotice([this](const QString& text) { ShowMessageBox(this, text); });
    connect(&m_read, &ClockRead::Finished, this, &CDeviceClockDlg::OnClockRead);
    connect(&m_set, &ClockSet::Finished, this, &CDeviceClockDlg::OnClockSet);
    connect(&m_device.Exchange(), &DeviceExchange::BusyChanged, this, [this](bool busy) {
        m_writeButton->setEnabled(!busy);
        m_readButton->setEnabled(!busy);
    });
    connect(&m_device.Exchange(), &DeviceExchange::LineLostWhileIdle, this, [this] {
        if (Showing()) {  // the link is the main window's: other dialogs use it too
            ShowMessageBox(this, comm::kConnectionFailedText);
        }
    });

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
    m_journal.NewShowing();
    m_readThisShowing.clear();
    m_device.SetPortNumber(m_portNumber);
    m_device.SetVariant(g_variant);
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) != OpenPortResult::Opened) {
        return;
    }
    m_refreshTimer.start();
    m_deviceDate->setText(kDefaultDeviceDate);
    m_deviceTime->setText(kDefaultDeviceTime);
}

void CDeviceClockDlg::OnEndDialog() {
    m_refreshTimer.stop();
    m_read.Cancel();
    m_set.Cancel();
    m_exchange.pending.clear();
    m_journal.Complete(journal::WriteOutcome::Unknown, {},
                       QStringLiteral("the dialog closed before the reply"));
    m_comm.SetPortOpen(false);
}

void CDeviceClockDlg::OnRefresh() {
    const DeviceTime now = DeviceTimeFrom(m_clock ? m_clock() : QDateTime::currentDateTime());
    m_pcDate->setText(TimeFrameDateText(now.year, now.month, now.day));
    m_pcTime->setText(TimeFrameTimeText(now.hour, now.minute, now.second));
}

void CDeviceClockDlg::OnWrite() {
    if (Busy()) {
        return;  // one request at a time
    }
    m_exchange.frame.clear();
    const DeviceTime now = DeviceTimeFrom(m_clock ? m_clock() : QDateTime::currentDateTime());
    if (!WritableYear(now.year)) {
        ShowMessageBox(this, settings::kWriteYearErrorText);
        return;
    }
    const QByteArray frame = BuildTimeFrame(now);
    m_exchange.frame = BytesToHexText(frame);
    m_exchange.pending = kWriteCommand;
    m_set.Start(now, m_readThisShowing);
}

void CDeviceClockDlg::OnRead() {
    if (Busy()) {
        return;
    }
    m_exchange.pending = kReadCommand;
    m_read.Start();
}

void CDeviceClockDlg::OnClockRead(const ClockReadResult& result) {
    m_exchange.pending.clear();
    // A read's time, and a device that keeps telling an impossible time gets that field's message.
    if (result.values) {
        ShowDeviceTime(*result.values);
    } else {
        ShowMessageBox(this, ExchangeFailureText(result.exchange));
    }
}

void CDeviceClockDlg::OnClockSet(const ClockSetResult& result) {
    m_exchange.pending.clear();
    if (result.exchange.outcome != ExchangeOutcome::Success) {
        ShowMessageBox(this, ExchangeFailureText(result.exchange));
    }  // a write's success is silent
}

void CDeviceClockDlg::ShowDeviceTime(const std::array<int, 6>& v) {
    const std::optional<TimeField> bad = FirstBadTimeField(v);
    if (!bad || *bad >= TimeField::Hour) {
        m_deviceDate->setText(TimeFrameDateText(v[0], v[1], v[2]));
    }
    if (bad) {
        ShowMessageBox(this, TimeFieldErrorText(*bad));
        return;
    }
    m_readThisShowing = journal::DeviceTimeText(v[0], v[1], v[2], v[3], v[4], v[5]);
    m_deviceTime->setText(TimeFrameTimeText(v[3], v[4], v[5]));
}
