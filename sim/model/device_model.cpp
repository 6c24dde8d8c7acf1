#include "model/device_model.h"

#include <QTimeZone>

#include "settings/receiver_codec.h"
#include "settings/transmitter_codec.h"

namespace sim {
namespace {

// Wall-clock fields without a time zone: the device knows no zones or daylight saving, so its
// clock is kept as plain fields on a zone-free scale.
QDateTime Naive(const QDateTime& local) {
    return QDateTime(local.date(), local.time(), QTimeZone::utc());
}

std::uint8_t Byte(const QByteArray& bytes, int index) {
    return static_cast<std::uint8_t>(bytes.at(index));
}

}  // namespace

bool LogRecord::operator==(const LogRecord& o) const {
    return year == o.year && month == o.month && day == o.day && hour == o.hour &&
           minute == o.minute && second == o.second && msecond == o.msecond && code == o.code;
}

DeviceModel::DeviceModel(DeviceVariant variant, ClockSource clock)
    : m_variant(variant), m_clock(std::move(clock)), m_random(m_faults.seed) {
    m_identification = IdentificationDigits(1, 2009, 9, 8, 0xABCD);
    // Until it is set, the device clock shows the host's local time.
    m_clockSet = Naive(HostNow());
    m_hostAtSetMs = HostMs();
    m_parameters = DefaultParameters(variant, variant == DeviceVariant::A ? 200 : 500);
}

std::array<std::uint8_t, 8> DeviceModel::IdentificationDigits(int version, int year, int month,
                                                              int day, std::uint16_t checksum) {
    return {static_cast<std::uint8_t>(version),
            static_cast<std::uint8_t>(year - 2000),
            static_cast<std::uint8_t>(month),
            static_cast<std::uint8_t>(day),
            static_cast<std::uint8_t>((checksum >> 12) & 0xF),
            static_cast<std::uint8_t>((checksum >> 8) & 0xF),
            static_cast<std::uint8_t>((checksum >> 4) & 0xF),
            static_cast<std::uint8_t>(checksum & 0xF)};
}

bool DeviceModel::SetParameters(const QByteArray& frame) {
    if (frame.size() != FrameLength()) {
        return false;
    }
    m_parameters = frame;
    return true;
}

QByteArray DeviceModel::DefaultParameters(DeviceVariant variant, int kHz) {
    // The frame the program would write for this frequency with every list at its default.
    const ParameterCodec& codec =
        variant == DeviceVariant::A ? transmitter::Codec() : receiver::Codec();
    std::vector<int> selections;
    for (const ListSpec& list : codec.lists) {
        selections.push_back(list.defaultIndex);
    }
    const FrameBuild build = codec.buildFrame(QString::number(kHz), selections);
    if (!build.error.isEmpty()) {
        return {};
    }
    return build.frame;
}

QDateTime DeviceModel::HostNow() const {
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

qint64 DeviceModel::HostMs() const {
    // Asked at every log request: the local time's zone look-up (a stat of /etc/localtime each
    // time) is not needed for a distance in milliseconds.
    return m_clock ? m_clock().toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
}

void DeviceModel::SetClock(const TimeFrame& frame) {
    const QDate date(2000 + frame[0], frame[1], frame[2]);
    const QTime time(frame[3], frame[4], frame[5]);
    if (date.isValid() && time.isValid()) {
        m_clockValid = true;
        m_clockSet = QDateTime(date, time, QTimeZone::utc());
        m_hostAtSetMs = HostMs();
    } else {
        // A date the calendar does not know cannot run on; the device shows it as written.
        m_clockValid = false;
        m_frozenClock = frame;
    }
}

TimeFrame DeviceModel::Clock() const {
    if (!m_clockValid) {
        return m_frozenClock;
    }
    const QDateTime now = m_clockSet.addMSecs(HostMs() - m_hostAtSetMs);
    return {static_cast<std::uint8_t>(now.date().year() - 2000),
            static_cast<std::uint8_t>(now.date().month()),
            static_cast<std::uint8_t>(now.date().day()),
            static_cast<std::uint8_t>(now.time().hour()),
            static_cast<std::uint8_t>(now.time().minute()),
            static_cast<std::uint8_t>(now.time().second())};
}

bool DeviceModel::SetLog(std::vector<LogRecord> records) {
    const bool fits = records.size() <= static_cast<size_t>(kMaxLogRecords);
    if (!fits) {
        records.resize(kMaxLogRecords);
    }
    m_log = std::move(records);
    m_readNext = -1;
    return fits;
}

void DeviceModel::SetFaultPlan(const FaultPlan& plan) {
    m_faults = plan;
    m_random.seed(plan.seed);
}

QByteArray DeviceModel::Receive(const QByteArray& bytes) {
    m_input.append(bytes);
    QByteArray out;
    for (;;) {
        const Parse result = ParseOne(&out);
        if (result == Parse::NeedMore) {
            break;
        }
        if (result == Parse::Bad) {
            m_input.remove(0, 1);
        }
    }
    return out;
}

QByteArray DeviceModel::Idle() {
    QByteArray out;
    while (!m_input.isEmpty()) {
        m_input.remove(0, 1);
        out.append(Receive({}));
    }
    return out;
}

DeviceModel::Parse DeviceModel::ParseOne(QByteArray* out) {
    if (m_input.isEmpty()) {
        return Parse::NeedMore;
    }
    const std::uint8_t first = Byte(m_input, 0);
    Command command;
    int length = 2;
    bool forUs = true;
    switch (first) {
        case 0x56:
            command = Command::Identification;
            break;
        case 0x42:
            command = Command::ReadClock;
            break;
        case 0x45:
            command = Command::ClearLog;
            break;
        case 0x43:
            command = Command::WriteClock;
            length = 2 + kTimeFrameLength;
            break;
        case 0x41:
        case 0x46:
        case 0x44: {
            if (m_input.size() < 2) {
                return Parse::NeedMore;
            }
            const std::uint8_t second = Byte(m_input, 1);
            if (second != 0x46 && second != 0x53) {
                return Parse::Bad;
            }
            const DeviceVariant addressed = second == 0x46 ? DeviceVariant::A : DeviceVariant::B;
            forUs = addressed == m_variant;
            if (first == 0x41) {
                command = Command::WriteParameters;
                length = 3 + (addressed == DeviceVariant::A ? kFrameLengthA : kFrameLengthB);
            } else {
                command = first == 0x46 ? Command::ReadParameters : Command::ReadLog;
                length = 3;
            }
            break;
        }
        default:
            return Parse::Bad;
    }
    if (m_input.size() < length) {
        return Parse::NeedMore;
    }
    const std::uint8_t last = Byte(m_input, length - 1);
    const bool ackA = command == Command::ReadLog && Byte(m_input, 1) == 0x46 && last == kAckA;
    if (last != kEndByte && !ackA) {
        return Parse::Bad;
    }
    const QByteArray request = m_input.left(length);
    m_input.remove(0, length);
    if (forUs) {
        out->append(Execute(command, request));
    }
    return Parse::Done;
}

bool DeviceModel::Roll(FaultRate& rate) {
    if (rate.count >= 0) {
        if (rate.count == 0) {
            return false;
        }
        --rate.count;
        return true;
    }
    if (rate.probability <= 0.0) {
        return false;
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < rate.probability;
}

QByteArray DeviceModel::Leading(std::uint8_t commandByte) const {
    // The receiver and the clock replies open with one byte the program sets aside unread; the
    // device echoes the command's first byte there.
    return QByteArray(1, static_cast<char>(commandByte));
}

QByteArray DeviceModel::Execute(Command command, const QByteArray& request) {
    ++m_requests;
    if (Roll(m_faults.silent)) {
        return {};
    }
    if (Roll(m_faults.refuse)) {
        return QByteArray(1, static_cast<char>(kRefusalByte));
    }
    const bool b = m_variant == DeviceVariant::B;
    const QByteArray end(1, static_cast<char>(kEndByte));
    QByteArray reply;
    switch (command) {
        case Command::Identification:
            if (b) {
                reply.append(static_cast<char>(0x56));
            }
            for (std::uint8_t digit : m_identification) {
                reply.append(static_cast<char>(digit));
            }
            reply.append(end);
            break;
        case Command::WriteParameters:
            m_parameters = request.mid(2, FrameLength());
            reply = (b ? Leading(0x41) : QByteArray()) + m_parameters + end;
            break;
        case Command::ReadParameters:
            reply = (b ? Leading(0x46) : QByteArray()) + m_parameters + end;
            break;
        case Command::WriteClock: {
            TimeFrame frame;
            for (int i = 0; i < kTimeFrameLength; ++i) {
                frame[i] = Byte(request, 1 + i);
            }
            SetClock(frame);
            reply = Leading(0x43) + request.mid(1, kTimeFrameLength) + end;
            break;
        }
        case Command::ReadClock: {
            reply = Leading(0x42);
            for (std::uint8_t field : Clock()) {
                reply.append(static_cast<char>(field));
            }
            reply.append(end);
            break;
        }
        case Command::ReadLog:
            reply = (b ? Leading(0x44) : QByteArray()) + LogReply(Byte(request, 2) == kAckA);
            break;
        case Command::ClearLog:
            m_log.clear();
            m_readNext = -1;
            reply = b ? Leading(0x45) + end : QByteArray(1, static_cast<char>(kEndOfLogType));
            break;
    }
    m_lastRequestMs = HostMs();
    return ApplyFaults(command, reply);
}

QByteArray DeviceModel::LogReply(bool acknowledge) {
    QByteArray frame(9, '\0');
    const int count = static_cast<int>(m_log.size());
    bool next = acknowledge;
    if (m_variant == DeviceVariant::B) {
        // "DS" both starts a read and asks for the next record: it is an acknowledge while a
        // read is going on and the program has not left it lying.
        next = m_readNext >= 0 && HostMs() - m_lastRequestMs < kAbandonedReadMs;
    }
    if (!next) {
        frame[8] = static_cast<char>(count);
        frame.append(static_cast<char>(kCountType));
        m_readNext = count > 0 ? 0 : -1;
        return frame;
    }
    if (m_readNext >= 0 && m_readNext < count) {
        const LogRecord& r = m_log[static_cast<size_t>(m_readNext++)];
        frame = QByteArray();
        for (std::uint8_t v : {r.year, r.month, r.day, r.hour, r.minute, r.second}) {
            frame.append(static_cast<char>(v));
        }
        frame.append(static_cast<char>(r.msecond >> 8));
        frame.append(static_cast<char>(r.msecond & 0xFF));
        frame.append(static_cast<char>(r.code));
        frame.append(static_cast<char>(kRecordType));
        return frame;
    }
    m_readNext = -1;
    frame.append(static_cast<char>(kEndOfLogType));
    return frame;
}

QByteArray DeviceModel::ApplyFaults(Command command, QByteArray reply) {
    if (command == Command::WriteParameters && Roll(m_faults.badEcho)) {
        const int first = m_variant == DeviceVariant::B ? 1 : 0;
        const int at = first + std::uniform_int_distribution<int>(0, FrameLength() - 1)(m_random);
        reply[at] = static_cast<char>(reply.at(at) ^ 0x01);
    }
    // Log frames end in a type byte, not a trailer; a wrong one would change their meaning.
    if (command != Command::ReadLog && Roll(m_faults.badTrailer)) {
        reply[reply.size() - 1] = static_cast<char>(0x00);
    }
    if (!m_faults.noise.empty() && !reply.isEmpty()) {
        ReplyKind kind = ReplyKind::Identification;
        switch (command) {
            case Command::Identification:
                kind = ReplyKind::Identification;
                break;
            case Command::ReadParameters:
                kind = ReplyKind::ParametersRead;
                break;
            case Command::WriteParameters:
                kind = ReplyKind::ParametersWrite;
                break;
            case Command::ReadClock:
                kind = ReplyKind::ClockRead;
                break;
            case Command::WriteClock:
                kind = ReplyKind::ClockWrite;
                break;
            case Command::ClearLog:
                kind = ReplyKind::LogClear;
                break;
            case Command::ReadLog: {
                const auto type = static_cast<std::uint8_t>(reply.back());
                kind = type == kCountType      ? ReplyKind::LogCount
                       : type == kEndOfLogType ? ReplyKind::LogEnd
                                               : ReplyKind::LogRecord;
                break;
            }
        }
        const int nth = ++m_repliesOfKind[static_cast<std::size_t>(kind)];
        for (const NoiseBefore& n : m_faults.noise) {
            if (n.kind == kind && n.nth == nth) {
                reply.prepend(n.bytes);
            }
        }
    }
    if (Roll(m_faults.garbage)) {
        const int n = std::uniform_int_distribution<int>(1, 3)(m_random);
        QByteArray noise;
        for (int i = 0; i < n; ++i) {
            noise.append(static_cast<char>(std::uniform_int_distribution<int>(0, 255)(m_random)));
        }
        reply.prepend(noise);
    }
    return reply;
}

}  // namespace sim
