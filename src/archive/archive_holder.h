#pragma once

#include <QObject>

#include "archive/archive.h"

namespace archive {

// Holds an archive for a thread of its own: moved there, so that the archive's connection is
// made, used and closed on that thread.
class ArchiveHolder : public QObject {
public:
    Archive archive;
};

}  // namespace archive
