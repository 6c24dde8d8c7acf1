#pragma once

#include <QByteArray>

// A log file of `count` records in the program's text format, with every event text of the
// variant (the empty one included) and numbers across their byte ranges: what the simulator
// serves with --log and what a read must give back byte for byte. With `oddRecords` every eighth
// record holds bytes no clock gives; such a record cannot be told from a shifted one when noise
// comes before it, so runs with noise leave them out.
QByteArray MakeLogFile(int variant, int count, bool oddRecords = true);

// Five records whose third (2024-5-10 08:02:30) has the given millisecond: 120 ends its frame
// in 0x78 (the end frame's type), 88 in 0x58 (a record's); with two noise bytes in front
// (0x10 0x03) the first ten bytes of that burst read as a possible frame of that type.
QByteArray LogWithThirdMillisecond(int variant, int msecond);
