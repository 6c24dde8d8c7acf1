#include "graph/event_graph_dlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
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
#include "graph/graph_variant_layout.h"
#include "graph/read_out.h"
#include "graph/time_axis_bar.h"
#include "records/record_dlg.h"
#include "records/store_messages.h"

namespace {

using graph::LayoutOf;
using graph::Place;
using graph::VariantLayout;

const QString kTableEmptyText = QStringLiteral("表内数据为空");

// Beyond the fixed dialog: the context menu, the action row and the status text.
const QString kAllDatesText = QStringLiteral("全部");
const QString kAllDatesTip = QStringLiteral("把起始和终止日期设为数据的日期范围并显示");
const QString kShowEverythingText = QStringLiteral("显示整个时间轴");
const QString kExportPngText = QStringLiteral("导出PNG图片...");
const QString kExportSvgText = QStringLiteral("导出SVG图片...");
const QString kExportPdfText = QStringLiteral("导出PDF文件...");
const QString kPrintText = QStringLiteral("打印...");
const QString kHighSignalsText = QStringLiteral("为高的信号：");
const QString kNoHighSignalText = QStringLiteral("无");
const QString kDurationText = QStringLiteral("；持续时间:");
const QString kRangeJoinText = QStringLiteral(" 至 ");
// The longest read-out there is: the grown box is made wide enough for it.
const QString kLongestReadOut =
    QStringLiteral("起始时间:2024年12月31日23时59分59秒999毫秒,持续时间:864000000毫秒");

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
    : CDialogBase(parent),
      m_variant(variant == kVariantA ? kVariantA : kVariantB),
      m_exporter(
          this, [this] { return Picture(); }, [this] { return SuggestedFileName(); }) {
    m_chooseFile = ChooseImportFile;
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
    m_readOutBox->setGeometry(du.rect(l.readOut.x, l.readOut.y, graph::kReadOutWidth, 12));
    m_readOutBox->setReadOnly(true);
    m_readOutBox->setFocusPolicy(Qt::ClickFocus);
    m_readOutRect = m_readOutBox->geometry();
    std::vector<QWidget*> fixed = {readOutLabel, m_readOutBox};

    for (int row = 0; row < graph::kTraceCount; ++row) {
        auto* strip = new CTraceStrip(this);
        strip->setObjectName(QStringLiteral("id%1").arg(kStripIds[row]));
        strip->setGeometry(
            du.rect(l.stripX, l.stripY[row], graph::kStripWidth, l.stripHeight[row]));
        strip->SetTraceColor(kTraceColors[row]);
        strip->SetView(&m_input.View());
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
        b->setGeometry(du.rect(at.x, at.y, width, graph::kButtonHeight));
        b->setAutoDefault(false);
        if (tip != nullptr) {
            b->setToolTip(QString::fromUtf8(tip));
        }
        return b;
    };
    connect(button(kIdCursorLeft, "<----", l.cursorLeft, graph::kButtonWidth, "光标左移"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnCursorLeft);
    connect(button(kIdCursorRight, "---->", l.cursorRight, graph::kButtonWidth, "光标右移"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnCursorRight);
    connect(button(kIdZoomIn, "放大", l.zoomIn, graph::kButtonWidth, "以光标为中心放大"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnZoomIn);
    connect(button(kIdZoomOut, "缩小", l.zoomOut, graph::kButtonWidth, "以光标为中心缩小"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnZoomOut);
    connect(button(2, "退出", l.exit, graph::kButtonWidth, nullptr), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(button(kIdOpenFile, "打开文件", l.openFile, graph::kWideButtonWidth,
                   "打开已存储在硬盘上的记录文件"),
            &QPushButton::clicked, this, &CEventGraphDlg::OnOpenFile);
    connect(button(kIdShowGraph, "图形显示", l.showGraph, graph::kWideButtonWidth,
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
        edit->setGeometry(du.rect(at.x, at.y, 60, graph::kButtonHeight));
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
    m_input.SetArea(GraphAreaOf(ShownStripRects()), m_strips[0]->width());
}

std::vector<QRect> CEventGraphDlg::ShownStripRects() const {
    std::vector<QRect> rects;
    for (const Placed& p : m_stripsPlaced) {
        rects.push_back(p.widget->geometry());
    }
    return rects;
}

void CEventGraphDlg::OnInitDialog() {
    for (int row = 0; row < graph::kTraceCount; ++row) {
        m_strips[row]->SetTraceColor(kTraceColors[row]);
    }
    m_input.ResetThrottle();
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
    }
    m_axis->SetTimeline(m_timeline.anchors, m_timeline.end);
    m_input.Load(m_timeline.end, m_timeline.loaded);
    // A new drawing: the old cursor time no longer applies.
    ShowReadOut(QString());
    SetStatusAt(std::nullopt);
    Apply(GraphInput::Outcome{true, std::nullopt, false});
    // The Part's strips are on screen before the handler returns.
    for (CTraceStrip* strip : m_strips) {
        strip->repaint();
    }
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

void CEventGraphDlg::ShowReadOut(const QString& text) {
    m_readOut = text;
    m_readOutBox->setText(text);
    // A text wider than the box shows its beginning, where the time is.
    m_readOutBox->setCursorPosition(0);
}

void CEventGraphDlg::Apply(const GraphInput::Outcome& outcome) {
    if (outcome.viewChanged) {
        for (CTraceStrip* strip : m_strips) {
            strip->update();
        }
        m_axis->update();
    }
    if (outcome.readOutAt) {
        ShowReadOut(ComposeReadOut(m_timeline, *outcome.readOutAt, outcome.withDuration));
        SetStatusAt(outcome.readOutAt);
    }
}

void CEventGraphDlg::OnLButtonDown(int x, int y) {
    Apply(m_input.LButtonDown(x, y));
    ShowHandCursor();
}

void CEventGraphDlg::OnCursorRight() {
    Apply(m_input.CursorRight());
}

void CEventGraphDlg::OnCursorLeft() {
    Apply(m_input.CursorLeft());
}

void CEventGraphDlg::OnRButtonDown(int x, int y) {
    Apply(m_input.RButtonDown(x, y));
}

void CEventGraphDlg::OnLButtonDblClk(int x, int y) {
    Apply(m_input.LButtonDblClk(x, y));
}

void CEventGraphDlg::OnZoomIn() {
    Apply(m_input.ZoomIn());
}

void CEventGraphDlg::OnZoomOut() {
    Apply(m_input.ZoomOut());
}

void CEventGraphDlg::OnMouseMove(int x, int y) {
    ShowHandCursor();
    Apply(m_input.MouseMove(x, y));
}

void CEventGraphDlg::OnLButtonUp() {
    m_input.LButtonUp();
    unsetCursor();
}

void CEventGraphDlg::ShowHandCursor() {
    if (m_input.ButtonDown()) {
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
    m_axis->SetView(&m_input.View());
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
    const QFontMetrics fm(m_readOutBox->font());
    // The text plus the box's frame and inner margins on both sides.
    const int want = fm.horizontalAdvance(kLongestReadOut) +
                     (m_readOutRect.width() - m_readOutBox->contentsRect().width()) + 12;
    const GraphFrame frame = LayOutGraphFrame(m_initialSize, size(), strips, m_readOutRect, want);
    for (std::size_t i = 0; i < m_stripsPlaced.size(); ++i) {
        const QRect& r = frame.strips[i];
        m_stripsPlaced[i].widget->setGeometry(r);
        if (QWidget* label = m_labelsPlaced[i].widget) {
            const QRect& l = m_labelsPlaced[i].rect;
            label->setGeometry(l.x(), r.y(), l.width(), r.height());
        }
    }
    // Hidden rows keep the shown rows' width, as the fixed layout has them.
    const int dw = frame.strips.front().width() - m_stripsPlaced.front().rect.width();
    for (const Placed& p : m_hiddenPlaced) {
        p.widget->setGeometry(p.rect.adjusted(0, 0, dw, 0));
    }
    for (const Placed& p : m_belowPlaced) {
        p.widget->setGeometry(p.rect.translated(0, frame.belowDy));
    }
    m_readOutBox->setGeometry(frame.readOut);
    ShowReadOut(m_readOut);
    const auto place = [](QWidget* w, const QRect& r) {
        w->setVisible(!r.isEmpty());
        if (!r.isEmpty()) {
            w->setGeometry(r);
        }
    };
    place(m_axis, frame.axis);
    place(m_toolRow, frame.toolRow);
    place(m_status, frame.status);

    m_input.SetArea(GraphAreaOf(ShownStripRects()), m_strips[0]->width());
    Apply(GraphInput::Outcome{true, std::nullopt, false});
}

void CEventGraphDlg::SetStatusAt(std::optional<qint64> t) {
    if (!t) {
        m_statusText.clear();
    } else {
        QStringList names;
        const VariantLayout& l = LayoutOf(m_variant);
        for (int row : RowsHighAt(m_timeline.traces, *t)) {
            names << graph::RowName(l, row);
        }
        m_statusText =
            kHighSignalsText + (names.isEmpty() ? kNoHighSignalText : names.join(QChar(u'、')));
        // The read-out's milliseconds of a long period are hard to take in: the status gives
        // them as a clock too.
        const std::optional<qint64> duration = CutDurationAt(m_timeline, *t);
        if (duration && *duration >= 1000) {
            m_statusText += kDurationText + QString::number(*duration) + QStringLiteral("毫秒 (") +
                            DurationClockText(*duration) + QLatin1Char(')');
        }
    }
    m_status->setText(m_statusText);
    m_readOutBox->setToolTip(m_statusText);
}

void CEventGraphDlg::JumpToEdge(bool forward) {
    if (!m_timeline.loaded) {
        return;
    }
    const std::optional<qint64> cursor = m_input.CursorPosition();
    const qint64 from = cursor ? *cursor : m_input.PositionAt(m_input.CursorX()).value_or(0);
    if (const std::optional<qint64> edge = NearestEdge(m_timeline.traces, from, forward)) {
        Apply(m_input.CursorTo(*edge));
    }
}

void CEventGraphDlg::OnCursorEdgeLeft() {
    JumpToEdge(false);
}

void CEventGraphDlg::OnCursorEdgeRight() {
    JumpToEdge(true);
}

void CEventGraphDlg::OnShowEverything() {
    Apply(m_input.ShowEverything());
}

void CEventGraphDlg::OnWheel(int x, int y, int delta) {
    Apply(m_input.Wheel(x, y, delta));
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
    if (event->reason() == QContextMenuEvent::Mouse &&
        m_input.Area().Contains(event->x(), event->y())) {
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

QString CEventGraphDlg::SuggestedFileName() const {
    const QString format = QStringLiteral("yyyy-MM-dd");
    return QString::fromUtf8(m_variant == kVariantA ? "KPA650(" : "KPB650(") +
           m_startDate->date().toString(format) + QStringLiteral("至") +
           m_endDate->date().toString(format) + QLatin1Char(')');
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
        picture.rows.push_back(GraphPictureRow{graph::RowName(l, row), strip->Data(),
                                               strip->TraceColor(), strip->height()});
    }
    picture.view = m_input.View();
    picture.anchors = m_timeline.anchors;
    picture.end = m_timeline.end;
    picture.font = font();
    return picture;
}

void CEventGraphDlg::OnExportPng() {
    m_exporter.ExportPng();
}

void CEventGraphDlg::OnExportSvg() {
    m_exporter.ExportSvg();
}

void CEventGraphDlg::OnExportPdf() {
    m_exporter.ExportPdf();
}

void CEventGraphDlg::OnPrint() {
    m_exporter.Print();
}
