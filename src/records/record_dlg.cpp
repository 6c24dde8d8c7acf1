#include "records/record_dlg.h"

#include <QAction>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QScrollBar>
#include <QSqlError>
#include <QTableView>

#include <algorithm>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "link/open_port.h"
#include "link/port_names.h"
#include "records/bitmap_face_button.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/percent_progress_ctrl.h"
#include "records/record_archive.h"
#include "records/record_list_model.h"
#include "records/record_log.h"
#include "records/record_snapshot.h"
#include "records/record_sql.h"
#include "records/store_messages.h"

namespace {
// A list whose rows are chosen whole: making a cell current (a click in the wide event column)
// scrolls only as far as the row needs, never sideways, so the serial column stays in sight.
class RowListView : public QTableView {
public:
    using QTableView::QTableView;
    void scrollTo(const QModelIndex& index, ScrollHint hint) override {
        const int x = horizontalScrollBar()->value();
        QTableView::scrollTo(index, hint);
        horizontalScrollBar()->setValue(x);
    }
};

// The run-down after a clear: from 200000 to 100001 in this many frames of kRunDownInterval ms.
constexpr int kRunDownLower = 100000;
constexpr int kRunDownUpper = 200000;
constexpr int kRunDownFrames = 20;
constexpr int kRunDownIntervalMs = 15;
// The list's context menu and its exports.
const QString kCopyText = QStringLiteral("复制");
const QString kExportCsvText = QStringLiteral("导出CSV文件...");
const QString kExportComtradeText = QStringLiteral("导出COMTRADE文件...");
const QString kGraphOfListText = QStringLiteral("以图形显示列表记录");
const QString kExportCsvTitle = QStringLiteral("导出CSV文件");
const QString kExportComtradeTitle = QStringLiteral("导出COMTRADE文件");
const QString kNoTimedRecordsText = QStringLiteral("列表中没有时间有效的记录，未导出。");
const QString kSkippedRecordsText = QStringLiteral("%1条记录的时间无效，未写入COMTRADE文件。");

RecordFileDialogSettings ExportDialogSettings(const QString& title, const QString& filter,
                                              const QString& suffix) {
    RecordFileDialogSettings s;
    s.save = true;
    s.title = title;
    s.nameFilters = QStringList{filter};
    s.defaultSuffix = suffix;
    s.initialName = RecordStore::ProposedSaveName(g_variant, QDate::currentDate());
    return s;
}

// Lines of a text file read per turn of the event loop: some tens of milliseconds.
constexpr int kOpenSliceLines = 5000;
// Rows copied into the list's snapshot per turn of the event loop once the file is stored.
constexpr int kFillSliceRows = 25000;
}  // namespace

