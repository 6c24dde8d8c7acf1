#include "records/record_dlg.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "link/hex_text.h"
#include "link/open_port.h"
#include "records/bitmap_face_button.h"
#include "records/percent_progress_ctrl.h"
#include "records/record_list_model.h"
#include "records/record_log.h"
#include "records/record_snapshot.h"

namespace {
// The run-down after a clear: from 200000 to 100001 in this many frames of kRunDownInterval ms.
constexpr int kRunDownLower = 100000;
constexpr int kRunDownUpper = 200000;
constexpr int kRunDownFrames = 20;
constexpr int kRunDownIntervalMs = 15;
constexpr int kTimeoutMs = 1000;
// Lines of a text file read per turn of the event loop: some tens of milliseconds.
constexpr int kOpenSliceLines = 5000;
}  // namespace

CRecordDlg::CRecordDlg(QWidget* parent)
    : CDialogBase(parent), m_comm(this), m_gatherer(RecordGatherRules(kVariantA)), m_store(this) {
    setObjectName(QStringLiteral("dlg132"));
    setWindowTitle(QStringLiteral("记录查询"));
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSystem10Units;
    setFixedSize(du.size(256, 210));

    m_comm.setObjectName(QStringLiteral("id%1").arg(kIdComm));
    connect(&m_comm, &CMSComm::OnComm, this, &CRecordDlg::OnComm);
    connect(&m_comm, &CMSComm::LineLost, this, &CRecordDlg::OnLineLost);

    // Frames first, so the buttons lie above them.
    for (const QRect& r :
         {du.rect(19, 157, 55, 45), du.rect(104, 157, 55, 45), du.rect(190, 157, 49, 22)}) {
        auto* frame = new QGroupBox(this);
        frame->setGeometry(r);
    }

    m_model = new RecordListModel(this);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("id%1").arg(kIdList));
    m_list->setGeometry(du.rect(10, 10, 236, 132));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setTabKeyNavigation(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setMinimumSectionSize(8);
    for (int c = 0; c < records::kRecordListColumnCount; ++c) {
        m_list->setColumnWidth(c, records::kRecordListColumns[static_cast<std::size_t>(c)].width);
    }

    m_progress = new CPercentProgressCtrl(this);
    m_progress->setObjectName(QStringLiteral("id%1").arg(kIdProgress));
    m_progress->setGeometry(du.rect(12, 146, 233, 8));

    struct ButtonSpec {
        CBitmapFaceButton** button;
        int id;
        QRect rect;
        const char* caption;
        const char* bitmap;
        const char* tip;
    };
    const ButtonSpec specs[] = {
        {&m_openButton, kIdOpenFile, du.rect(26, 165, 38, 13), "打开文件", ":/button153.png",
         "打开存储在硬盘上的记录文件( *.mdb;*.txt)"},
        {&m_saveButton, kIdSaveFile, du.rect(26, 185, 38, 13), "保存文件", ":/button154.png",
         "将读出的记录另存为(*.mdb;*.txt)文件"},
        {&m_readButton, kIdReadLog, du.rect(111, 165, 38, 13), "读取记录", ":/button152.png",
         "读取装置内记录"},
        {&m_clearButton, kIdClearLog, du.rect(111, 185, 38, 13), "删除记录", ":/button149.png",
         "删除装置内全部记录"},
        {&m_graphButton, kIdGraph, du.rect(195, 163, 38, 13), "图形显示", ":/button155.png",
         "以图形方式显示记录信息"},
        {&m_exitButton, kIdExit, du.rect(195, 185, 38, 13), "退出", ":/button147.png", nullptr},
    };
    for (const ButtonSpec& s : specs) {
        auto* button = new CBitmapFaceButton(QString::fromUtf8(s.caption), this);
        button->setObjectName(QStringLiteral("id%1").arg(s.id));
        button->setGeometry(s.rect);
        button->LoadBitmaps(QString::fromLatin1(s.bitmap));
        if (s.tip) {
            button->setToolTip(QString::fromUtf8(s.tip));
        }
        *s.button = button;
    }
    m_exitButton->setDefault(true);
    connect(m_readButton, &QPushButton::clicked, this, &CRecordDlg::OnReadLog);
    connect(m_clearButton, &QPushButton::clicked, this, &CRecordDlg::OnClearLog);
    connect(m_openButton, &QPushButton::clicked, this, &CRecordDlg::OnOpenFile);
    connect(m_saveButton, &QPushButton::clicked, this, &CRecordDlg::OnSaveFile);
    connect(m_graphButton, &QPushButton::clicked, this, &CRecordDlg::OnGraphDisplay);
    connect(m_exitButton, &QPushButton::clicked, this, &QDialog::accept);

    m_timeout.setInterval(kTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &CRecordDlg::OnTimeout);
    m_openSlice.setInterval(0);
    connect(&m_openSlice, &QTimer::timeout, this, &CRecordDlg::ContinueTextOpening);
    m_runDown.setInterval(kRunDownIntervalMs);
    connect(&m_runDown, &QTimer::timeout, this, &CRecordDlg::RunDownTick);
}

