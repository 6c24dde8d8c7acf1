#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

#include "model/channel_logs.h"
#include "model/device_model.h"
#include "settings/parameter_file.h"

// kp650-sim's command line, parsed without touching the system, so it can be tested.
namespace sim {

struct SimOptions {
    DeviceVariant variant = DeviceVariant::A;
    bool variantGiven = false;  // --variant was on the command line
    QString link;
    int tcpPort = -1;  // also listen on 127.0.0.1 at this port; 0 = any free one; -1 = no TCP
    std::array<std::uint8_t, 8> identification =
        DeviceModel::IdentificationDigits(1, 2009, 9, 8, 0xABCD);
    std::optional<int> frequencyKHz;
    QByteArray parameters;   // a raw frame; wins over frequencyKHz
    QString paramsFile;      // a parameter file to start from (read by ApplyParameterFile)
    QString saveParamsFile;  // where the parameters go as a parameter file on exit
    std::optional<TimeFrame> clock;
    int records = 0;
    QString logFile;
    int baud = 9600;  // 0 = as fast as the line takes them
    FaultPlan faults;
    FaultRate split;          // reply handed out in random chunks with pauses between them
    qint64 hangupAfter = -1;  // reply bytes after which the line is hung up; -1 = never
    std::uint32_t seed = 1;
    bool verbose = false;
    // --channel-logs TX,RX: write a matching pair of text record files for one channel and exit.
    QString channelTxFile;
    QString channelRxFile;
    ChannelPlan channel;
};

enum class ParseOutcome { Run, Help, Error };

// `args` without the program name. Help: `message` holds the help text; Error: what is wrong.
ParseOutcome ParseSimOptions(const QStringList& args, SimOptions* options, QString* message);

// One --fault value: NAME (always), NAME=N (the first N requests), NAME=P with a decimal point
// (probability P per request), hangup-after=N (after N reply bytes).
bool ParseFault(const QString& text, SimOptions* options, QString* error);

// One --noise value: KIND:N:HEX, the bytes HEX (two hex digits each) sent before the Nth reply
// (from 1) of KIND: identification, params-read, params-write, clock-read, clock-write, log-count,
// log-record, log-end, log-clear.
bool ParseNoise(const QString& text, FaultPlan* plan, QString* error);

// Takes a parameter file's content as the initial parameters: its frame, and its variant unless
// --variant chose one, which the file must then match. False with the loader's message otherwise.
bool ApplyParameterFile(const QByteArray& fileBytes, SimOptions* options, QString* error);

// The parameters the device holds as a set read from it at `at`, with its identification
// (WriteParameterSetFile refuses a frame the program could not have written).
ParameterSet DeviceParameterSet(const DeviceModel& model, const QDateTime& at);

}  // namespace sim