CRecordDlg::CRecordDlg(QWidget* parent) : CDialogBase(parent), m_device(this) {
    setObjectName(QStringLiteral("dlg132"));
    setWindowTitle(QStringLiteral("记录查询"));
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSystem10Units;
    setFixedSize(du.size(256, 210));

    m_comm.setObjectName(QStringLiteral("id%1").arg(kIdComm));
    m_journal.SetFailureNotice([this](const QString& text) { ShowMessageBox(this, text); });
    connect(&m_logClear, &LogClear::Finished, this, &CRecordDlg::HandleClearResult);
    connect(&m_logRead, &LogRead::Announced, this, [this](int announced) {
        m_recordCounter = announced;
        m_progress->SetRange(announced, 2 * announced);
        // The position would otherwise sit below the new range and a repaint before the first
        // record would show a negative percentage.
        m_progress->SetPos(announced);
        m_progress->SetStep(1);
    });
    connect(&m_logRead, &LogRead::Received, this, [this](int received, int announced) {
        m_recordCounter = announced + received;
        m_progress->SetPos(m_recordCounter);
    });
    connect(&m_logRead, &LogRead::Finished, this, &CRecordDlg::OnLogReadFinished);
    m_sink.SetReport([this](const records::StoreErrors& errors) { ShowStoreErrors(this, errors); });
    connect(&m_link, &DeviceExchange::LineLostWhileIdle, this,
            [this] { ShowMessageBox(this, comm::kConnectionFailedText); });

    // Frames first, so the buttons lie above them.
    for (const QRect& r :
         {du.rect(19, 157, 55, 45), du.rect(104, 157, 55, 45), du.rect(190, 157, 49, 22)}) {
        auto* frame = new QGroupBox(this);
        frame->setGeometry(r);
    }

    m_model = new RecordListModel(this);
    m_list = new RowListView(this);
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

    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CRecordDlg::OnListContextMenu);
    auto* copy = new QAction(kCopyText, m_list);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &CRecordDlg::OnCopySelection);
    m_list->addAction(copy);

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
    m_journal.NewShowing();
    StopRunDown();
    m_progress->SetRange(0, 100);
    m_progress->SetStep(1);
    m_progress->SetWindowText(QString());
    m_progress->SetPos(0);
    m_progress->SetShowText(false);
    m_model->Clear();

    m_device.SetPortNumber(m_portNumber);
    if (m_archiveRecords) {
        const std::vector<EventRecord> records = std::move(*m_archiveRecords);
        m_archiveRecords.reset();
        if (ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant)) &&
            ShowingStoreErrors(this, m_store,
                               m_store.ReplaceRecords(records::kKpb650Table, records))) {
            FillListFromTable(false);
        }
        return;
    }
    if (OpenPortReportingFailure(m_comm, m_portNumber, this) == OpenPortResult::Failed) {
        return;
    }
    ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant));
}

void CRecordDlg::OnEndDialog() {
    m_logRead.Cancel();
    m_logClear.Cancel();
    m_link.Cancel();
    m_readErrors.reset();
    m_openSlice.stop();
    m_store.CancelOpenText();
    m_filling.Clear();
    m_model->Clear();
    StopRunDown();
    m_exchange.pending.clear();
    m_journal.Complete(journal::WriteOutcome::Unknown, {},
                       QStringLiteral("the dialog closed before the reply"));
    m_comm.SetPortOpen(false);
}

void CRecordDlg::EnableButtons(bool enable) {
    for (CBitmapFaceButton* b :
         {m_readButton, m_clearButton, m_graphButton, m_openButton, m_saveButton}) {
        b->setEnabled(enable);
    }
}

void CRecordDlg::FillListFromTable(bool fromTemp) {
    m_model->Clear();
    RecordSnapshot rows;
    ShowingStoreErrors(
        this, m_store,
        m_store.TakeSnapshot(fromTemp ? records::kTempTable : records::kKpb650Table, rows));
    ShowRows(std::move(rows));
}

void CRecordDlg::ShowRows(RecordSnapshot rows) {
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
    if (!m_store.IsConnected() &&
        !ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant))) {
        return;
    }
    if (!RecordStore::IsDatabasePath(path)) {
        StartTextOpening(path);
        return;
    }
    if (ShowingStoreErrors(this, m_store, m_store.OpenRecords(path))) {
        FillListFromTable(false);
    }
}

void CRecordDlg::StartTextOpening(const QString& path) {
    if (!ShowingStoreErrors(this, m_store, m_store.BeginOpenText(path))) {
        return;
    }
    if (ShowingStoreErrors(this, m_store, m_store.ContinueOpenText(kOpenSliceLines))) {
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
    if (m_filling.Copying()) {
        ContinueFilling();
        return;
    }
    if (ShowingStoreErrors(this, m_store, m_store.ContinueOpenText(kOpenSliceLines))) {
        FinishTextOpening();
        return;
    }
    m_progress->SetPos(m_store.OpenTextPercent());
    m_openSlice.start();
}

void CRecordDlg::FinishTextOpening() {
    const bool opened = ShowingStoreErrors(this, m_store, m_store.EndOpenText());
    m_model->Clear();
    // A long file's rows reach the list a slice per turn too, the buttons still disabled.
    if (opened && ShowingStoreErrors(this, m_store,
                                     m_store.BeginSnapshot(records::kKpb650Table, m_filling))) {
        ContinueFilling();
        return;
    }
    EndFilling();
}

void CRecordDlg::ContinueFilling() {
    bool failed = false;
    QSqlError error;
    if (!m_filling.Continue(kFillSliceRows, &error, &failed)) {
        m_openSlice.start();
        return;
    }
    if (failed) {
        ShowMessageBox(this, records::ErrorText(error));
    }
    EndFilling();
}

void CRecordDlg::EndFilling() {
    m_progress->SetPos(0);
    m_progress->SetShowText(false);
    EnableButtons(true);
    ShowRows(std::move(m_filling));
}

void CRecordDlg::OnSaveFile() {
    const QString path =
        m_chooseFile(this, SaveRecordsDialogSettings(g_variant, QDate::currentDate()));
    if (path.isEmpty()) {
        return;
    }
    if (!m_store.IsConnected() &&
        !ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant))) {
        return;
    }
    ShowingStoreErrors(this, m_store, m_store.SaveRecords(path));
}

