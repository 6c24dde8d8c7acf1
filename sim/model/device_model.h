#pragma once

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// The device side of the serial protocol, without any I/O: bytes the program sent go in
// (in any chunking), reply bytes come out. kp650-sim puts it behind a pseudo-terminal; unit
// tests feed it directly.
//
// Requests are found by command code and known length, never by looking for the end byte,
// since parameter and time frames may hold 0x58 themselves. A byte that cannot start a
// request, or a request whose last byte is not the expected end byte, costs one byte: the
// model drops it and looks again from the next one. A request meant for the other variant
// ("AS" sent to a transmitter, "DF" to a receiver, ...) is taken off the line whole and not
// answered, as a device that does not know the command stays silent.
namespace sim {

enum class DeviceVariant { A, B };  // A transmitter KPA-650, B receiver KPB-650

inline constexpr std::uint8_t kEndByte = 0x58;
inline constexpr std::uint8_t kRefusalByte = 0x5A;
inline constexpr std::uint8_t kAckA = 0x78;  // variant A: acknowledge of a record; end-of-log type
inline constexpr std::uint8_t kCountType = 0x59;
inline constexpr std::uint8_t kEndOfLogType = 0x78;
inline constexpr std::uint8_t kRecordType = 0x58;
inline constexpr int kFrameLengthA = 70;
inline constexpr int kFrameLengthB = 17;
inline constexpr int kTimeFrameLength = 6;
inline constexpr int kMaxLogRecords = 255;  // the count frame has one byte

// One entry of the device log, as the device keeps it: raw bytes, year within the century.
struct LogRecord {
    std::uint8_t year = 0;  // year - 2000
    std::uint8_t month = 1;
    std::uint8_t day = 1;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    std::uint16_t msecond = 0;
    std::uint8_t code = 0;
    bool operator==(const LogRecord& o) const;
};

// The six bytes of the time frame: year within the century, month, day, hour, minute, second.
using TimeFrame = std::array<std::uint8_t, kTimeFrameLength>;

enum class Command {
    Identification,
    WriteParameters,
    ReadParameters,
    WriteClock,
    ReadClock,
    ReadLog,
    ClearLog
};

// Faults the model puts into its own replies. Each is off, on for every request, on for the
// first `count` requests it applies to, or on with a probability per request (seeded, so a run
// can be repeated).
struct FaultRate {
    double probability = 0.0;  // used when count < 0
    int count = -1;            // >= 0: the first `count` applicable requests, then never
    bool Enabled() const { return count > 0 || (count < 0 && probability > 0.0); }
};

// The kinds of reply a device sends, for noise placed before the Nth reply of one kind.
enum class ReplyKind {
    Identification,
    ParametersRead,
    ParametersWrite,
    ClockRead,
    ClockWrite,
    LogCount,
    LogRecord,
    LogEnd,
    LogClear
};

// Exact bytes sent before the `nth` reply (from 1) of a kind, counted over the device's life.
struct NoiseBefore {
    ReplyKind kind = ReplyKind::Identification;
    int nth = 1;
    QByteArray bytes;
};

struct FaultPlan {
    FaultRate refuse;      // a lone 0x5A instead of the reply; the request is not carried out
    FaultRate silent;      // no reply at all; the request is not carried out
    FaultRate badTrailer;  // last byte of the reply is not 0x58 (not for log frames)
    FaultRate badEcho;     // one byte of a parameter write's echo differs (device keeps the frame)
    FaultRate garbage;     // one to three random bytes go out before the reply
    std::vector<NoiseBefore> noise;
    std::uint32_t seed = 1;
};

class DeviceModel {
public:
    // Host clock, local time; the device clock runs on from the time written, with it.
    using ClockSource = std::function<QDateTime()>;

    explicit DeviceModel(DeviceVariant variant, ClockSource clock = {});

    DeviceVariant Variant() const { return m_variant; }

    // d0..d7 as sent: version, year - 2000, month, day, checksum digits (most significant first).
    // Each is meant to be 0..0xF; bigger values go out as they are.
    void SetIdentification(const std::array<std::uint8_t, 8>& digits) { m_identification = digits; }
    const std::array<std::uint8_t, 8>& Identification() const { return m_identification; }
    // Digits for a version, a date and a 16-bit checksum.
    static std::array<std::uint8_t, 8> IdentificationDigits(int version, int year, int month,
                                                            int day, std::uint16_t checksum);

    // The stored parameter frame (70 bytes for A, 17 for B). A frame of another length is refused.
    bool SetParameters(const QByteArray& frame);
    const QByteArray& Parameters() const { return m_parameters; }
    int FrameLength() const {
        return m_variant == DeviceVariant::A ? kFrameLengthA : kFrameLengthB;
    }
    // A device set to `kHz` with the lists at their defaults; empty for a frequency the
    // parameter dialog would refuse.
    static QByteArray DefaultParameters(DeviceVariant variant, int kHz);

    // Sets the device clock (as a clock write does) and reads it as it runs on.
    void SetClock(const TimeFrame& frame);
    TimeFrame Clock() const;

    // At most kMaxLogRecords are kept; the rest are dropped (false).
    bool SetLog(std::vector<LogRecord> records);
    const std::vector<LogRecord>& Log() const { return m_log; }
    bool ReadInProgress() const { return m_readNext >= 0; }

    void SetFaultPlan(const FaultPlan& plan);

    // Bytes from the line; returns the reply bytes for every request completed by them.
    QByteArray Receive(const QByteArray& bytes);
    // The line has been quiet for a while: what is left is no complete request and nothing more
    // of it is coming. Drops it byte by byte, answering any request found behind the first byte.
    QByteArray Idle();
    // Bytes received but not yet part of a complete request.
    int PendingBytes() const { return static_cast<int>(m_input.size()); }
    // Number of requests carried out (or refused, or ignored through a fault) so far.
    int RequestCount() const { return m_requests; }

    // A variant B read that saw no request for this long is abandoned, so a fresh "DS" starts a
    // new read rather than continuing one the program gave up on.
    static constexpr qint64 kAbandonedReadMs = 10000;

private:
    enum class Parse { Done, NeedMore, Bad };
    Parse ParseOne(QByteArray* out);
    QByteArray Execute(Command command, const QByteArray& request);
    QByteArray LogReply(bool acknowledge);
    QByteArray Leading(std::uint8_t commandByte) const;
    QDateTime HostNow() const;
    qint64 HostMs() const;
    bool Roll(FaultRate& rate);
    QByteArray ApplyFaults(Command command, QByteArray reply);

    DeviceVariant m_variant;
    ClockSource m_clock;
    std::array<std::uint8_t, 8> m_identification{};
    QByteArray m_parameters;
    // Device time = the time written + the host's real time elapsed since, while the written time
    // is a valid date; otherwise the written bytes stand still.
    QDateTime m_clockSet;
    qint64 m_hostAtSetMs = 0;
    bool m_clockValid = true;
    TimeFrame m_frozenClock{};
    std::vector<LogRecord> m_log;
    int m_readNext = -1;  // index of the next record to send; -1 when no read is going on
    qint64 m_lastRequestMs = 0;
    QByteArray m_input;
    FaultPlan m_faults;
    std::array<int, 9> m_repliesOfKind{};  // replies sent so far, by ReplyKind
    std::mt19937 m_random;
    int m_requests = 0;
};

}  // namespace sim
