#pragma once

#include <QString>
#include <QTemporaryDir>

// A private PostgreSQL server for a test: initdb and pg_ctl from Debian's server package into a
// temporary folder, listening only on a Unix socket in that folder, stopped and removed when the
// object goes. As root the server runs as the `postgres` user (initdb refuses root).
//
//   PgServer pg; QVERIFY2(pg.Start(), qPrintable(pg.ErrorText()));
//   archive.Open(pg.Url());
class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // `durable` false turns fsync off (tests); benchmarks keep it on.
    bool Start(bool durable = false);
    void Stop();
    // postgresql://kp650@/kp650?host=<socket folder>
    QString Url() const;
    QString ErrorText() const { return m_error; }

private:
    bool Run(const QString& program, const QStringList& args, int timeoutMs);

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_error;
    bool m_running = false;
};
