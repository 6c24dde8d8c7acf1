#pragma once

#include <QColor>
#include <QDate>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "common/dialog_base.h"
#include "graph/graph_export.h"
#include "graph/graph_input.h"
#include "graph/graph_picture.h"
#include "graph/timeline.h"
#include "graph/trace_strip.h"
#include "records/record_store.h"

class CRecordDlg;
class CTimeAxisBar;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

// The event graph: the records of a date range drawn as seven parallel on/off traces over one
// time axis, with a cursor read-out, zoom about the cursor or the pointer, and pan by dragging.
// All seven strips share one zoom, pan and cursor. The two variants differ in layout, row labels
// and signals; each reads the KPB650 table of its own variant's working database, or draws the
// records it was given (the record list's).
//
// Beside that, at no cost to the initial look: the dialog can grow (the strips widen and heighten,
// a time axis and a row of actions appear below them, a status text beside the read-out box); the
// wheel zooms about the pointer; keys move the cursor (Shift: to the next edge of any signal),
// zoom (+/-) and show everything (Home); a context menu outside the graph area and the action row
// set the dates to the data's span and export the graph (PNG, SVG, PDF, printer).
//
// The dialog binds pieces that live elsewhere: the variant layout tables
// (graph_variant_layout.h), the input rules and the one view every strip draws
// (graph_input.h), and the exports (graph_export.h).
class CEventGraphDlg : public CDialogBase {
    Q_OBJECT
public:
    enum ControlId {
        kIdReadOut = 1020,
        kIdCursorRight = 1011,
        kIdCursorLeft = 1012,
        kIdZoomIn = 1026,
        kIdZoomOut = 1027,
        kIdStartDate = 1018,
        kIdEndDate = 1019,
        kIdOpenFile = 1003,
        kIdShowGraph = 1050,
    };
    static constexpr std::array<int, graph::kTraceCount> kStripIds = {1000, 1001, 1002, 1004,
                                                                      1005, 1006, 1007};
    static const std::array<QColor, graph::kTraceCount> kTraceColors;

    explicit CEventGraphDlg(int variant, QWidget* parent = nullptr);
    ~CEventGraphDlg() override;

    int Variant() const { return m_variant; }

    // Handlers, public so that the record dialog and tests can drive them.
    void OnShowGraph();
    void OnOpenFile();
    void OnCursorRight();
    void OnCursorLeft();
    void OnZoomIn();
    void OnZoomOut();
    void OnLButtonDown(int x, int y);
    void OnMouseMove(int x, int y);
    void OnLButtonUp();
    void OnRButtonDown(int x, int y);
    void OnLButtonDblClk(int x, int y);

    // Beyond the buttons: Shift+Left/Right, Home, the wheel (delta as the wheel reports it),
    // "全部", and the exports.
    void OnCursorEdgeLeft();
    void OnCursorEdgeRight();
    void OnShowEverything();
    void OnWheel(int x, int y, int delta);
    void OnDateRangeAll();
    void OnExportPng();
    void OnExportSvg();
    void OnExportPdf();
    void OnPrint();

    // Draws these records (in their order) instead of the working KPB650, with the dates set to
    // their span, until a file is imported with "打开文件".
    void SetSourceRecords(std::vector<EventRecord> records);
    bool DrawsSourceRecords() const { return m_source.has_value(); }
    // The context menu of the dialog (its caller owns it).
    QMenu* CreateGraphMenu(QWidget* parent);
    // "<device>  <from> 至 <to>": the caption of exported pictures.
    QString Caption() const;
    // "KPB650(<from>至<to>)": the name the export dialogs suggest.
    QString SuggestedFileName() const;
    GraphPicture Picture() const;
    // Names of the signals high under the cursor, as the status text and tool tip show them.
    QString StatusText() const { return m_statusText; }
    CTimeAxisBar* Axis() const { return m_axis; }
    QSize InitialSize() const { return m_initialSize; }

