#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>

#include "common/dialog_base.h"
#include "link/ms_comm.h"

class QLabel;

// The device identification as the about box shows it.
struct DeviceIdentity {
    QString version;   // "1.00"
    QString date;      // "2009-9-8"
    QString checksum;  // "ABCD"
};

// Appends one receive event's bytes to the identification reply text ("%01X" per byte) by the
// variant's framing rules, positions counted within the event. Returns whether the event held
// the reply's closing byte.
bool AppendIdentityBytes(QString& replyText, const QByteArray& bytes, int variant);

// Reads the reply text by character position: version, year, month, day, four checksum digits.
// Characters beyond the eighth are ignored; missing ones count as 0.
DeviceIdentity ParseIdentityText(const QString& replyText);

namespace app {

inline const QString kIdentityErrorText = QStringLiteral("接收记录出错，请重试!");
inline const QString kIdentityCommand = QStringLiteral("56");

}  // namespace app

// The about box, which also reads the device's identification (version, build date, checksum)
// over the chosen port while it is open. Created for one showing.
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    CMSComm& Comm() { return m_comm; }
    QString ReplyText() const { return m_replyText; }
    QString RequestText() const { return m_requestText; }

    static QString ModelText(int variant);
    static QString NoticeText();

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnComm();
    void OnTimer();

    int m_portNumber = 1;
    CMSComm m_comm;
    QString m_replyText;
    QString m_requestText;
    QString m_endByteText;
    QTimer m_timer;

    QLabel* m_model = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_checksum = nullptr;
    QLabel* m_date = nullptr;
};