void CRecordDlg::OnGraphDisplay() {
    if (!m_graphHandler) {
        return;
    }
    m_store.Close();
    m_graphHandler(this);
    ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant));
}

// --- The list's context menu ----------------------------------------------------------------

std::vector<EventRecord> CRecordDlg::ListedRecords() const {
    std::vector<EventRecord> rows;
    const int n = m_model->rowCount();
    rows.reserve(static_cast<std::size_t>(n));
    for (int row = 0; row < n; ++row) {
        rows.push_back(m_model->RecordAt(row));
    }
    return rows;
}

QMenu* CRecordDlg::CreateListMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    const bool listed = m_model->rowCount() > 0;
    QAction* copy = menu->addAction(kCopyText, this, &CRecordDlg::OnCopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(m_list->selectionModel()->hasSelection());
    menu->addSeparator();
    menu->addAction(kExportCsvText, this, &CRecordDlg::OnExportCsv)->setEnabled(listed);
    menu->addAction(kExportComtradeText, this, &CRecordDlg::OnExportComtrade)->setEnabled(listed);
    menu->addSeparator();
    // The graph closes the working database: never while a read is storing records in it.
    menu->addAction(kGraphOfListText, this, &CRecordDlg::OnGraphOfList)
        ->setEnabled(listed && m_listGraphHandler && m_graphButton->isEnabled());
    return menu;
}

void CRecordDlg::OnListContextMenu(const QPoint& pos) {
    QMenu* menu = CreateListMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_list->viewport()->mapToGlobal(pos));
}

void CRecordDlg::OnCopySelection() {
    std::vector<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    if (rows.empty()) {
        return;
    }
    std::sort(rows.begin(), rows.end());
    std::vector<EventRecord> selected;
    std::vector<int> serials;
    for (int row : rows) {
        selected.push_back(m_model->RecordAt(row));
        serials.push_back(row + 1);
    }
    QGuiApplication::clipboard()->setText(RecordsToTabText(selected, serials));
}

void CRecordDlg::OnExportCsv() {
    if (m_model->rowCount() == 0) {
        return;
    }
    const QString path =
        m_chooseFile(this, ExportDialogSettings(kExportCsvTitle, QStringLiteral("CSV 文件(*.csv)"),
                                                QStringLiteral("csv")));
    if (path.isEmpty()) {
        return;
    }
    if (!WriteWholeFile(path, RecordsToCsv(ListedRecords()))) {
        ShowMessageBox(this, records::kSaveFileErrorText);
    }
}

void CRecordDlg::OnExportComtrade() {
    if (m_model->rowCount() == 0) {
        return;
    }
    const ComtradeFiles files = RecordsToComtrade(ListedRecords(), g_variant);
    if (files.samples == 0) {
        ShowMessageBox(this, kNoTimedRecordsText);
        return;
    }
    const QString path = m_chooseFile(
        this, ExportDialogSettings(kExportComtradeTitle, QStringLiteral("COMTRADE 文件(*.cfg)"),
                                   QStringLiteral("cfg")));
    if (path.isEmpty()) {
        return;
    }
    if (!WriteComtradeFiles(path, files)) {
        ShowMessageBox(this, records::kSaveFileErrorText);
        return;
    }
    if (files.skipped > 0) {
        ShowMessageBox(this, kSkippedRecordsText.arg(files.skipped));
    }
}

