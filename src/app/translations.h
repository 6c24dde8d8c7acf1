#pragma once

#include <QStringList>

class QCoreApplication;

namespace app {

// Qt's own texts (standard buttons, file dialogs, the calendar, serial port errors) in Chinese,
// like the program's, whatever the system's language: Qt's Chinese catalogs, and Chinese as the
// default locale for month and day names. Returns the catalogs that could not be found (Debian
// ships them in qt6-translations-l10n); the program runs on with Qt's English for those.
QStringList LoadChineseTranslations(QCoreApplication& app);

}  // namespace app
