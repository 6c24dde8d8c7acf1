#pragma once

#include <QString>

// Where setting.ini and the record databases live: KP650_HOME when set; else the executable's
// directory when it is writable and not an installation's bin directory; else the per-user
// data directory, created on demand.
// Always ends without a separator.
QString ProgramDirectory();

// Path of a file in ProgramDirectory().
QString ProgramFile(const QString& name);
