#pragma once

#include <QByteArray>

// A log file of `count` records in the program's text format, with every event text of the
// variant (the empty one included) and numbers across their byte ranges: what the simulator
// serves with --log and what a read must give back byte for byte. With `oddRecords` every eighth
// record holds bytes no clock gives; such a record cannot be told from a shifted one when noise
// comes before it, so runs with noise leave them out.
QByteArray MakeLogFile(int variant, int count, bool oddRecords = true);
