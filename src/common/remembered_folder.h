#pragma once

#include <QString>

// File dialogs start where the operator last chose a file for the same purpose, across runs.

// The folder last used for `purpose` when it still exists; else the user's documents folder.
QString RememberedFolder(const QString& purpose);
// Remembers the folder of `chosenFile` for `purpose`; an empty path changes nothing.
void RememberFolder(const QString& purpose, const QString& chosenFile);
