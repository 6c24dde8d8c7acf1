#include "graph/event_graph_dlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

#include "common/dialog_units.h"
#include "common/file_dialog_folder.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "graph/graph_frame.h"
#include "graph/read_out.h"
#include "graph/time_axis_bar.h"
#include "records/record_dlg.h"
#include "records/store_messages.h"

namespace {

const QString kTableEmptyText = QStringLiteral("表内数据为空");

// Beyond the fixed dialog: the context menu, the action row and the status text.
const QString kAllDatesText = QStringLiteral("全部");
const QString kAllDatesTip = QStringLiteral("把起始和终止日期设为数据的日期范围并显示");
const QString kShowEverythingText = QStringLiteral("显示整个时间轴");
const QString kExportPngText = QStringLiteral("导出PNG图片...");
const QString kExportSvgText = QStringLiteral("导出SVG图片...");
const QString kExportPdfText = QStringLiteral("导出PDF文件...");
const QString kPrintText = QStringLiteral("打印...");
const QString kPrintErrorText = QStringLiteral("打印出错！");
const QString kHighSignalsText = QStringLiteral("为高的信号：");
const QString kNoHighSignalText = QStringLiteral("无");
const QString kRangeJoinText = QStringLiteral(" 至 ");

struct Place {
    int x;
    int y;
};

// Positions in dialog units of the controls that differ between the variants.
struct VariantLayout {
    int resourceId;
    const char* title;
    int height;
    int stripX;
    Place readOut;
    std::array<int, graph::kTraceCount> stripY;
    std::array<int, graph::kTraceCount> stripHeight;
    int hiddenRows;  // trailing rows without a signal
    Place cursorLeft;
    Place cursorRight;
    Place zoomIn;
    Place zoomOut;
    Place exit;
    Place rangeLabel;
    Place startDate;
    Place endDate;
    Place openFile;
    Place showGraph;
    std::array<const char*, graph::kTraceCount> labels;
};

const VariantLayout kLayoutA = {
    131,
    "KPA-650图形显示",
    184,
    81,
    {81, 3},
    {20, 40, 60, 80, 100, 120, 124},
    {20, 20, 20, 20, 20, 15, 11},
    2,
    {127, 140},
    {169, 140},
    {208, 140},
    {248, 140},
    {288, 140},
    {13, 141},
    {45, 158},
    {137, 158},
    {208, 161},
    {276, 161},
    {"命令1:", "命令2:", "命令3:", "功放过载告警:", "功放过低告警:", "命令持续10秒:", ""},
};

const VariantLayout kLayoutB = {
    140,
    "KPB-650图形显示",
    221,
    78,
    {78, 3},
    {20, 40, 60, 80, 100, 120, 140},
    {20, 20, 20, 20, 20, 20, 21},
    0,
    {124, 171},
    {167, 171},
    {208, 171},
    {249, 171},
    {289, 171},
    {13, 180},
    {45, 193},
    {137, 193},
    {201, 194},
    {274, 194},
    {"命令1:", "命令2:", "命令3:", "信噪比告警:", "信号过高告警:", "通道故障告警:",
     "信号过低告警:"},
};

const VariantLayout& LayoutOf(int variant) {
    return variant == kVariantA ? kLayoutA : kLayoutB;
}

constexpr int kStripWidth = 231;
constexpr int kButtonWidth = 36;
constexpr int kButtonHeight = 14;

QString ChooseExportFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suffix) {
    QString path = QFileDialog::getSaveFileName(parent, title, QString(), filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + suffix;
    }
    return path;
}

bool RunPrintDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString RowName(const char* label) {
    QString name = QString::fromUtf8(label);
    if (name.endsWith(QLatin1Char(':'))) {
        name.chop(1);
    }
    return name;
}

