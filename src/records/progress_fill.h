#pragma once

#include <QString>

// Arithmetic of the percentage progress bar, apart from any widget.

// Filled width in pixels of a bar `width` pixels wide: trunc((position - lower) / (upper -
// lower) * width) in floating point. Positions outside the range give widths outside 0..width;
// the painter clamps, the redraw test compares the raw value. An empty or inverted range gives 0.
int ProgressFillWidth(int position, int lower, int upper, int width);

// Text the bar shows: the stored text when it is not empty, else trunc(fraction * 100) as
// "%d%%" (a position past the upper bound shows more than 100%). Empty for an empty range,
// which draws nothing.
QString ProgressText(const QString& stored, int position, int lower, int upper);
