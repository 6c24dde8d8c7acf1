#pragma once

class QWidget;

// Gives the texts of every drop-down list under `dialog` the room they need at the lists' fixed
// sizes: the arrow is drawn narrower, so that the field shows each item whole, without moving or
// resizing any control. Call once the lists exist; the style it sets lives as long as `dialog`.
void FitDropDownTexts(QWidget* dialog);
