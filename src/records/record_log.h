#pragma once

#include <QString>

#include "link/exchange.h"

// The event log exchange's constants and rules, apart from the dialog that runs it.

namespace records {

inline const QString kClearLogCommand = QStringLiteral("45");
// Type bytes of a read reply, as received text.
inline const QString kEndOfLogType = QStringLiteral("78 ");
inline const QString kCountFrameType = QStringLiteral("59 ");
// Data bytes of every read reply (the count frame's and the record frame's).
inline constexpr int kLogFrameDataBytes = 9;

inline const QString kReadDoneText = QStringLiteral("读取记录完毕!");
inline const QString kNoRecordsText = QStringLiteral("装置内无记录!!");
inline const QString kClearedText = QStringLiteral("记录已经清空!");
inline const QString kClearQuestionText = QStringLiteral("确定要清除装置中存储的所有事件吗？");
inline const QString kClearCaption = QStringLiteral("提示");

}  // namespace records

// "44 46" (variant A) or "44 53" (variant B).
QString ReadLogCommand(int variant);
// Acknowledge after a count or record frame: "78" (variant A) or "58" (variant B).
QString AcknowledgeText(int variant);
// Whether a clear reply says the log is gone: variant A the single byte 0x78, variant B a
// leading byte and 0x58. `replyBytes` counts the bytes of the reply so far, whether they came
// in one receive event or several.
bool ClearConfirmed(int variant, const QString& trailer, int replyBytes);
// Reply gathering of the record dialog: variant B sets a leading byte aside; a lone 0x5A at the
// start of a reply is a refusal; nine data bytes; every byte of a clear reply goes to the
// trailer holder; a reply may span receive events.
GatherRules RecordGatherRules(int variant);
// The count announced by a count frame: byte 8 of the gathered data (0 when it is missing).
int CountFromFrame(const QString& buffer);
