#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "records/event_record.h"

// Records as a COMTRADE record (IEEE Std C37.111-1999, ASCII configuration and data files), for
// fault-analysis tools. The signals of the variant (five for the transmitter, seven for the
// receiver) are status (digital) channels with normal state 0; there are no analog channels. Each
// record with a valid time gives one sample at its time holding every signal's state after it
// (a start text sets its signal, a return text clears it; other texts change nothing). Samples
// are in time order (records of equal time keep their order); the first one's time is the start
// and the trigger time. There is no fixed sample rate (nrates 0, samp 0): the timestamps carry the
// time, counted from the first sample in microseconds times the time multiplier, which is 1 when
// the span fits in the format's ten digits and is raised by powers of ten (1000 first) when not.
struct ComtradeFiles {
    QByteArray cfg;
    QByteArray dat;
    int samples = 0;
    int skipped = 0;  // records without a valid time
};
ComtradeFiles RecordsToComtrade(const std::vector<EventRecord>& records, int variant);

// The data file's path for a configuration file's path: the same name with ".dat".
QString ComtradeDataPath(const QString& cfgPath);

// Writes the configuration file at cfgPath and the data file beside it, each through a temporary
// file renamed into place. False when either cannot be written.
bool WriteComtradeFiles(const QString& cfgPath, const ComtradeFiles& files);

// Writes a whole file through a temporary file renamed into place, so that a failed write leaves
// an existing file as it was.
bool WriteWholeFile(const QString& path, const QByteArray& bytes);
