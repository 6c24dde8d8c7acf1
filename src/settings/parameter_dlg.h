#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

#include "common/dialog_base.h"
#include "link/device_exchange.h"
#include "link/exchange.h"
#include "settings/parameter_codec.h"

class CMSComm;
class QComboBox;
class QLineEdit;
class QPushButton;

// A parameter dialog's template: positions in dialog units ("宋体" 9), texts and tool tips.
struct ParameterDlgTemplate {
    enum Kind { kGroup, kLabel, kEdit, kList, kButton };
    struct Item {
        Kind kind;
        int id;  // -1 for the statics and group boxes, which have none
        QString text;
        QRect rect;
        bool hidden = false;
    };
    struct ToolTip {
        std::vector<int> ids;
        QString text;
    };

    int resourceId;
    QString title;
    QSize size;
    std::vector<Item> items;
    std::vector<ToolTip> toolTips;
};

// Control ids shared by both parameter dialogs.
enum ParameterControl {
    kIdClose = 1,
    kIdRead = 1003,
    kIdComm = 1004,
    kIdFrequency = 1006,
    kIdWrite = 1011,
};

// The mechanics both parameter dialogs share: write and read requests, one at a time, through
// the dialog's DeviceExchange (echo, trailer and value checks, bounded repetition, time-out,
// refusal, lost line), and the port held only while the dialog shows. A variant brings its frame
// codec and its template.
class CParameterDlg : public CDialogBase {
    Q_OBJECT
public:
    // Written by the main frame before each showing.
    void SetPortNumber(int port) { m_portNumber = static_cast<short>(port); }
    int PortNumber() const { return m_portNumber; }

    const ParameterCodec& Codec() const { return m_codec; }
    const ExchangeState& Exchange() const { return m_state; }
    // The frequency text last taken by a write or set by a read.
    QString FrequencyText() const { return m_frequencyText; }
    CMSComm& Comm() { return *m_comm; }
    // A request is under way (its buttons are disabled meanwhile).
    bool Busy() const { return m_link->Busy(); }

    void OnWrite();
    void OnRead();
    void OnClose();

protected:
    CParameterDlg(const ParameterCodec& codec, const ParameterDlgTemplate& layout, QWidget* parent);

    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void Build(const ParameterDlgTemplate& layout);
    void OnExchangeFinished(const ExchangeResult& result);
    // A read's values reach the controls.
    void ApplyReading(const FrameReading& reading);
    std::vector<int> Selections() const;

    const ParameterCodec& m_codec;
    ExchangeState m_state;
    CMSComm* m_comm = nullptr;
    DeviceExchange* m_link = nullptr;
    QPushButton* m_writeButton = nullptr;
    QPushButton* m_readButton = nullptr;
    QString m_frequencyText;
    short m_portNumber = 1;
    QLineEdit* m_frequency = nullptr;
    std::vector<QComboBox*> m_lists;  // in frame order, as the codec lists them
};
