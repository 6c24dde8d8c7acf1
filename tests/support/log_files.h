#pragma once

#include <QByteArray>

// A log file of `count` records in the program's text format, with every event text of the
// variant (the empty one included) and numbers across their byte ranges: what the simulator
// serves with --log and what a read must give back byte for byte.
QByteArray MakeLogFile(int variant, int count);
