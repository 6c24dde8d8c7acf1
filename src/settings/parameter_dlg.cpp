#include "settings/parameter_dlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <map>

#include "common/dialog_units.h"
#include "common/drop_down_fit.h"
#include "common/message_box.h"
#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "link/port_names.h"

CParameterDlg::CParameterDlg(const ParameterCodec& codec, const ParameterDlgTemplate& layout,
                             QWidget* parent, DeviceLink* link)
    : CDialogBase(parent), m_codec(codec) {
    m_device = link ? link : new DeviceLink(this);
    m_comm = &m_device->Comm();
    m_comm->setObjectName(QStringLiteral("id%1").arg(kIdComm));
    HoldWhileShowing(m_comm);
    m_write = new ParameterWrite(*m_device, &m_journal, this);
    m_read = new ParameterRead(*m_device, &m_journal, this);
    m_compare = new ParameterCompare(*m_device, &m_journal, this);
    connect(m_write, &ParameterWrite::Finished, this, &CParameterDlg::OnWritten);
    connect(m_read, &ParameterRead::Finished, this, &CParameterDlg::OnReadFinished);
    connect(m_compare, &ParameterCompare::Finished, this, &CParameterDlg::OnCompared);
    m_journal.SetFailureNotice([this](const QString& text) { ShowMessageBox(this, text); });
    DeviceExchange* exchange = &m_device->Exchange();
    connect(exchange, &DeviceExchange::LineLostWhileIdle, this, [this] {
        if (Showing()) {  // the link is the main window's: other dialogs use it too
            ShowMessageBox(this, comm::kConnectionFailedText);
        }
    });

    Build(layout);
    BuildFileControls(layout);
    connect(exchange, &DeviceExchange::BusyChanged, this, [this](bool busy) {
        m_writeButton->setEnabled(!busy);
        m_readButton->setEnabled(!busy);
    });
}

void CParameterDlg::Build(const ParameterDlgTemplate& layout) {
    setObjectName(QStringLiteral("dlg%1").arg(layout.resourceId));
    setWindowTitle(layout.title);
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSongTi9Units;
    setFixedSize(du.size(layout.size.width(), layout.size.height()));

    std::map<int, QWidget*> byId;
    for (const ParameterDlgTemplate::Item& item : layout.items) {
        const QRect r = item.rect;
        QWidget* widget = nullptr;
        switch (item.kind) {
            case ParameterDlgTemplate::kGroup:
                widget = new QGroupBox(item.text, this);
                widget->lower();  // a frame behind the controls it groups
                break;
            case ParameterDlgTemplate::kLabel:
                widget = new QLabel(item.text, this);
                break;
            case ParameterDlgTemplate::kEdit:
                m_frequency = new QLineEdit(this);
                widget = m_frequency;
                break;
            case ParameterDlgTemplate::kList:
                widget = new QComboBox(this);
                break;
            case ParameterDlgTemplate::kButton: {
                auto* button = new QPushButton(item.text, this);
                if (item.id == kIdClose) {
                    button->setDefault(true);
                    connect(button, &QPushButton::clicked, this, &CParameterDlg::OnClose);
                } else if (item.id == kIdWrite) {
                    m_writeButton = button;
                    connect(button, &QPushButton::clicked, this, &CParameterDlg::OnWrite);
                } else if (item.id == kIdRead) {
                    m_readButton = button;
                    connect(button, &QPushButton::clicked, this, &CParameterDlg::OnRead);
                }
                widget = button;
                break;
            }
        }
        widget->setGeometry(du.rect(r.x(), r.y(), r.width(), r.height()));
        if (item.id >= 0) {
            widget->setObjectName(QStringLiteral("id%1").arg(item.id));
            byId[item.id] = widget;
        }
        if (item.hidden) {
            widget->hide();
        }
    }

    for (const ListSpec& spec : m_codec.lists) {
        auto* list = qobject_cast<QComboBox*>(byId[spec.id]);
        Q_ASSERT(list);
        list->addItems(spec.items);
        m_lists.push_back(list);
    }
    for (const ParameterDlgTemplate::ToolTip& tip : layout.toolTips) {
        for (const int id : tip.ids) {
            if (QWidget* widget = byId[id]) {
                widget->setToolTip(tip.text);
            }
        }
    }
    FitDropDownTexts(this);
}

void CParameterDlg::OnInitDialog() {
    m_state.Open();
    m_journal.NewShowing();
    m_heldThisShowing.reset();
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        m_lists[i]->setCurrentIndex(m_codec.lists[i].defaultIndex);
    }
    m_frequency->setText(m_frequencyText);
    m_device->SetPortNumber(m_portNumber);
    m_device->SetVariant(VariantOfCodec(m_codec));
    QString reason;
    if (OpenPort(*m_comm, m_portNumber, this, &reason) == OpenPortResult::Failed) {
        ShowMessageBox(this, comm::ChoosePortAgainText(reason));
    }
}

void CParameterDlg::OnEndDialog() {
    // A request still awaited dies with the showing.
    m_write->Cancel();
    m_read->Cancel();
    m_compare->Cancel();
    m_state.pending.clear();
    m_journal.Complete(journal::WriteOutcome::Unknown, {},
                       QStringLiteral("the dialog closed before the reply"));
    m_comm->SetPortOpen(false);
}

std::vector<int> CParameterDlg::Selections() const {
    std::vector<int> selections;
    for (const QComboBox* list : m_lists) {
        selections.push_back(list->currentIndex());
    }
    return selections;
}

void CParameterDlg::OnWrite() {
    if (Busy()) {
        return;  // one request at a time
    }
    m_frequencyText = m_frequency->text();
    const FrameBuild build = m_codec.buildFrame(m_frequencyText, Selections());
    if (!build.error.isEmpty()) {
        ShowMessageBox(this, build.error);
        return;
    }
    m_state.frame = BytesToHexText(build.frame);
    m_state.pending = m_codec.writeCommand;
    m_writing = ParameterSetFromFrame(VariantOfCodec(m_codec), build.frame).set;
    m_write->Start(m_writing, m_heldThisShowing);
}

void CParameterDlg::OnRead() {
    if (Busy()) {
        return;
    }
    m_state.pending = m_codec.readCommand;
    m_read->Start();
}

void CParameterDlg::OnClose() {
    if (m_comm->GetPortOpen()) {
        m_comm->SetPortOpen(false);
    }
    accept();
}

bool CParameterDlg::Received(const ExchangeResult& result) {
    m_state.pending.clear();
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return true;
        case ExchangeOutcome::PortError:
            ShowMessageBox(this, comm::ChoosePortAgainText(result.error));
            return false;
        case ExchangeOutcome::Refused:
            break;
        case ExchangeOutcome::BadReply:
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
            m_frequency->setText(m_frequencyText);  // what the dialog holds, not what was typed
            break;
    }
    ShowMessageBox(this, ExchangeFailureText(result));
    return false;
}

void CParameterDlg::OnWritten(const ParameterWriteResult& result) {
    if (result.exchange.outcome == ExchangeOutcome::Success) {
        m_heldThisShowing = m_writing;
    }
    if (Received(result.exchange)) {
        ShowMessageBox(this, settings::kWriteDoneText);
    }
}
