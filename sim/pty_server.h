#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <random>

#include "model/device_model.h"
#include "model/sim_options.h"

// Serves a DeviceModel on a pseudo-terminal: raw mode, the slave linked where asked, reply bytes
// paced at the chosen baud rate on an absolute schedule, transport faults (split replies,
// hang-up). One thread, one poll loop; SIGINT and SIGTERM end it cleanly.
class PtyServer {
public:
    PtyServer(sim::DeviceModel& model, const sim::SimOptions& options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pty and makes the link. False with `error` set when either fails.
    bool Open(QString* error);
    QString SlavePath() const { return m_slavePath; }
    // Runs until a signal asks to stop; returns the exit status.
    int Run();

private:
    struct Pending {
        char byte;
        std::int64_t dueNs;
    };

    bool OpenPty(QString* error);
    void ClosePty();
    void HandleInput(std::int64_t nowNs);
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
};
