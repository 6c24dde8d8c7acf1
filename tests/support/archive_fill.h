#pragma once

#include <QString>

// A fleet archive filled without devices, for benchmarks of what reads it: `devices` devices
// named dev-01, dev-02 ... (odd ones transmitters, even ones receivers, station "站N", channel
// "通道M" shared by each pair), each with `eventsPerDevice` events stored as one read. The log
// alternates a command's start and return a few seconds apart, one pair about every minute,
// from 2026-01-01 on. Empty on success, else what failed.
QString FillArchive(const QString& location, int devices, int eventsPerDevice);
