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
#include "link/ms_comm.h"
#include "link/open_port.h"

CParameterDlg::CParameterDlg(const ParameterCodec& codec, const ParameterDlgTemplate& layout,
                             QWidget* parent)
    : CDialogBase(parent), m_codec(codec) {
    GatherRules rules;
    rules.leadingByte = codec.leadingByte;
    rules.refusalWhenAlone = true;
    rules.splitReplies = true;
    rules.dataLength = [bytes = codec.frameBytes](const QString&) { return bytes; };
    m_gatherer = ReplyGatherer(std::move(rules));

    m_comm = new CMSComm(this);
    m_comm->setObjectName(QStringLiteral("id%1").arg(kIdComm));
    connect(m_comm, &CMSComm::OnComm, this, &CParameterDlg::OnComm);

    m_replyTimer.setSingleShot(true);
    m_replyTimer.setInterval(kReplyTimeOutMs);
    connect(&m_replyTimer, &QTimer::timeout, this, &CParameterDlg::OnTimeOut);

    Build(layout);
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
                    connect(button, &QPushButton::clicked, this, &CParameterDlg::OnWrite);
                } else if (item.id == kIdRead) {
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
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        m_lists[i]->setCurrentIndex(m_codec.lists[i].defaultIndex);
    }
    m_frequency->setText(m_frequencyText);
    m_state.DropReply();
    if (OpenPort(*m_comm, m_portNumber, this) == OpenPortResult::Failed) {
        ShowMessageBox(this, comm::kChoosePortAgainText);
    }
}

void CParameterDlg::OnEndDialog() {
    // A request still awaited dies with the showing; its time-out must not outlive it.
    m_replyTimer.stop();
    m_state.pending.clear();
    m_comm->SetPortOpen(false);
}

std::vector<int> CParameterDlg::Selections() const {
    std::vector<int> selections;
    for (const QComboBox* list : m_lists) {
        selections.push_back(list->currentIndex());
    }
    return selections;
}

void CParameterDlg::StartReplyTimeOut() {
    m_replyTimer.start();
}

void CParameterDlg::OnWrite() {
    m_state.pending = m_codec.writeCommand;
    m_frequencyText = m_frequency->text();
    const FrameBuild build = m_codec.buildFrame(m_frequencyText, Selections());
    if (!build.error.isEmpty()) {
        ShowMessageBox(this, build.error);
        return;
    }
    m_state.frame = build.frame;
    // Whatever arrived unasked must not be judged as this request's reply.
    m_state.DropReply();
    SendRequest(*m_comm, m_state, m_codec.writeCommand, m_state.frame,
                [this] { StartReplyTimeOut(); });
}

void CParameterDlg::OnRead() {
    m_state.DropReply();
    SendRequest(*m_comm, m_state, m_codec.readCommand, QString(), [this] { StartReplyTimeOut(); });
}

void CParameterDlg::OnClose() {
    if (m_comm->GetPortOpen()) {
        m_comm->SetPortOpen(false);
    }
    accept();
}

void CParameterDlg::OnComm() {
    m_replyTimer.stop();
    const GatherResult result = m_gatherer.OnComm(*m_comm, m_state);
    if (result.refused) {
        ShowMessageBox(this, comm::kCheckConnectionText);
        m_state.DropReply();  // the request stays pending
        return;
    }
    if (!result.complete) {
        return;
    }
    if (m_state.pending == m_codec.writeCommand) {
        OnWriteReply();
    } else if (m_state.pending == m_codec.readCommand) {
        OnReadReply();
    }
}

void CParameterDlg::OnWriteReply() {
    if (m_state.trailer == comm::kGoodTrailerText && m_state.buffer == m_state.frame) {
        ShowMessageBox(this, settings::kWriteDoneText);
        m_state.pending.clear();
        m_state.DropReply();
        return;
    }
    m_state.DropReply();
    RepeatRequest(*m_comm, m_state, true);
}

void CParameterDlg::OnReadReply() {
    if (m_state.trailer != comm::kGoodTrailerText) {
        m_state.DropReply();
        RepeatRequest(*m_comm, m_state, false);
        return;
    }
    const FrameReading reading = m_codec.readFrame(m_state.buffer);
    m_frequencyText = reading.frequencyText;
    for (std::size_t i = 0; i < m_lists.size() && i < reading.selections.size(); ++i) {
        m_lists[i]->setCurrentIndex(reading.selections[i]);
    }
    m_frequency->setText(m_frequencyText);
    ShowMessageBox(this, settings::kReadDoneText);
    m_state.pending.clear();
    m_state.DropReply();
}

void CParameterDlg::OnTimeOut() {
    m_replyTimer.stop();
    m_state.pending.clear();
    m_state.DropReply();
    m_frequency->setText(m_frequencyText);  // what the dialog holds, not what was typed since
    ShowMessageBox(this, comm::kConnectionFailedText);
}