void CRecordDlg::OnGraphOfList() {
    if (!m_listGraphHandler || m_model->rowCount() == 0 || !m_graphButton->isEnabled()) {
        return;
    }
    const std::vector<EventRecord> rows = ListedRecords();
    m_store.Close();
    m_listGraphHandler(this, rows);
    ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant));
}

// --- Event log exchange ----------------------------------------------------------------------

void CRecordDlg::OnReadLog() {
    if (Busy()) {
        return;  // one request at a time
    }
    // Records read with nowhere to store them would be lost: try the connection again first.
    if (!m_store.IsConnected() &&
        !ShowingStoreErrors(this, m_store, m_store.ConnectWorking(g_variant))) {
        return;
    }
    EnableButtons(false);
    StopRunDown();
    m_readErrors.emplace(m_store);
    // A fresh range: the bounds of an earlier read or clear would show a negative percentage
    // until the count frame arrives.
    m_progress->SetRange(0, 100);
    m_progress->SetPos(0);
    m_progress->SetShowText(true);
    m_device.SetVariant(g_variant);
    m_exchange.pending = ReadLogCommand(g_variant);
    m_recordCounter = 0;
    m_logRead.Start();
}

void CRecordDlg::OnClearLog() {
    if (Busy()) {
        return;
    }
    if (ShowMessageBox(this, records::kClearQuestionText, records::kClearCaption,
                       QMessageBox::Yes | QMessageBox::No,
                       QMessageBox::Question) != QMessageBox::Yes) {
        return;
    }
    StopRunDown();
    const int variant = g_variant;
    m_device.SetVariant(variant);
    m_exchange.pending = records::kClearLogCommand;
    EnableButtons(false);
    // What was read and not saved is kept before the device forgets it; without that copy
    // nothing is cleared. The journal entry is committed once the copy exists, before the clear
    // goes out.
    m_logClear.Start([this, variant] {
        const ArchiveResult archive = ArchiveTemp(m_store, variant);
        ShowStoreErrors(this, archive.errors);
        if (archive.ok) {
            m_journal.Begin(journal::LogClear(PortDeviceName(m_portNumber), variant, archive.path,
                                              archive.records, ClearLogRequest(variant)));
        }
        return archive.ok;
    });
    if (m_logClear.Busy()) {
        m_progress->SetPos(0);
    }
}

void CRecordDlg::OnLogReadFinished(const LogReadResult& result) {
    m_exchange.pending.clear();
    m_readErrors.reset();
    FillListFromTable(true);
    m_progress->SetShowText(false);
    switch (result.end) {
        case records::LogReadEnd::Complete:
            m_progress->SetPos(0);
            ShowMessageBox(this, records::kReadDoneText);
            break;
        case records::LogReadEnd::Empty:
            ShowMessageBox(this, records::kNoRecordsText);
            break;
        case records::LogReadEnd::Failed:
            ShowMessageBox(this, LogReadFailureText(result));
            break;
        case records::LogReadEnd::Cancelled:
            break;
    }
    EnableButtons(true);
}

void CRecordDlg::HandleClearResult(const LogClearResult& result) {
    m_exchange.pending.clear();
    EnableButtons(true);
    if (result.end == records::LogClearEnd::NotKept) {
        return;  // the copy's failure has been shown; nothing was sent
    }
    m_journal.Complete(result.exchange);
    if (result.end != records::LogClearEnd::Cleared) {
        ShowMessageBox(this, ExchangeFailureText(result.exchange));
        return;
    }
    // Emptied only once the device confirms: a clear that failed keeps the records read.
    ShowingStoreErrors(this, m_store, m_store.EmptyTable(records::kTempTable));
    StartRunDown();
    FillListFromTable(true);
    ShowMessageBox(this, records::kClearedText);
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