QString ChooseImportFile(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("选择读取文件"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("mdb"));
    dialog.setNameFilter(QStringLiteral("mdb 文件(*.mdb)"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    common::UseRememberedFolder(dialog, QStringLiteral("graph-import"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().front();
}

}  // namespace

const std::array<QColor, graph::kTraceCount> CEventGraphDlg::kTraceColors = {
    QColor(0, 255, 255),   QColor(0, 255, 0), QColor(153, 50, 204), QColor(0, 0, 255),
    QColor(132, 122, 255), QColor(255, 0, 0), QColor(0, 255, 127)};

CEventGraphDlg::CEventGraphDlg(int variant, QWidget* parent)
    : CDialogBase(parent), m_variant(variant == kVariantA ? kVariantA : kVariantB) {
    m_chooseFile = ChooseImportFile;
    m_chooseExport = ChooseExportFile;
    m_printSetup = RunPrintDialog;
    BuildLayout();
    BuildExtras();
}

CEventGraphDlg::~CEventGraphDlg() = default;

void CEventGraphDlg::BuildLayout() {
    const VariantLayout& l = LayoutOf(m_variant);
    constexpr DialogUnits du = common::kSystem10Units;
    setObjectName(QStringLiteral("dlg%1").arg(l.resourceId));
    setWindowTitle(QString::fromUtf8(l.title));
    setModal(true);
    setFont(DialogFont());
    // The first size is the smallest; the dialog can grow and be maximised.
    m_initialSize = du.size(334, l.height);
    setMinimumSize(m_initialSize);
    resize(m_initialSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* readOutLabel = new QLabel(QStringLiteral("事件发生时间："), this);
    readOutLabel->setGeometry(du.rect(11, 7, l.readOut.x - 11, 8));

    // Read-only rather than disabled: the text stays readable and can be selected and copied.
    m_readOutBox = new QLineEdit(this);
    m_readOutBox->setObjectName(QStringLiteral("id%1").arg(kIdReadOut));
    m_readOutBox->setGeometry(du.rect(l.readOut.x, l.readOut.y, 179, 12));
    m_readOutBox->setReadOnly(true);
    m_readOutBox->setFocusPolicy(Qt::ClickFocus);
    m_readOutRect = m_readOutBox->geometry();
    std::vector<QWidget*> fixed = {readOutLabel, m_readOutBox};

    for (int row = 0; row < graph::kTraceCount; ++row) {
        auto* strip = new CTraceStrip(this);
        strip->setObjectName(QStringLiteral("id%1").arg(kStripIds[row]));
        strip->setGeometry(du.rect(l.stripX, l.stripY[row], kStripWidth, l.stripHeight[row]));
        strip->SetTraceColor(kTraceColors[row]);
        m_strips[row] = strip;

        const QString text = QString::fromUtf8(l.labels[row]);
        const bool hidden = row >= graph::kTraceCount - l.hiddenRows;
        if (hidden) {
            strip->hide();
        }
        fixed.push_back(strip);
        QLabel* label = nullptr;
        if (!text.isEmpty()) {
            label = new QLabel(text, this);
            label->setGeometry(du.rect(2, l.stripY[row], l.stripX - 4, l.stripHeight[row]));
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (hidden) {
                label->hide();
            }
            fixed.push_back(label);
        }
        if (!hidden) {
            m_stripsPlaced.push_back(Placed{strip, strip->geometry()});
            m_labelsPlaced.push_back(Placed{label, label ? label->geometry() : QRect()});
        } else {
            m_hiddenPlaced.push_back(Placed{strip, strip->geometry()});
        }
    }

    const auto button = [&](int id, const char* text, Place at, int width, const char* tip) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QStringLiteral("id%1").arg(id));
        b->setGeometry(du.rect(at.x, at.y, width, kButtonHeight));
        b->setAutoDefault(false);
        if (tip != nullptr) {
            b->setToolTip(QString::fromUtf8(tip));
        }
        return b;
    };
    connect(button(kIdCursorLeft, "<----", l.cursorLeft, kButtonWidth, "光标左移"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnCursorLeft);
    connect(button(kIdCursorRight, "---->", l.cursorRight, kButtonWidth, "光标右移"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnCursorRight);
    connect(button(kIdZoomIn, "放大", l.zoomIn, kButtonWidth, "以光标为中心放大"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnZoomIn);
    connect(button(kIdZoomOut, "缩小", l.zoomOut, kButtonWidth, "以光标为中心缩小"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnZoomOut);
    connect(button(2, "退出", l.exit, kButtonWidth, nullptr), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(button(kIdOpenFile, "打开文件", l.openFile, 56, "打开已存储在硬盘上的记录文件"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnOpenFile);
    connect(button(kIdShowGraph, "图形显示", l.showGraph, 56,
                   "以图形方式显示事件，所显示事件的时间段可以在\"起始\"和\"终止\"处设置"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnShowGraph);

    auto* rangeLabel = new QLabel(QStringLiteral("请选择事件的时间范围："), this);
    rangeLabel->setGeometry(du.rect(l.rangeLabel.x, l.rangeLabel.y, 108, 10));

    const auto picker = [&](int id, const char* label, Place at) {
        auto* caption = new QLabel(QString::fromUtf8(label), this);
        caption->setGeometry(du.rect(at.x - 30, at.y + 2, 28, 10));
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* edit = new QDateEdit(QDate::currentDate(), this);
        edit->setObjectName(QStringLiteral("id%1").arg(id));
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
        edit->setGeometry(du.rect(at.x, at.y, 60, kButtonHeight));
        return edit;
    };
    m_startDate = picker(kIdStartDate, "起始：", l.startDate);
    m_endDate = picker(kIdEndDate, "终止：", l.endDate);

    // Everything else lies under the strips and moves down as the dialog grows.
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (std::find(fixed.begin(), fixed.end(), w) == fixed.end()) {
            m_belowPlaced.push_back(Placed{w, w->geometry()});
        }
    }

    // The area follows the strips wherever the layout puts them.
    std::vector<QRect> rects;
    for (CTraceStrip* strip : m_strips) {
        if (!strip->isHidden()) {
            rects.push_back(strip->geometry());
        }
    }
    m_area = GraphAreaOf(rects);
    m_cursorX = m_area.left + m_strips[0]->View().cursorCol;
}

void CEventGraphDlg::OnInitDialog() {
    for (int row = 0; row < graph::kTraceCount; ++row) {
        m_strips[row]->SetTraceColor(kTraceColors[row]);
    }
    m_throttle.Reset();
    ShowingStoreErrors(this, m_store, m_store.ConnectWorking(m_variant));
    if (m_source) {
        OnShowGraph();
    }
}

void CEventGraphDlg::OnEndDialog() {
    m_store.Close();
    unsetCursor();
}

void CEventGraphDlg::SetDateRange(const QDate& from, const QDate& to) {
    m_startDate->setDate(from);
    m_endDate->setDate(to);
}

bool CEventGraphDlg::ReadSource(std::vector<EventRecord>& table) {
    if (m_source) {
        table = *m_source;
        return true;
    }
    if (!m_store.IsConnected()) {
        // The reason the connection failed, in the database's own words.
        const QString reason = m_store.ConnectErrorText();
        ShowMessageBox(this,
                       reason.isEmpty() ? records::kWorkingDatabaseConnectFailedText : reason);
        return false;
    }
    // The table is read once; a database error ends the load.
    return ShowingStoreErrors(
        this, m_store,
        m_store.ForEachRow(records::kKpb650Table,
                           [&table](const EventRecord& record) { table.push_back(record); }));
}

void CEventGraphDlg::OnShowGraph() {
    std::vector<EventRecord> table;
    if (!ReadSource(table)) {
        return;
    }
    if (table.empty()) {
        if (m_variant == kVariantB) {
            ShowMessageBox(this, kTableEmptyText);
        }
        return;
    }
    const QDate from = m_startDate->date();
    const QDate to = m_endDate->date();
    m_timeline = BuildTimeline(table, SignalTableOf(m_variant),
                               DateKey(from.year(), from.month(), from.day()),
                               DateKey(to.year(), to.month(), to.day()));
    for (int row = 0; row < graph::kTraceCount; ++row) {
        TraceData& data = m_strips[row]->Data();
        data.runs = m_timeline.traces[row].runs;
        data.markers = m_timeline.traces[row].markers;
        m_strips[row]->ResetView();
    }
    m_axis->SetTimeline(m_timeline.anchors, m_timeline.end);
    m_cursorPos.reset();
    SetStatusAt(std::nullopt);
    ViewChanged();
}

void CEventGraphDlg::OnOpenFile() {
    const QString path = m_chooseFile ? m_chooseFile(this) : QString();
    if (path.isEmpty()) {
        return;
    }
    // Imported rows are what the next "图形显示" draws, whatever was given before.
    if (ShowingStoreErrors(this, m_store, m_store.ImportEventFile(path))) {
        m_source.reset();
    }
}

qint64 CEventGraphDlg::DrawnTotal() const {
    return m_strips[0]->Layout().total;
}

std::optional<qint64> CEventGraphDlg::PositionAt(int x) const {
    const TraceView& view = m_strips[0]->View();
    return TimelinePositionAt(m_area, x, view.originX, view.pxPerMs, m_timeline.end,
                              m_timeline.loaded);
}

void CEventGraphDlg::ShowReadOut(const QString& text) {
    m_readOut = text;
    m_readOutBox->setText(text);
    // A text wider than the box shows its beginning, where the time is.
    m_readOutBox->setCursorPosition(0);
}

void CEventGraphDlg::MoveCursorTo(int x, bool withDuration) {
    const std::optional<qint64> t = PositionAt(x);
    if (!t) {
        return;
    }
    for (CTraceStrip* strip : m_strips) {
        strip->SetCursorX(x - m_area.left);
    }
    m_cursorPos = *t;
    ShowReadOut(ComposeReadOut(m_timeline, *t, withDuration));
    SetStatusAt(*t);
}

void CEventGraphDlg::OnLButtonDown(int x, int y) {
    m_buttonDown = true;
    if (m_throttle.Ready()) {
        m_dragging = true;
        m_dragAnchorX = x;
        m_cursorX = x;
        if (m_area.Contains(x, y)) {
            MoveCursorTo(x, true);
        }
        m_throttle.Arm();
    }
    ShowHandCursor();
}

void CEventGraphDlg::OnCursorRight() {
    ++m_cursorX;
    MoveCursorTo(m_cursorX, false);
}

void CEventGraphDlg::OnCursorLeft() {
    --m_cursorX;
    MoveCursorTo(m_cursorX, false);
}

void CEventGraphDlg::RepaintStrips() {
    for (int row = 0; row < graph::kTraceCount; ++row) {
        m_strips[row]->SetTraceColor(m_strips[row]->TraceColor());
    }
    ViewChanged();
}

void CEventGraphDlg::Zoom(float step, int column) {
    for (CTraceStrip* strip : m_strips) {
        strip->View().zoomStep = step;
        strip->View().zoomCentre = column;
    }
    RepaintStrips();
    CursorFollowsView();
}

void CEventGraphDlg::CursorFollowsView() {
    // The cursor line keeps its column while the timeline moves under it: from now on it stands
    // for the time now under that column.
    if (m_cursorPos) {
        m_cursorPos = PositionAt(m_area.left + m_strips[0]->View().cursorCol);
    }
}

void CEventGraphDlg::OnRButtonDown(int x, int y) {
    if (!m_throttle.Ready()) {
        return;
    }
    if (m_area.Contains(x, y)) {
        Zoom(-m_strips[0]->View().zoomIncrement, x - m_area.left);
    }
    m_throttle.Arm();
}

void CEventGraphDlg::OnLButtonDblClk(int x, int y) {
    if (!m_throttle.Ready()) {
        return;
    }
    if (m_area.Contains(x, y)) {
        Zoom(m_strips[0]->View().zoomIncrement, x - m_area.left);
    }
    m_throttle.Arm();
}

void CEventGraphDlg::OnZoomIn() {
    if (!m_throttle.Ready()) {
        return;
    }
    if (m_area.ContainsX(m_cursorX)) {
        Zoom(m_strips[0]->View().zoomIncrement, m_cursorX - m_area.left);
    }
    m_throttle.Arm();
}

void CEventGraphDlg::OnZoomOut() {
    if (!m_throttle.Ready()) {
        return;
    }
    if (m_area.ContainsX(m_cursorX)) {
        Zoom(-m_strips[0]->View().zoomIncrement, m_cursorX - m_area.left);
    }
    m_throttle.Arm();
}

void CEventGraphDlg::OnMouseMove(int x, int y) {
    ShowHandCursor();
    if (!m_throttle.Ready()) {
        return;
    }
    m_dragX = x;
    if (m_dragging && m_area.Contains(x, y)) {
        const int d = x - m_dragAnchorX;
        std::vector<int> origins;
        for (CTraceStrip* strip : m_strips) {
            origins.push_back(strip->View().originX);
        }
        if (DragBigEnough(d) && DragAllowed(d, origins, m_strips[0]->View().pxPerMs, DrawnTotal(),
                                            m_area.UsableWidth())) {
            const int origin = m_strips[0]->View().originX;
            for (CTraceStrip* strip : m_strips) {
                strip->View().zoomStep = 0.0f;
                strip->View().panDelta = d;
                strip->View().originX = origin;
            }
            RepaintStrips();
            CursorFollowsView();
            m_dragAnchorX = x;
        }
    }
    m_throttle.Arm();
}

void CEventGraphDlg::OnLButtonUp() {
    m_buttonDown = false;
    m_dragging = false;
    for (CTraceStrip* strip : m_strips) {
        strip->View().panDelta = 0;
    }
    unsetCursor();
}

void CEventGraphDlg::ShowHandCursor() {
    if (m_buttonDown) {
        setCursor(Qt::PointingHandCursor);
    }
}

void CEventGraphDlg::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        OnRButtonDown(p.x(), p.y());
    }
    CDialogBase::mousePressEvent(event);
}

void CEventGraphDlg::mouseMoveEvent(QMouseEvent* event) {
    // Moves arrive only while a button is held: hovering never holds back the next click.
    const QPoint p = event->position().toPoint();
    OnMouseMove(p.x(), p.y());
    CDialogBase::mouseMoveEvent(event);
}

void CEventGraphDlg::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnLButtonUp();
    }
    CDialogBase::mouseReleaseEvent(event);
}

void CEventGraphDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    // The second press of a double click is the double click alone (the base class would
    // replay it as a press and move the cursor again).
    if (event->button() == Qt::LeftButton) {
        OnLButtonDblClk(p.x(), p.y());
    }
    event->accept();
}

CTransmitterGraphDlg::CTransmitterGraphDlg(QWidget* parent) : CEventGraphDlg(kVariantA, parent) {}

CReceiverGraphDlg::CReceiverGraphDlg(QWidget* parent) : CEventGraphDlg(kVariantB, parent) {}

int RunEventGraphDialog(int variant, std::optional<std::vector<EventRecord>> records) {
    std::unique_ptr<CEventGraphDlg> dialog;
    if (variant == kVariantB) {
        dialog = std::make_unique<CReceiverGraphDlg>();
    } else {
        dialog = std::make_unique<CTransmitterGraphDlg>();
    }
    if (records) {
        dialog->SetSourceRecords(std::move(*records));
    }
    return dialog->exec();
}

void ConnectEventGraph(CRecordDlg& recordDlg) {
    recordDlg.SetGraphHandler([](QWidget*) { RunEventGraphDialog(g_variant); });
    recordDlg.SetListGraphHandler([](QWidget*, const std::vector<EventRecord>& records) {
        RunEventGraphDialog(g_variant, records);
    });
}

// --- Beyond the fixed dialog: growing, axis, keys, wheel, status, dates, exports
// ---------------------

void CEventGraphDlg::BuildExtras() {
    m_axis = new CTimeAxisBar(this);
    m_axis->setObjectName(QStringLiteral("timeAxis"));
    m_axis->hide();

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("highSignals"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->hide();

    m_toolRow = new QWidget(this);
    m_toolRow->setObjectName(QStringLiteral("graphActions"));
    auto* row = new QHBoxLayout(m_toolRow);
    row->setContentsMargins(0, 0, 0, 0);
    const auto tool = [&](const QString& text, void (CEventGraphDlg::*slot)()) {
        auto* b = new QPushButton(text, m_toolRow);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    tool(kAllDatesText, &CEventGraphDlg::OnDateRangeAll)->setToolTip(kAllDatesTip);
    tool(kShowEverythingText, &CEventGraphDlg::OnShowEverything);
    tool(kExportPngText, &CEventGraphDlg::OnExportPng);
    tool(kExportSvgText, &CEventGraphDlg::OnExportSvg);
    tool(kExportPdfText, &CEventGraphDlg::OnExportPdf);
    tool(kPrintText, &CEventGraphDlg::OnPrint);
    row->addStretch(1);
    m_toolRow->hide();

    // Keys act on the whole dialog; a focused date picker or read-out box keeps its own arrows.
    const auto key = [this](std::initializer_list<QKeySequence> keys,
                            void (CEventGraphDlg::*slot)()) {
        auto* action = new QAction(this);
        action->setShortcuts(QList<QKeySequence>(keys));
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    key({QKeySequence(Qt::Key_Left)}, &CEventGraphDlg::OnCursorLeft);
    key({QKeySequence(Qt::Key_Right)}, &CEventGraphDlg::OnCursorRight);
    key({QKeySequence(Qt::SHIFT | Qt::Key_Left)}, &CEventGraphDlg::OnCursorEdgeLeft);
    key({QKeySequence(Qt::SHIFT | Qt::Key_Right)}, &CEventGraphDlg::OnCursorEdgeRight);
    key({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
         QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)},
        &CEventGraphDlg::OnZoomIn);
    key({QKeySequence(Qt::Key_Minus), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)},
        &CEventGraphDlg::OnZoomOut);
    key({QKeySequence(Qt::Key_Home)}, &CEventGraphDlg::OnShowEverything);
}

void CEventGraphDlg::resizeEvent(QResizeEvent* event) {
    CDialogBase::resizeEvent(event);
    if (event->oldSize().isValid() && event->oldSize() != event->size()) {
        ApplyFrame();
    }
}

void CEventGraphDlg::ApplyFrame() {
    std::vector<QRect> strips;
    for (const Placed& p : m_stripsPlaced) {
        strips.push_back(p.rect);
    }
    const GraphFrame frame = LayOutGraphFrame(m_initialSize, size(), strips, m_readOutRect);
    for (std::size_t i = 0; i < m_stripsPlaced.size(); ++i) {
        const QRect& r = frame.strips[i];
        m_stripsPlaced[i].widget->setGeometry(r);
        if (QWidget* label = m_labelsPlaced[i].widget) {
            const QRect& l = m_labelsPlaced[i].rect;
            label->setGeometry(l.x(), r.y(), l.width(), r.height());
        }
    }
    // Zoom limits depend on a strip's width: hidden rows keep the shown rows' width so that all
    // seven strips keep one zoom and origin.
    const int dw = frame.strips.front().width() - m_stripsPlaced.front().rect.width();
    for (const Placed& p : m_hiddenPlaced) {
        p.widget->setGeometry(p.rect.adjusted(0, 0, dw, 0));
    }
    for (const Placed& p : m_belowPlaced) {
        p.widget->setGeometry(p.rect.translated(0, frame.belowDy));
    }
    const auto place = [](QWidget* w, const QRect& r) {
        w->setVisible(!r.isEmpty());
        if (!r.isEmpty()) {
            w->setGeometry(r);
        }
    };
    place(m_axis, frame.axis);
    place(m_toolRow, frame.toolRow);
    place(m_status, frame.status);

    std::vector<QRect> shown;
    for (const Placed& p : m_stripsPlaced) {
        shown.push_back(p.widget->geometry());
    }
    m_area = GraphAreaOf(shown);
    // A cursor on the data stays on its time; before that it keeps its column.
    if (m_cursorPos) {
        const int column = TimelineX(m_strips[0]->View(), DrawnTotal(), *m_cursorPos);
        for (CTraceStrip* strip : m_strips) {
            strip->SetCursorX(column);
        }
        m_cursorX = m_area.left + column;
    }
    ViewChanged();
}

void CEventGraphDlg::ViewChanged() {
    m_axis->SetScale(m_strips[0]->View(), DrawnTotal());
}

void CEventGraphDlg::SetStatusAt(std::optional<qint64> t) {
    if (!t) {
        m_statusText.clear();
    } else {
        QStringList names;
        const VariantLayout& l = LayoutOf(m_variant);
        for (int row : RowsHighAt(m_timeline.traces, *t)) {
            names << RowName(l.labels[static_cast<std::size_t>(row)]);
        }
        m_statusText =
            kHighSignalsText + (names.isEmpty() ? kNoHighSignalText : names.join(QChar(u'、')));
    }
    m_status->setText(m_statusText);
    m_readOutBox->setToolTip(m_statusText);
}

void CEventGraphDlg::JumpToEdge(bool forward) {
    if (!m_timeline.loaded) {
        return;
    }
    const qint64 from = m_cursorPos ? *m_cursorPos : PositionAt(m_cursorX).value_or(0);
    const std::optional<qint64> edge = NearestEdge(m_timeline.traces, from, forward);
    if (!edge) {
        return;
    }
    const qint64 total = DrawnTotal();
    const int width = m_area.UsableWidth();
    int column = TimelineX(m_strips[0]->View(), total, *edge);
    if (column <= 0 || column >= width) {
        // Bring the edge to the middle, as far as the timeline reaches.
        const TraceView& view = m_strips[0]->View();
        const int lowest = std::min(0, static_cast<int>(width - view.spanPx));
        const int origin = std::clamp(view.originX + width / 2 - column, lowest, 0);
        for (CTraceStrip* strip : m_strips) {
            strip->View().originX = origin;
            strip->View().panDelta = 0;
            strip->View().zoomStep = 0.0f;
        }
        RepaintStrips();
        column = TimelineX(m_strips[0]->View(), total, *edge);
    }
    for (CTraceStrip* strip : m_strips) {
        strip->SetCursorX(column);
    }
    m_cursorX = m_area.left + column;
    m_cursorPos = *edge;
    ShowReadOut(ComposeReadOut(m_timeline, *edge, false));
    SetStatusAt(*edge);
}

void CEventGraphDlg::OnCursorEdgeLeft() {
    JumpToEdge(false);
}

void CEventGraphDlg::OnCursorEdgeRight() {
    JumpToEdge(true);
}

void CEventGraphDlg::OnShowEverything() {
    for (CTraceStrip* strip : m_strips) {
        strip->ResetView();
    }
    if (m_cursorPos) {
        const int column = TimelineX(m_strips[0]->View(), DrawnTotal(), *m_cursorPos);
        for (CTraceStrip* strip : m_strips) {
            strip->SetCursorX(column);
        }
        m_cursorX = m_area.left + column;
    }
    ViewChanged();
}

void CEventGraphDlg::OnWheel(int x, int y, int delta) {
    if (!m_throttle.Ready()) {
        return;
    }
    if (delta != 0 && m_area.Contains(x, y)) {
        const float step = m_strips[0]->View().zoomIncrement;
        Zoom(delta > 0 ? step : -step, x - m_area.left);
    }
    m_throttle.Arm();
}

void CEventGraphDlg::wheelEvent(QWheelEvent* event) {
    const QPoint p = event->position().toPoint();
    OnWheel(p.x(), p.y(), event->angleDelta().y());
    event->accept();
}

void CEventGraphDlg::OnDateRangeAll() {
    std::vector<EventRecord> table;
    if (!ReadSource(table)) {
        return;
    }
    if (const std::optional<DateSpan> span = DateSpanOf(table)) {
        SetDateRange(span->first, span->last);
    }
    OnShowGraph();
}

void CEventGraphDlg::SetSourceRecords(std::vector<EventRecord> records) {
    if (const std::optional<DateSpan> span = DateSpanOf(records)) {
        SetDateRange(span->first, span->last);
    }
    m_source = std::move(records);
}

QMenu* CEventGraphDlg::CreateGraphMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->addAction(kAllDatesText, this, &CEventGraphDlg::OnDateRangeAll)->setToolTip(kAllDatesTip);
    menu->addAction(kShowEverythingText, this, &CEventGraphDlg::OnShowEverything)
        ->setShortcut(QKeySequence(Qt::Key_Home));
    menu->addSeparator();
    menu->addAction(kExportPngText, this, &CEventGraphDlg::OnExportPng);
    menu->addAction(kExportSvgText, this, &CEventGraphDlg::OnExportSvg);
    menu->addAction(kExportPdfText, this, &CEventGraphDlg::OnExportPdf);
    menu->addAction(kPrintText, this, &CEventGraphDlg::OnPrint);
    return menu;
}

void CEventGraphDlg::contextMenuEvent(QContextMenuEvent* event) {
    // A right click on the graph is the zoom-out; the menu lives everywhere else.
    if (event->reason() == QContextMenuEvent::Mouse && m_area.Contains(event->x(), event->y())) {
        event->accept();
        return;
    }
    QMenu* menu = CreateGraphMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

QString CEventGraphDlg::Caption() const {
    const QString format = QStringLiteral("yyyy-MM-dd");
    return QString::fromUtf8(m_variant == kVariantA ? "KPA-650" : "KPB-650") +
           QStringLiteral("  ") + m_startDate->date().toString(format) + kRangeJoinText +
           m_endDate->date().toString(format);
}

GraphPicture CEventGraphDlg::Picture() const {
    GraphPicture picture;
    picture.caption = Caption();
    const VariantLayout& l = LayoutOf(m_variant);
    for (int row = 0; row < graph::kTraceCount; ++row) {
        const CTraceStrip* strip = m_strips[row];
        if (strip->isHidden()) {
            continue;
        }
        picture.rows.push_back(GraphPictureRow{RowName(l.labels[static_cast<std::size_t>(row)]),
                                               strip->Layout(), strip->TraceColor(),
                                               strip->height()});
    }
    picture.stripWidth = m_strips[0]->width();
    picture.anchors = m_timeline.anchors;
    picture.end = m_timeline.end;
    picture.view = m_strips[0]->View();
    picture.total = DrawnTotal();
    picture.font = font();
    return picture;
}

void CEventGraphDlg::ExportPicture(const QString& title, const QString& filter,
                                   const QString& suffix,
                                   bool (*save)(const GraphPicture&, const QString&)) {
    const QString path = m_chooseExport ? m_chooseExport(this, title, filter, suffix) : QString();
    if (path.isEmpty()) {
        return;
    }
    if (!save(Picture(), path)) {
        ShowMessageBox(this, records::kSaveFileErrorText);
    }
}

void CEventGraphDlg::OnExportPng() {
    ExportPicture(QStringLiteral("导出PNG图片"), QStringLiteral("PNG 图片(*.png)"),
                  QStringLiteral("png"), SaveGraphPng);
}

void CEventGraphDlg::OnExportSvg() {
    ExportPicture(QStringLiteral("导出SVG图片"), QStringLiteral("SVG 图片(*.svg)"),
                  QStringLiteral("svg"), SaveGraphSvg);
}

void CEventGraphDlg::OnExportPdf() {
    ExportPicture(QStringLiteral("导出PDF文件"), QStringLiteral("PDF 文件(*.pdf)"),
                  QStringLiteral("pdf"), [](const GraphPicture& picture, const QString& path) {
                      QPrinter printer(QPrinter::HighResolution);
                      printer.setOutputFormat(QPrinter::PdfFormat);
                      printer.setOutputFileName(path);
                      return PrintGraph(picture, printer);
                  });
}

void CEventGraphDlg::OnPrint() {
    QPrinter printer(QPrinter::HighResolution);
    if (!m_printSetup || !m_printSetup(printer, this)) {
        return;
    }
    if (!PrintGraph(Picture(), printer)) {
        ShowMessageBox(this, kPrintErrorText);
    }
}
