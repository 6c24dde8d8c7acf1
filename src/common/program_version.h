#pragma once

#include <QString>

// The program's version as the build states it ("1.0"), for files that record what wrote them.
QString ProgramVersion();
