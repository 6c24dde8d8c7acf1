#pragma once

#include <QString>

class QFileDialog;

namespace common {

// Opens the dialog in the folder it was last left in (RememberedFolder), and remembers the folder
// of the file the user chooses. Call before giving the dialog a file name to propose.
void UseRememberedFolder(QFileDialog& dialog, const QString& dialogKey);

}  // namespace common
