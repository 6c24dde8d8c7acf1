#pragma once

#include <QString>

#include "link/device_exchange.h"
#include "link/exchange.h"

// The event log exchange's constants and rules, apart from the dialog that runs it.

namespace records {

inline const QString kClearLogCommand = QStringLiteral("45");
// Data bytes of every read reply (the count frame's and the record frame's).
inline constexpr int kLogFrameDataBytes = 9;
// How long the line must stay quiet after the end frame (or a count of 0) before the read
// counts, while no reply of the read has shown how the line delivers: twenty byte times at
// 9600 baud, which covers bytes still in a USB adapter's latency timer (16 ms by default).
inline constexpr int kLogQuietMs = 20;
// Records after which the pauses seen inside replies set that quiet instead.
inline constexpr int kRecordsBeforeGapsTell = 4;
// The quiet once pauses were seen: past twice the longest pause per byte inside one reply plus a
// millisecond, 2 to kLogQuietMs ms. A frame taken a byte early (noise before it) has its last
// byte within such a pause; a 255-record read at 9600 baud waits about 4 ms instead of 20.
int LogEndQuietMs(qint64 longestReplyGapNs);

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

namespace records {

enum class LogFrame { Count, Record, End, Malformed };

}  // namespace records

// Bytes of a whole read reply: a variant B leading byte, nine data bytes, the type byte.
int LogReplyLength(int variant);
// What a whole read reply is, by its type byte. The reply to the read request itself can only be
// the count frame (type 0x59); the reply to an acknowledge is a record (type 0x58) or the end of
// the log (type 0x78). Anything else is malformed.
records::LogFrame ClassifyLogReply(const QByteArray& reply, int variant, bool countExpected);
// Whether a well-typed reply also holds what a device logs (a record's date and time possible),
// so that it can be taken without waiting to see whether noise shifted it.
bool LogReplyPlausible(const QByteArray& reply, int variant, bool countExpected);
// The nine data bytes of a whole read reply.
QByteArray LogFrameData(const QByteArray& reply, int variant);
// The count announced by a count frame's data: byte 8.
int CountFromFrame(const QByteArray& data);

// A clear is confirmed by exactly 0x78 (variant A) or by a leading byte and 0x58 (variant B).
int ClearReplyLength(int variant);
bool ClearReplyConfirms(const QByteArray& reply, int variant);

// The log read's requests: the read command and "58" for the count frame (first), then the read
// command and the acknowledge for each further frame. An acknowledge asks for the next record,
// so it is never sent again; a reply that is plausible is taken as soon as it is whole.
//
// `careful`: every reply is judged once the line is quiet, and a burst longer than a frame gives
// its last frame's bytes when they are plausible (noise came in front of the reply). Slower by
// the quiet time per frame; used for a read started again after noise.
ExchangeRequest LogFrameRequest(int variant, bool first, bool careful = false);
// An acknowledge that takes a device to the end of an earlier read: any frame type counts (a
// receiver may begin a new read with it and answer with a count), judged once the line is quiet,
// the last frame of a noisy burst taken.
ExchangeRequest LogDrainRequest(int variant);
// Clears the log: "45", "58"; confirmed as ClearReplyConfirms says.
ExchangeRequest ClearLogRequest(int variant);
