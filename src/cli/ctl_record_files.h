#pragma once

#include <QString>

#include <functional>

class RecordStore;

namespace cli {

// Writes the rows of TEMP in `store` to `path` as its suffix says (text or database record file,
// CSV, COMTRADE, JSON lines); an exit code. `info` and `error` receive what the user is told.
int WriteRecordFile(RecordStore& store, const QString& path, int variant,
                    const std::function<void(const QString&)>& info,
                    const std::function<void(const QString&)>& error);

}  // namespace cli
