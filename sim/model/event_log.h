#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

#include "model/device_model.h"

// Event logs for the simulated device: made up (plausible command and alarm pairs), or taken
// from a text record file as the program saves it.
namespace sim {

// The event text of a code in the variant's numbering: "" for an unused code below 22,
// "事件代码错误!" from 22 on.
QString EventText(DeviceVariant variant, int code);
// The code the device logs for a text; -1 for a text that no code has. The empty text gives the
// first unused code, "事件代码错误!" gives 22.
int EventCode(DeviceVariant variant, const QString& text);

// `count` records (at most kMaxLogRecords) from `start` on: commands 1 to 3 starting and
// returning, alarms rising and returning, time stamps increasing, every few pairs one that
// spans midnight. The same seed gives the same log.
std::vector<LogRecord> GenerateLog(DeviceVariant variant, int count, std::uint32_t seed,
                                   const QDateTime& start);

// A text record file (GBK, one record per line: serial, year, month, day, hour, minute, second,
// millisecond, event text, separated by blanks). Blank lines and a line that does not begin with
// a number (a heading) are skipped. False with a message naming the line for anything else.
bool ParseRecordText(DeviceVariant variant, const QByteArray& fileBytes,
                     std::vector<LogRecord>* records, QString* error);

}  // namespace sim
