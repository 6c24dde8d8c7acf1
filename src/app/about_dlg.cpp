#include "app/about_dlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "link/exchange.h"
#include "link/open_port.h"

namespace {

const QString kInitialModelText = QStringLiteral("KPA(B)-650/R");

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent, DeviceLink* link)
    : CDialogBase(parent), m_device(link ? *link : *new DeviceLink(this)) {
    setObjectName(QStringLiteral("dlg100"));
    setWindowTitle(QStringLiteral("关于 KPA(B)-650"));
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSongTi9Units;
    setFixedSize(du.size(235, 102));

    auto* icon = new QLabel(this);
    icon->setGeometry(du.rect(11, 17, 20, 20));
    icon->setPixmap(QPixmap(QStringLiteral(":/app_icon.png"))
                        .scaled(icon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    const auto label = [this, du](const QString& text, int x, int y, int w, int h,
                                  const QString& name = QString()) {
        auto* l = new QLabel(text, this);
        l->setGeometry(du.rect(x, y, w, h));
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (!name.isEmpty()) {
            l->setObjectName(name);
        }
        return l;
    };
    label(QStringLiteral("KPA(B)-650装置维护软件 v1.00"), 41, 7, 116, 11);
    label(NoticeText(), 40, 25, 119, 8);
    m_model = label(QString(), 36, 45, 49, 8, QStringLiteral("id1051"));
    label(QStringLiteral("远方跳闸信号传输装置  v"), 85, 45, 93, 8);
    m_version = label(QString(), 178, 45, 37, 8, QStringLiteral("id1038"));
    label(QStringLiteral("CRC:"), 43, 61, 27, 8);
    m_checksum = label(QString(), 73, 61, 29, 8, QStringLiteral("id1043"));
    label(QStringLiteral("TIME:"), 135, 61, 27, 8);
    m_date = label(QString(), 166, 61, 42, 8, QStringLiteral("id1039"));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setGeometry(du.rect(96, 81, 43, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_comm.setObjectName(QStringLiteral("id1004"));
    HoldWhileShowing(&m_comm);
    connect(&m_read, &IdentityRead::Finished, this, &CAboutDlg::OnIdentityRead);
}

CAboutDlg::~CAboutDlg() = default;

QString CAboutDlg::ModelText(int variant) {
    return variant == kVariantA ? QStringLiteral("  KPA-650/R") : QStringLiteral("  KPB-650/R");
}

QString CAboutDlg::NoticeText() {
    return QStringLiteral("版权所有(C) 维护软件开发组");
}

void CAboutDlg::OnInitDialog() {
    m_model->setText(kInitialModelText);
    m_portNumber = g_portNumber;
    m_device.SetPortNumber(m_portNumber);
    m_device.SetVariant(g_variant);
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) != OpenPortResult::Opened) {
        return;
    }
    m_requestText = comm::kIdentityCommand;
    m_read.Start();
}

void CAboutDlg::OnEndDialog() {
    m_read.Cancel();
    m_requestText.clear();
    m_comm.SetPortOpen(false);
}

void CAboutDlg::OnIdentityRead(const IdentityReadResult& read) {
    m_requestText.clear();
    const ExchangeResult& result = read.exchange;
    const bool answered = result.outcome == ExchangeOutcome::Success ||
                          result.outcome == ExchangeOutcome::BadReply ||
                          result.outcome == ExchangeOutcome::Refused;
    if (answered) {
        m_model->setText(ModelText(g_variant));  // the program's variant, whatever answered
    }
    const std::optional<DeviceIdentity>& identity = read.identity;
    if (!identity) {
        // A reply not in this variant's shape shows nothing of itself.
        ShowMessageBox(this, ExchangeFailureText(result, comm::kIdentityErrorText));
        return;
    }
    m_version->setText(identity->version);
    m_date->setText(identity->date);
    m_checksum->setText(identity->checksum);
}
