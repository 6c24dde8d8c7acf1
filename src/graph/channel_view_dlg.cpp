#include "graph/channel_view_dlg.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

#include "common/dialog_base.h"
#include "common/file_dialog_folder.h"
#include "common/message_box.h"
#include "records/record_file_read.h"
#include "records/record_store.h"
#include "records/record_time.h"
#include "records/store_messages.h"

namespace {

const QString kTitle = QStringLiteral("通道分析：发信端与收信端");
const QString kNoRecordsText = QStringLiteral("文件中没有记录：");
constexpr int kRowHeight = 40;
constexpr int kCaptionAndAxisHeight = 90;
// The command colours of the event graph, the same command at both ends.
const QColor kCommandColors[channel::kCommandCount] = {QColor(0, 255, 255), QColor(0, 255, 0),
                                                       QColor(153, 50, 204)};
const QColor kLinkColor(255, 255, 255);
const QColor kMissingColor(255, 0, 0);
const QColor kUnwantedColor(255, 140, 0);

}  // namespace

CChannelPlot::CChannelPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, kRowHeight * channel::kRowCount + kCaptionAndAxisHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void CChannelPlot::SetReport(const ChannelReport& report) {
    m_traces = ChannelTracesOf(report);
    m_input.Load(m_traces.end, true);
    Place();
    update();
}

GraphPicture CChannelPlot::Bare() const {
    GraphPicture p;
    p.font = DialogFont();
    // Rows share the height the caption and the axis leave.
    const int rowHeight =
        std::max(kRowHeight, (height() - kCaptionAndAxisHeight) / channel::kRowCount);
    for (int row = 0; row < channel::kRowCount; ++row) {
        const bool received = row >= channel::kCommandCount;
        const int n = row % channel::kCommandCount;
        p.rows.push_back(GraphPictureRow{
            (received ? QStringLiteral("收信 命令%1") : QStringLiteral("发信 命令%1")).arg(n + 1),
            m_traces.rows[static_cast<std::size_t>(row)], kCommandColors[n], rowHeight});
    }
    return p;
}

GraphPicture CChannelPlot::Picture() const {
    GraphPicture p = Bare();
    p.caption = QStringLiteral("通道：发信端时钟 %1 起").arg(ChannelTimeText(m_traces.origin));
    p.view = m_input.View();
    p.anchors = {TimeAnchor{0, m_traces.origin, true}};
    p.end = m_traces.end;
    for (const ChannelTraces::Link& l : m_traces.links) {
        p.links.push_back(GraphPictureLink{l.fromRow, l.from, l.toRow, l.to, kLinkColor});
    }
    for (const ChannelTraces::Mark& m : m_traces.marks) {
        p.marks.push_back(
            GraphPictureMark{m.row, m.at, m.missing ? kMissingColor : kUnwantedColor,
                             m.missing ? QStringLiteral("丢失") : QStringLiteral("误收")});
    }
    return p;
}

void CChannelPlot::Place() {
    // The strips take the widget's width; the input acts on where they are drawn.
    GraphPicture p = Bare();
    p.view.width = GraphPictureStripWidthFor(p, width());
    const QRect strips = GraphPictureStrips(p);
    m_input.SetArea(GraphAreaOf({strips}), strips.width());
}

std::optional<qint64> CChannelPlot::CursorTime() const {
    const std::optional<qint64> t = m_input.CursorPosition();
    return t ? std::optional<qint64>(m_traces.origin + *t) : std::nullopt;
}

void CChannelPlot::Apply(const GraphInput::Outcome& outcome) {
    if (outcome.viewChanged) {
        update();
    }
    if (outcome.readOutAt) {
        emit CursorMoved();
    }
}

void CChannelPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    PaintGraphPicture(painter, Picture());
}

void CChannelPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Place();
}

void CChannelPlot::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        Apply(m_input.LButtonDown(p.x(), p.y()));
        setCursor(Qt::PointingHandCursor);
    } else if (event->button() == Qt::RightButton) {
        Apply(m_input.RButtonDown(p.x(), p.y()));
    }
}

void CChannelPlot::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    Apply(m_input.MouseMove(p.x(), p.y()));
}

void CChannelPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_input.LButtonUp();
        unsetCursor();
    }
}

void CChannelPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        Apply(m_input.LButtonDblClk(p.x(), p.y()));
    }
}

void CChannelPlot::wheelEvent(QWheelEvent* event) {
    const QPoint p = event->position().toPoint();
    Apply(m_input.Wheel(p.x(), p.y(), event->angleDelta().y()));
    event->accept();
}