    // State read by tests and the record dialog.
    CTraceStrip* Strip(int row) const { return m_strips[row]; }
    const TraceView& View() const { return m_input.View(); }
    const Timeline& CurrentTimeline() const { return m_timeline; }
    QString ReadOutText() const { return m_readOut; }
    int CursorX() const { return m_input.CursorX(); }
    bool ButtonDown() const { return m_input.ButtonDown(); }
    bool Dragging() const { return m_input.Dragging(); }
    int DragAnchorX() const { return m_input.DragAnchorX(); }
    GraphArea Area() const { return m_input.Area(); }
    const RecordStore& Store() const { return m_store; }

    void SetDateRange(const QDate& from, const QDate& to);
    // Seams: the clock behind the 50 ms input throttle, and the file-open dialog of the import
    // (returns the chosen path, or an empty text when cancelled).
    void SetThrottleClock(InputThrottle::Clock clock) {
        m_input.SetThrottleClock(std::move(clock));
    }
    void SetOpenFileChooser(std::function<QString(QWidget*)> chooser) {
        m_chooseFile = std::move(chooser);
    }
    // Seams of the exports: the save-file dialog and the print dialog.
    void SetExportFileChooser(GraphExporter::FileChooser chooser) {
        m_exporter.SetFileChooser(std::move(chooser));
    }
    void SetPrintSetup(GraphExporter::PrintSetup setup) {
        m_exporter.SetPrintSetup(std::move(setup));
    }

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildLayout();
    void BuildExtras();
    void ApplyFrame();
    void Apply(const GraphInput::Outcome& outcome);
    void SetStatusAt(std::optional<qint64> t);
    void JumpToEdge(bool forward);
    bool ReadSource(std::vector<EventRecord>& table);
    void ShowReadOut(const QString& text);
    void ShowHandCursor();
    std::vector<QRect> ShownStripRects() const;

    int m_variant;
    RecordStore m_store;
    Timeline m_timeline;
    GraphInput m_input;
    std::function<QString(QWidget*)> m_chooseFile;
    GraphExporter m_exporter;

    std::array<CTraceStrip*, graph::kTraceCount> m_strips{};
    QLineEdit* m_readOutBox = nullptr;
    QDateEdit* m_startDate = nullptr;
    QDateEdit* m_endDate = nullptr;

    // Where the fixed layout puts things, for growing from it.
    struct Placed {
        QWidget* widget;
        QRect rect;
    };
    QSize m_initialSize;
    std::vector<Placed> m_stripsPlaced;  // visible strips
    std::vector<Placed> m_hiddenPlaced;  // rows without a signal: same width, never seen
    std::vector<Placed> m_labelsPlaced;  // their row labels, same order (widget may be null)
    std::vector<Placed> m_belowPlaced;   // everything under the strips
    QRect m_readOutRect;
    CTimeAxisBar* m_axis = nullptr;
    QLabel* m_status = nullptr;
    QWidget* m_toolRow = nullptr;
    QString m_statusText;
    std::optional<std::vector<EventRecord>> m_source;

    QString m_readOut;
};

// Variant A, dialog 131.
class CTransmitterGraphDlg : public CEventGraphDlg {
    Q_OBJECT
public:
    explicit CTransmitterGraphDlg(QWidget* parent = nullptr);
};

// Variant B, dialog 140.
class CReceiverGraphDlg : public CEventGraphDlg {
    Q_OBJECT
public:
    explicit CReceiverGraphDlg(QWidget* parent = nullptr);
};

// Runs the graph dialog of a variant modally, without a parent: the dialog opens the variant's
// working database itself, and draws `records` at once when given. Returns the dialog's result.
int RunEventGraphDialog(int variant,
                        std::optional<std::vector<EventRecord>> records = std::nullopt);

// Makes the record dialog's "图形显示" run the graph of the variant current at the press, and its
// list's "以图形显示列表记录" the same graph over the listed records. The record dialog closes its
// working database around either call and reconnects afterwards.
void ConnectEventGraph(CRecordDlg& recordDlg);
