#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <random>

#include "model/device_model.h"
#include "model/sim_options.h"

// Serves a DeviceModel on a pseudo-terminal and, when asked, on a TCP port of 127.0.0.1 (as a
// serial device server's "TCP server" mode would: raw bytes, one connection at a time, the
// newest winning). Raw mode, the pty's slave linked where asked, reply bytes paced at the chosen
// baud rate on an absolute schedule, transport faults (split replies, hang-up). A reply goes
// back on the line its request came from. One thread, one poll loop; SIGINT and SIGTERM end it
// cleanly.
class LineServer {
public:
    LineServer(sim::DeviceModel& model, const sim::SimOptions& options);
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Opens the pty, makes the link and starts listening. False with `error` set when one fails.
    bool Open(QString* error);
    QString SlavePath() const { return m_slavePath; }
    // The TCP port listened on (the one chosen when asked for 0); 0 without --tcp.
    int TcpPort() const { return m_tcpPort; }
    // Runs until a signal asks to stop; returns the exit status.
    int Run();

private:
    // Who a byte is for: the pty, or one TCP connection (numbered from 1 as they are accepted),
    // so a reply to a connection that has gone is dropped instead of reaching its successor.
    static constexpr int kPtyLine = 0;

    struct Pending {
        char byte;
        std::int64_t dueNs;
        int line;
    };

    bool OpenPty(QString* error);
    void ClosePty();
    bool Listen(QString* error);
    void Accept();
    void CloseClient();
    int FdOf(int line) const;
    void HandleInput(int line, std::int64_t nowNs);
    void Queue(const QByteArray& reply, std::int64_t nowNs);
    void WriteDue(std::int64_t nowNs);
    bool Drained() const;
    void HangUp();
    void Trace(const char* direction, const QByteArray& bytes) const;

    sim::DeviceModel& m_model;
    sim::SimOptions m_options;
    int m_master = -1;
    int m_slave = -1;  // held open so the master never sees a hang-up when the program closes
    QString m_slavePath;
    bool m_linked = false;
    int m_listener = -1;
    int m_tcpPort = 0;
    int m_client = -1;
    int m_clientLine = 0;              // line number of m_client
    int m_replyLine = kPtyLine;        // where the last request came from
    int m_hangupLine = kPtyLine;       // the line being hung up
    std::int64_t m_byteNs = 0;         // 10 bit times; 0 = unpaced
    std::int64_t m_inboundDoneNs = 0;  // when the last received byte would have finished arriving
    std::int64_t m_lastDueNs = 0;      // due time of the last byte put on the schedule
    std::int64_t m_lastInputNs = 0;
    std::deque<Pending> m_out;
    qint64 m_bytesWritten = 0;
    bool m_hungUp = false;
    bool m_outputBlocked = false;
    std::int64_t m_hangupDeadlineNs = -1;  // set while the last bytes before a hang-up drain
    std::mt19937 m_random;
    unsigned long m_defaultSlackNs = 0;  // the process's timer slack as started
    unsigned long m_slackNs = 0;         // the timer slack in force
};