CRecordDlg::~CRecordDlg() = default;

void CRecordDlg::OnInitDialog() {
    // A showing starts as a fresh window would: all buttons enabled, empty list, empty bar
    // without text.
    EnableButtons(true);
    m_exchange.Open();
    StopRunDown();
    m_progress->SetRange(0, 100);
    m_progress->SetStep(1);
    m_progress->SetWindowText(QString());
    m_progress->SetPos(0);
    m_progress->SetShowText(false);
    m_model->Clear();

    ClearReply();
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) == OpenPortResult::Failed) {
        return;
    }
    m_store.ConnectWorking(g_variant);
}

void CRecordDlg::OnEndDialog() {
    m_openSlice.stop();
    m_store.CancelOpenText();
    m_model->Clear();
    m_timeout.stop();
    StopRunDown();
    m_exchange.pending.clear();
    m_comm.SetPortOpen(false);
}

void CRecordDlg::EnableButtons(bool enable) {
    for (CBitmapFaceButton* b :
         {m_readButton, m_clearButton, m_graphButton, m_openButton, m_saveButton}) {
        b->setEnabled(enable);
    }
}

void CRecordDlg::ClearReply() {
    m_exchange.DropReply();
    m_replyBytes = 0;
}

void CRecordDlg::FillListFromTable(bool fromTemp) {
    m_model->Clear();
    RecordSnapshot rows;
    m_store.TakeSnapshot(fromTemp ? records::kTempTable : records::kKpb650Table, rows);
    if (rows.Count() == 0) {
        m_progress->SetShowText(false);
        return;
    }
    m_model->SetRows(std::move(rows));
    m_list->setFocus();
    const QModelIndex first = m_model->index(0, 0);
    m_list->selectionModel()->setCurrentIndex(
        first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// --- Files and graph -------------------------------------------------------------------------

void CRecordDlg::OnOpenFile() {
    const QString path = m_chooseFile(this, OpenRecordsDialogSettings());
    if (path.isEmpty()) {
        return;
    }
    if (!m_store.IsConnected() && !m_store.ConnectWorking(g_variant)) {
        return;
    }
    if (!RecordStore::IsDatabasePath(path)) {
        StartTextOpening(path);
        return;
    }
    if (m_store.OpenRecords(path, this)) {
        FillListFromTable(false);
    }
}

void CRecordDlg::StartTextOpening(const QString& path) {
    if (!m_store.BeginOpenText(path, this)) {
        return;
    }
    if (m_store.ContinueOpenText(kOpenSliceLines)) {
        FinishTextOpening();
        return;
    }
    // Longer than a moment: the rest goes a slice per turn of the event loop, with the
    // progress on the bar and the buttons that would touch the records disabled.
    EnableButtons(false);
    m_progress->SetRange(0, 100);
    m_progress->SetPos(m_store.OpenTextPercent());
    m_progress->SetShowText(true);
    m_openSlice.start();
}

void CRecordDlg::ContinueTextOpening() {
    // A box about a refused row runs an event loop of its own; no slice starts inside another.
    m_openSlice.stop();
    if (m_store.ContinueOpenText(kOpenSliceLines)) {
        FinishTextOpening();
        return;
    }
    m_progress->SetPos(m_store.OpenTextPercent());
    m_openSlice.start();
}

void CRecordDlg::FinishTextOpening() {
    const bool opened = m_store.EndOpenText();
    m_progress->SetPos(0);
    m_progress->SetShowText(false);
    EnableButtons(true);
    if (opened) {
        FillListFromTable(false);
    }
}

void CRecordDlg::OnSaveFile() {
    const QString path =
        m_chooseFile(this, SaveRecordsDialogSettings(g_variant, QDate::currentDate()));
    if (path.isEmpty()) {
        return;
    }
    if (!m_store.IsConnected() && !m_store.ConnectWorking(g_variant)) {
        return;
    }
    m_store.SaveRecords(path, this);
}

void CRecordDlg::OnGraphDisplay() {
    if (!m_graphHandler) {
        return;
    }
    m_store.Close();
    m_graphHandler(this);
    m_store.ConnectWorking(g_variant);
}

// --- Event log exchange ----------------------------------------------------------------------

void CRecordDlg::OnReadLog() {
    // Records read with nowhere to store them would be lost: try the connection again first.
    if (!m_store.IsConnected() && !m_store.ConnectWorking(g_variant)) {
        return;
    }
    EnableButtons(false);
    m_timeout.start();
    StopRunDown();
    m_store.EmptyTable(records::kTempTable);
    ClearReply();
    SendRequest(m_comm, m_exchange, ReadLogCommand(g_variant));
    // A fresh range: the bounds of an earlier read or clear would show a negative percentage
    // until the count frame arrives.
    m_progress->SetRange(0, 100);
    m_progress->SetPos(0);
    m_progress->SetShowText(true);
}

void CRecordDlg::OnClearLog() {
    if (ShowMessageBox(this, records::kClearQuestionText, records::kClearCaption,
                       QMessageBox::Yes | QMessageBox::No,
                       QMessageBox::Question) != QMessageBox::Yes) {
        return;
    }
    StopRunDown();
    ClearReply();
    SendRequest(m_comm, m_exchange, records::kClearLogCommand);
    m_store.EmptyTable(records::kTempTable);
    m_progress->SetPos(0);
}

void CRecordDlg::OnComm() {
    m_timeout.stop();
    m_gatherer.Rules().leadingByte = g_variant != kVariantA;
    const GatherResult result = m_gatherer.OnComm(m_comm, m_exchange);
    m_replyBytes += result.received;
    if (result.refused) {
        m_progress->SetShowText(false);
        ShowMessageBox(this, comm::kCheckConnectionText);
        ClearReply();
        // The pending command stays, but the operator gets the buttons back.
        EnableButtons(true);
        return;
    }
    if (m_exchange.pending == ReadLogCommand(g_variant)) {
        HandleLogReply(result);
    } else if (m_exchange.pending == records::kClearLogCommand) {
        HandleClearReply(result);
    }
}

void CRecordDlg::HandleLogReply(const GatherResult& result) {
    if (!result.complete) {
        return;
    }
    const QString readCommand = ReadLogCommand(g_variant);
    const QString type = m_exchange.trailer;
    if (type == records::kEndOfLogType) {
        m_exchange.pending.clear();
        FillListFromTable(true);
        m_progress->SetPos(0);
        m_progress->SetShowText(false);
        ShowMessageBox(this, records::kReadDoneText);
        ClearReply();
        EnableButtons(true);
        return;
    }
    if (type == records::kCountFrameType) {
        m_recordCounter = CountFromFrame(m_exchange.buffer);
        if (m_recordCounter == 0) {
            m_exchange.pending.clear();
            FillListFromTable(true);
            m_progress->SetShowText(false);
            ShowMessageBox(this, records::kNoRecordsText);
            EnableButtons(true);
            ClearReply();
            return;
        }
        SendHexText(m_comm, readCommand);
        SendHexText(m_comm, AcknowledgeText(g_variant));
        m_progress->SetRange(m_recordCounter, 2 * m_recordCounter);
        // The position would otherwise sit below the new range and a repaint before the first
        // record would show a negative percentage.
        m_progress->SetPos(m_recordCounter);
        m_progress->SetStep(1);
        ClearReply();
        return;
    }

    // A record frame: stored (and committed) before the next one is asked for.
    QByteArray bytes;
    HexTextToBytes(QString(m_exchange.buffer).remove(QLatin1Char(' ')), bytes);
    m_store.Append(records::kTempTable, RecordFromLogBytes(bytes, g_variant));
    m_exchange.pending = readCommand;
    SendHexText(m_comm, readCommand);
    SendHexText(m_comm, AcknowledgeText(g_variant));
    ++m_recordCounter;
    m_progress->SetPos(m_recordCounter);
    ClearReply();
}

void CRecordDlg::HandleClearReply(const GatherResult& result) {
    if (!result.complete) {
        return;  // only a variant B leading byte so far
    }
    if (!ClearConfirmed(g_variant, m_exchange.trailer, m_replyBytes)) {
        RepeatRequest(m_comm, m_exchange, false);
        ClearReply();
        return;
    }
    StartRunDown();
    m_exchange.pending.clear();
    FillListFromTable(true);
    ClearReply();
    ShowMessageBox(this, records::kClearedText);
}

void CRecordDlg::OnTimeout() {
    m_timeout.stop();
    m_exchange.pending.clear();
    ClearReply();
    m_progress->SetShowText(false);
    EnableButtons(true);
    ShowMessageBox(this, comm::kConnectionFailedText);
}

void CRecordDlg::OnLineLost(const QString&) {
    // The adapter went away: whatever was stored stays in TEMP and is listed; the operator gets
    // the buttons back and the reason.
    const bool reading = m_exchange.pending == ReadLogCommand(g_variant);
    if (!reading && m_exchange.pending != records::kClearLogCommand) {
        return;
    }
    m_timeout.stop();
    m_exchange.pending.clear();
    ClearReply();
    m_progress->SetShowText(false);
    if (reading) {
        FillListFromTable(true);
    }
    EnableButtons(true);
    ShowMessageBox(this, comm::kConnectionFailedText);
}

// --- Run-down of the bar after a clear -------------------------------------------------------

void CRecordDlg::StartRunDown() {
    m_progress->SetRange(kRunDownLower, kRunDownUpper);
    m_progress->SetPos(kRunDownUpper);
    m_runDownFrame = 0;
    m_runDown.start();
}

void CRecordDlg::RunDownTick() {
    ++m_runDownFrame;
    if (m_runDownFrame >= kRunDownFrames) {
        m_runDown.stop();
        m_progress->SetPos(kRunDownLower + 1);
        return;
    }
    const int span = kRunDownUpper - kRunDownLower;
    m_progress->SetPos(kRunDownUpper - span * m_runDownFrame / kRunDownFrames);
}

void CRecordDlg::StopRunDown() {
    if (m_runDown.isActive()) {
        m_runDown.stop();
        m_progress->SetPos(kRunDownLower + 1);
    }
}