CChannelViewDlg::CChannelViewDlg(QWidget* parent)
    : QDialog(parent),
      m_exporter(
          this, [this] { return m_plot->Picture(); }, [this] { return SuggestedFileName(); }),
      m_chooseCsv(ChooseExportFile) {
    setObjectName(QStringLiteral("channelView"));
    setWindowTitle(kTitle);
    setFont(DialogFont());
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto* files = new QGridLayout;
    const auto fileRow = [&](int row, const QString& label, const QString& title) {
        auto* edit = new QLineEdit(this);
        auto* choose = new QPushButton(QStringLiteral("选择..."), this);
        choose->setAutoDefault(false);
        connect(choose, &QPushButton::clicked, this,
                [this, edit, title] { ChooseFile(edit, title); });
        files->addWidget(new QLabel(label, this), row, 0);
        files->addWidget(edit, row, 1);
        files->addWidget(choose, row, 2);
        return edit;
    };
    m_txFile = fileRow(0, QStringLiteral("发信端记录文件："), QStringLiteral("选择发信端记录文件"));
    m_rxFile = fileRow(1, QStringLiteral("收信端记录文件："), QStringLiteral("选择收信端记录文件"));
    m_txFile->setObjectName(QStringLiteral("transmitterFile"));
    m_rxFile->setObjectName(QStringLiteral("receiverFile"));

    auto* settings = new QHBoxLayout;
    m_window = new QSpinBox(this);
    m_window->setObjectName(QStringLiteral("window"));
    m_window->setRange(0, 600000);
    m_window->setSuffix(QStringLiteral(" 毫秒"));
    m_window->setValue(static_cast<int>(channel::kDefaultWindowMs));
    m_offset = new QLineEdit(this);
    m_offset->setObjectName(QStringLiteral("offset"));
    m_offset->setPlaceholderText(QStringLiteral("空：由记录估计"));
    m_offset->setToolTip(QStringLiteral("收信端时钟减发信端时钟，毫秒"));
    auto* analyse = new QPushButton(QStringLiteral("分析"), this);
    analyse->setObjectName(QStringLiteral("analyse"));
    analyse->setDefault(true);
    connect(analyse, &QPushButton::clicked, this, &CChannelViewDlg::OnAnalyse);
    settings->addWidget(new QLabel(QStringLiteral("配对窗口 ±"), this));
    settings->addWidget(m_window);
    settings->addSpacing(12);
    settings->addWidget(new QLabel(QStringLiteral("时钟差："), this));
    settings->addWidget(m_offset);
    settings->addWidget(analyse);
    settings->addStretch(1);

    auto* split = new QSplitter(this);
    m_plot = new CChannelPlot(split);
    m_plot->setObjectName(QStringLiteral("channelPlot"));
    m_text = new QPlainTextEdit(split);
    m_text->setObjectName(QStringLiteral("channelReport"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    connect(m_plot, &CChannelPlot::CursorMoved, this, &CChannelViewDlg::ShowCursor);

    m_cursor = new QLabel(this);
    m_cursor->setObjectName(QStringLiteral("cursorTime"));
    m_cursor->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* actions = new QHBoxLayout;
    const auto action = [&](const QString& text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        actions->addWidget(b);
    };
    action(QStringLiteral("导出报告CSV..."), &CChannelViewDlg::OnExportCsv);
    action(QStringLiteral("导出PNG图片..."), [this] { m_exporter.ExportPng(); });
    action(QStringLiteral("导出SVG图片..."), [this] { m_exporter.ExportSvg(); });
    action(QStringLiteral("导出PDF文件..."), [this] { m_exporter.ExportPdf(); });
    actions->addStretch(1);
    action(QStringLiteral("关闭"), &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addLayout(settings);
    layout->addWidget(split, 1);
    layout->addWidget(m_cursor);
    layout->addLayout(actions);
    resize(1100, 560);
}

void CChannelViewDlg::ChooseFile(QLineEdit* edit, const QString& title) {
    QFileDialog dialog(this, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("记录文件(*.mdb *.txt)"), QStringLiteral("所有文件(*)")});
    common::UseRememberedFolder(dialog, QStringLiteral("channel-open"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        edit->setText(dialog.selectedFiles().front());
    }
}

void CChannelViewDlg::SetFiles(const QString& transmitterFile, const QString& receiverFile) {
    m_txFile->setText(transmitterFile);
    m_rxFile->setText(receiverFile);
}

void CChannelViewDlg::OnAnalyse() {
    std::vector<EventRecord> ends[2];
    const QString paths[2] = {m_txFile->text(), m_rxFile->text()};
    for (int i = 0; i < 2; ++i) {
        RecordFileRead read = ReadRecordFile(paths[i]);
        ShowStoreErrors(this, read.errors);
        if (read.records.empty()) {
            if (read.errors.IsEmpty()) {
                ShowMessageBox(this, kNoRecordsText + paths[i]);
            }
            return;
        }
        ends[i] = std::move(read.records);
    }
    Analyse(ends[0], ends[1]);
}

void CChannelViewDlg::Analyse(const std::vector<EventRecord>& transmitter,
                              const std::vector<EventRecord>& receiver) {
    ChannelOptions options;
    options.windowMs = m_window->value();
    bool ok = false;
    const qint64 offset = m_offset->text().trimmed().toLongLong(&ok);
    if (ok) {
        options.offsetMs = offset;
    }
    m_report = PairChannel(transmitter, receiver, options);
    m_text->setPlainText(ChannelReportText(m_report));
    m_plot->SetReport(m_report);
    ShowCursor();
}

QString CChannelViewDlg::ReportText() const {
    return m_text->toPlainText();
}

void CChannelViewDlg::ShowCursor() {
    const std::optional<qint64> t = m_plot->CursorTime();
    m_cursor->setText(t ? QStringLiteral("光标（发信端时钟）：") + ChannelTimeText(*t) : QString());
}

QString CChannelViewDlg::SuggestedFileName() const {
    return QStringLiteral("通道(%1)").arg(ChannelTimeText(m_report.first).left(10));
}

void CChannelViewDlg::OnExportCsv() {
    const QString path = m_chooseCsv ? m_chooseCsv(this, QStringLiteral("导出报告CSV"),
                                                   QStringLiteral("CSV 文件(*.csv)"),
                                                   QStringLiteral("csv"), SuggestedFileName())
                                     : QString();
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ChannelReportCsv(m_report)) < 0 ||
        !file.commit()) {
        ShowMessageBox(this, records::kSaveFileErrorText);
    }
}

void RunChannelViewDialog(QWidget* parent) {
    CChannelViewDlg dialog(parent);
    dialog.exec();
}
