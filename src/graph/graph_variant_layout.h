#pragma once

#include <QString>

#include <array>

#include "graph/timeline.h"

namespace graph {

// Where the graph dialog of each variant puts its controls, in dialog units, and its row names.
struct Place {
    int x;
    int y;
};

struct VariantLayout {
    int resourceId;
    const char* title;
    int height;
    int stripX;
    Place readOut;
    std::array<int, kTraceCount> stripY;
    std::array<int, kTraceCount> stripHeight;
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
    std::array<const char*, kTraceCount> labels;
};

inline constexpr int kDialogWidth = 334;
inline constexpr int kStripWidth = 231;
inline constexpr int kReadOutWidth = 179;
inline constexpr int kButtonWidth = 36;
inline constexpr int kWideButtonWidth = 56;
inline constexpr int kButtonHeight = 14;

const VariantLayout& LayoutOf(int variant);

// A row's label without its colon: the name the status text and pictures use.
QString RowName(const VariantLayout& layout, int row);

}  // namespace graph
