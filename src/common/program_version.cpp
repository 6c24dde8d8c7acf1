#include "common/program_version.h"

QString ProgramVersion() {
#ifdef KP650_VERSION
    return QStringLiteral(KP650_VERSION);
#else
    return QStringLiteral("unknown");
#endif
}
