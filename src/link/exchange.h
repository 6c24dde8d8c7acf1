#pragma once

#include <QString>

namespace comm {

inline const QString kEndByteText = QStringLiteral("58");
inline const QString kConnectionFailedText =
    QStringLiteral("连接失败！请检查连线、串口选择及装置电源！");
inline const QString kCheckConnectionText = QStringLiteral("请检查装置与维护软件连接是否正确!");

}  // namespace comm

// What a dialog shows of its conversation with the device: the command whose reply is awaited
// and the frame of the last write. Each dialog owns its own instance; the bytes themselves are
// gathered and judged by its DeviceExchange.
struct ExchangeState {
    QString pending;  // command whose reply is awaited; empty when idle
    QString endByte = comm::kEndByteText;
    QString frame;  // data frame of the last write, "%02X " per byte

    // What a dialog does when it opens: idle, end byte "58".
    void Open() {
        pending.clear();
        endByte = comm::kEndByteText;
    }
    bool Idle() const { return pending.isEmpty(); }
};
