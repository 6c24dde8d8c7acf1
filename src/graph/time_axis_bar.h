#pragma once

#include <QWidget>

#include <vector>

#include "graph/time_axis.h"
#include "graph/trace_layout.h"

// The time axis under the strips: the same columns as the strips above it, labelled with the
// wall-clock times of the loaded timeline.
class CTimeAxisBar : public QWidget {
    Q_OBJECT
public:
    explicit CTimeAxisBar(QWidget* parent = nullptr);

    void SetTimeline(std::vector<TimeAnchor> anchors, qint64 end);
    // The scale of the strips (their view and run total); repaints.
    void SetScale(const TraceView& view, qint64 total);
    const AxisLayout& Layout() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    std::vector<TimeAnchor> m_anchors;
    qint64 m_end = 0;
    TraceView m_view;
    qint64 m_total = 0;
    AxisLayout m_layout;
};
