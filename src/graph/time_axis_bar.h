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
    // The strips' view, which must outlive the bar's use of it; the owner calls update() when
    // it changed.
    void SetView(const TraceView* view);
    AxisLayout Layout() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TimeAnchor> m_anchors;
    qint64 m_end = 0;
    const TraceView* m_view = nullptr;
};
