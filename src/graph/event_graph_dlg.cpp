#include "graph/event_graph_dlg.h"

#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "common/dialog_units.h"
#include "common/globals.h"
#include "common/message_box.h"
#include "common/user_settings.h"
#include "graph/read_out.h"
#include "records/record_dlg.h"

namespace {

const QString kTableEmptyText = QStringLiteral("表内数据为空");

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
    : CDialogBase(parent), m_variant(variant == kVariantA ? kVariantA : kVariantB), m_store(this) {
    m_chooseFile = ChooseImportFile;
    BuildLayout();
}

CEventGraphDlg::~CEventGraphDlg() = default;

void CEventGraphDlg::BuildLayout() {
    const VariantLayout& l = LayoutOf(m_variant);
    constexpr DialogUnits du = common::kSystem10Units;
    setObjectName(QStringLiteral("dlg%1").arg(l.resourceId));
    setWindowTitle(QString::fromUtf8(l.title));
    setModal(true);
    setFont(DialogFont());
    setFixedSize(du.size(334, l.height));

    auto* readOutLabel = new QLabel(QStringLiteral("事件发生时间："), this);
    readOutLabel->setGeometry(du.rect(11, 7, l.readOut.x - 11, 8));

    m_readOutBox = new QLineEdit(this);
    m_readOutBox->setObjectName(QStringLiteral("id%1").arg(kIdReadOut));
    m_readOutBox->setGeometry(du.rect(l.readOut.x, l.readOut.y, 179, 12));
    m_readOutBox->setEnabled(false);

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
        if (!text.isEmpty()) {
            auto* label = new QLabel(text, this);
            label->setGeometry(du.rect(2, l.stripY[row], l.stripX - 4, l.stripHeight[row]));
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (hidden) {
                label->hide();
            }
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
    m_store.SetMessageParent(this);
    m_store.ConnectWorking(m_variant);
}

void CEventGraphDlg::OnEndDialog() {
    m_store.Close();
    unsetCursor();
}

void CEventGraphDlg::SetDateRange(const QDate& from, const QDate& to) {
    m_startDate->setDate(from);
    m_endDate->setDate(to);
}

void CEventGraphDlg::OnShowGraph() {
    if (!m_store.IsConnected()) {
        ShowMessageBox(this, records::kWorkingDatabaseConnectFailedText);
        return;
    }
    // The table is read once; a database error has been shown by the store and ends the load.
    std::vector<EventRecord> table;
    if (!m_store.ForEachRow(records::kKpb650Table,
                            [&table](const EventRecord& record) { table.push_back(record); })) {
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
}

void CEventGraphDlg::OnOpenFile() {
    const QString path = m_chooseFile ? m_chooseFile(this) : QString();
    if (path.isEmpty()) {
        return;
    }
    m_store.ImportEventFile(path, this);
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
}

void CEventGraphDlg::MoveCursorTo(int x, bool withDuration) {
    const std::optional<qint64> t = PositionAt(x);
    if (!t) {
        return;
    }
    for (CTraceStrip* strip : m_strips) {
        strip->SetCursorX(x - m_area.left);
    }
    ShowReadOut(ComposeReadOut(m_timeline, *t, withDuration));
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
}

void CEventGraphDlg::Zoom(float step, int column) {
    for (CTraceStrip* strip : m_strips) {
        strip->View().zoomStep = step;
        strip->View().zoomCentre = column;
    }
    RepaintStrips();
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

int RunEventGraphDialog(int variant) {
    if (variant == kVariantB) {
        CReceiverGraphDlg dialog;
        return dialog.exec();
    }
    CTransmitterGraphDlg dialog;
    return dialog.exec();
}

void ConnectEventGraph(CRecordDlg& recordDlg) {
    recordDlg.SetGraphHandler([](QWidget*) { RunEventGraphDialog(g_variant); });
}
