#include "app/about_dlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "link/exchange.h"
#include "link/hex_text.h"
#include "link/open_port.h"

namespace {

const QString kInitialModelText = QStringLiteral("KPA(B)-650/R");

QString DigitText(unsigned char byte) {
    return QString::number(byte, 16).toUpper();  // "%01X"
}

}  // namespace

bool AppendIdentityBytes(QString& replyText, const QByteArray& bytes, int variant) {
    bool end = false;
    for (qsizetype p = 0; p < bytes.size(); ++p) {
        const QString text = DigitText(static_cast<unsigned char>(bytes[p]));
        if (variant == kVariantB) {
            // Variant B frames the digits with 0x56 and 0x58 within one event.
            if (p == 0 && text == QLatin1String("56")) {
                continue;
            }
            if (p == 9 && text == QLatin1String("58")) {
                end = true;
                continue;
            }
            replyText += text;
        } else {
            // Variant A sends the digits and a closing byte of any value.
            if (p == 8) {
                end = true;
                continue;
            }
            replyText += text;
            if (p == 0 && replyText == QLatin1String("56")) {
                break;  // a variant B device answering: the rest of this event is not ours
            }
        }
    }
    return end;
}

DeviceIdentity ParseIdentityText(const QString& replyText) {
    const auto digit = [&replyText](int position) -> std::uint64_t {
        return position < replyText.size() ? HexTextToValue(replyText.mid(position, 1)) : 0;
    };
    DeviceIdentity identity;
    identity.version = QString::number(digit(0)) + QStringLiteral(".00");
    const std::uint64_t year = digit(1);
    identity.date = (year < 10 ? QStringLiteral("200") : QStringLiteral("20")) +
                    QString::number(year) + QLatin1Char('-') + QString::number(digit(2)) +
                    QLatin1Char('-') + QString::number(digit(3));
    for (int i = 4; i < 8; ++i) {
        identity.checksum += QString::number(digit(i), 16).toUpper();
    }
    return identity;
}

CAboutDlg::CAboutDlg(QWidget* parent) : CDialogBase(parent), m_comm(this), m_timer(this) {
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
    connect(&m_comm, &CMSComm::OnComm, this, &CAboutDlg::OnComm);

    m_timer.setObjectName(QStringLiteral("timer1"));
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &CAboutDlg::OnTimer);
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
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) != OpenPortResult::Opened) {
        return;
    }
    m_timer.start();
    m_requestText = app::kIdentityCommand;
    m_endByteText = comm::kEndByteText;
    SendHexText(m_comm, m_requestText);
    SendHexText(m_comm, m_endByteText);
}

void CAboutDlg::OnEndDialog() {
    m_timer.stop();
    m_comm.SetPortOpen(false);
}

void CAboutDlg::OnComm() {
    // Any event ends the wait: the time-out covers only the silence before the first one.
    m_timer.stop();
    bool end = false;
    if (m_comm.GetCommEvent() == CMSComm::kEvReceive) {
        const short n = m_comm.GetInBufferCount();
        m_comm.SetInputLen(n);
        end = AppendIdentityBytes(m_replyText, m_comm.GetInput(), g_variant);
        m_model->setText(ModelText(g_variant));
    }
    if (m_replyText.size() <= 8 && !end) {
        return;
    }
    if (m_replyText.size() > 10) {
        m_replyText.clear();
        ShowMessageBox(this, app::kIdentityErrorText);
        return;
    }
    if (m_requestText != app::kIdentityCommand) {
        return;
    }
    const DeviceIdentity identity = ParseIdentityText(m_replyText);
    m_version->setText(identity.version);
    m_date->setText(identity.date);
    m_checksum->setText(identity.checksum);
    m_requestText.clear();
    m_replyText.clear();
}

void CAboutDlg::OnTimer() {
    m_timer.stop();
    m_requestText.clear();
    m_replyText.clear();
    ShowMessageBox(this, comm::kConnectionFailedText);
}
