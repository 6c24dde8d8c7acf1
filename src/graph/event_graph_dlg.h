#pragma once

#include <QColor>
#include <QDate>
#include <QString>

#include <array>
#include <functional>

#include "common/dialog_base.h"
#include "graph/graph_area.h"
#include "graph/timeline.h"
#include "graph/trace_strip.h"
#include "records/record_store.h"

class CRecordDlg;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// The event graph: the records of a date range drawn as seven parallel on/off traces over one
// time axis, with a cursor read-out, zoom about the cursor or the pointer, and pan by dragging.
// All seven strips share one zoom, pan and cursor. The two variants differ in layout, row labels
// and signals; each reads the KPB650 table of its own variant's working database.
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

    // State read by tests and the record dialog.
    CTraceStrip* Strip(int row) const { return m_strips[row]; }
    const Timeline& CurrentTimeline() const { return m_timeline; }
    QString ReadOutText() const { return m_readOut; }
    int CursorX() const { return m_cursorX; }
    bool ButtonDown() const { return m_buttonDown; }
    bool Dragging() const { return m_dragging; }
    int DragAnchorX() const { return m_dragAnchorX; }
    GraphArea Area() const { return m_area; }
    const RecordStore& Store() const { return m_store; }

    void SetDateRange(const QDate& from, const QDate& to);
    // Seams: the clock behind the 50 ms input throttle, and the file-open dialog of the import
    // (returns the chosen path, or an empty text when cancelled).
    void SetThrottleClock(InputThrottle::Clock clock) { m_throttle.SetClock(std::move(clock)); }
    void SetOpenFileChooser(std::function<QString(QWidget*)> chooser) {
        m_chooseFile = std::move(chooser);
    }

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void BuildLayout();
    void ShowReadOut(const QString& text);
    void MoveCursorTo(int x, bool withDuration);
    std::optional<qint64> PositionAt(int x) const;
    void Zoom(float step, int column);
    void RepaintStrips();
    void ShowHandCursor();
    qint64 DrawnTotal() const;

    int m_variant;
    RecordStore m_store;
    Timeline m_timeline;
    GraphArea m_area;
    InputThrottle m_throttle;
    std::function<QString(QWidget*)> m_chooseFile;

    std::array<CTraceStrip*, graph::kTraceCount> m_strips{};
    QLineEdit* m_readOutBox = nullptr;
    QDateEdit* m_startDate = nullptr;
    QDateEdit* m_endDate = nullptr;

    QString m_readOut;
    int m_cursorX = 256;
    bool m_buttonDown = false;
    bool m_dragging = false;
    int m_dragAnchorX = 0;
    int m_dragX = 0;
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

// Runs the graph dialog of a variant modally, without a parent and without data: the dialog
// opens the variant's working database itself. Returns the dialog's result.
int RunEventGraphDialog(int variant);

// Makes the record dialog's "图形显示" run the graph of the variant current at the press. The
// record dialog closes its working database around the call and reconnects afterwards.
void ConnectEventGraph(CRecordDlg& recordDlg);
