#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "graph/channel_traces.h"
#include "graph/graph_export.h"
#include "graph/graph_input.h"
#include "records/channel_pairing.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

// The picture of a channel: the sent and received commands on one time axis, linked and marked,
// with zoom (double click, right click, wheel), pan (drag) and a cursor as the event graph has.
class CChannelPlot : public QWidget {
    Q_OBJECT
public:
    explicit CChannelPlot(QWidget* parent = nullptr);

    void SetReport(const ChannelReport& report);
    GraphPicture Picture() const;
    const GraphInput& Input() const { return m_input; }
    // Wall-clock time (transmitter clock) under the cursor, once placed on the data.
    std::optional<qint64> CursorTime() const;

    void SetThrottleClock(InputThrottle::Clock clock) {
        m_input.SetThrottleClock(std::move(clock));
    }

signals:
    void CursorMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    GraphPicture Bare() const;
    void Place();
    void Apply(const GraphInput::Outcome& outcome);

    ChannelTraces m_traces;
    GraphInput m_input;
};

// The channel view: choose the transmitter's and the receiver's record files, the window and
// (optionally) the clock offset; the picture beside the report, exports of both.
class CChannelViewDlg : public QDialog {
    Q_OBJECT
public:
    explicit CChannelViewDlg(QWidget* parent = nullptr);

    // Analyses these records at once (the files' paths are shown as given).
    void Analyse(const std::vector<EventRecord>& transmitter,
                 const std::vector<EventRecord>& receiver);
    void SetFiles(const QString& transmitterFile, const QString& receiverFile);
    void OnAnalyse();
    void OnExportCsv();

    const ChannelReport& Report() const { return m_report; }
    QString ReportText() const;
    CChannelPlot* Plot() const { return m_plot; }
    GraphExporter& Exporter() { return m_exporter; }
    // The save-file dialog of the CSV export (as the picture's).
    void SetCsvFileChooser(GraphExporter::FileChooser chooser) { m_chooseCsv = std::move(chooser); }

private:
    QString SuggestedFileName() const;
    void ChooseFile(QLineEdit* edit, const QString& title);
    void ShowCursor();

    ChannelReport m_report;
    CChannelPlot* m_plot = nullptr;
    QPlainTextEdit* m_text = nullptr;
    QLineEdit* m_txFile = nullptr;
    QLineEdit* m_rxFile = nullptr;
    QSpinBox* m_window = nullptr;
    QLineEdit* m_offset = nullptr;
    QLabel* m_cursor = nullptr;
    GraphExporter m_exporter;
    GraphExporter::FileChooser m_chooseCsv;
};

// Runs the channel view modally.
void RunChannelViewDialog(QWidget* parent);
