#include "collector/collector.h"

#include <QHostInfo>
#include <QRegularExpression>

#include <cstdio>

#include "records/record_archive.h"

namespace collector {

namespace {

// Ports this process binds to the fleet's devices, one each, far above the program's 1 and 2.
constexpr int kFirstPortNumber = 1000;
// Between the first polls of two devices: a little apart, so that opening the lines does not
// hold the thread in one piece; no more, since the last device of a fleet starts that many
// spacings late (64 devices at 10 ms were 0.64 s, a sixth of a round at 9600 baud).
constexpr int kStartSpacingMs = 1;
// Failures in a row beyond which the wait stops growing: 2^5 = 32 intervals.
constexpr int kMaxBackOffSteps = 5;

QString OffsetText(const std::optional<qint64>& offsetMs) {
    if (!offsetMs) {
        return QStringLiteral("unknown");
    }
    return QStringLiteral("%1%2 s")
        .arg(*offsetMs >= 0 ? QStringLiteral("+") : QString())
        .arg(static_cast<double>(*offsetMs) / 1000.0, 0, 'f', 1);
}

// A device's name as the start of a file name: letters, digits, '-', '_' and '.' kept, anything
// else (a path separator, a space) as '_'.
QString FilePrefix(const QString& name) {
    static const QRegularExpression other(QStringLiteral("[^\\w.-]"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    return QString(name).replace(other, QStringLiteral("_")) + QLatin1Char('-');
}

// The archive's row of a device as the fleet file names it, of the variant given.
archive::DeviceRow RowOf(const FleetDevice& d, int variant) {
    archive::DeviceRow row;
    row.name = d.name;
    row.station = d.station;
    row.channel = d.channel;
    row.port = d.port;
    row.variant = variant;
    return row;
}

}  // namespace

struct Collector::Slot {
    FleetDevice device;
    std::unique_ptr<DevicePoller> poller;
    QTimer timer;
    int failuresInRow = 0;
    int polls = 0;
    bool leased = false;
    bool clearing = false;
};

Collector::Collector(const Fleet& fleet, archive::ArchiveWriter& archive,
                     const QString& collectorId, QObject* parent)
    : QObject(parent),
      m_fleet(fleet),
      m_archive(archive),
      m_id(collectorId),
      m_host(QHostInfo::localHostName()) {
    m_log = [](const QString& text) {
        const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        std::fflush(stderr);
    };
    m_leaseTimer.setInterval(std::max(100, m_fleet.leaseMs / 3));
    connect(&m_leaseTimer, &QTimer::timeout, this, &Collector::RenewLeases);
}

Collector::~Collector() = default;

// What a poll brought, as the archive took it.
struct Collector::Stored {
    QString parametersError;
    bool parametersChanged = false;
    bool logRead = false;
    archive::StoreResult read;
    QString committed;  // the commit's error
};

bool Collector::Start(QString* error) {
    const QString saved = m_archive.RunAndWait([devices = m_fleet.devices](archive::Archive& a) {
        for (const FleetDevice& d : devices) {
            if (const QString e = a.SaveDevice(RowOf(d, d.variant)); !e.isEmpty()) {
                return d.name + QStringLiteral(": ") + e;
            }
        }
        return QString();
    });
    if (!saved.isEmpty()) {
        *error = saved;
        return false;
    }
    int port = kFirstPortNumber;
    for (const FleetDevice& d : m_fleet.devices) {
        auto slot = std::make_unique<Slot>();
        slot->device = d;
        slot->poller = std::make_unique<DevicePoller>(port++, d.port, d.variant, d.clockSyncMs);
        slot->timer.setSingleShot(true);
        Slot* s = slot.get();
        connect(&slot->timer, &QTimer::timeout, this, [this, s] { PollNow(*s); });
        connect(slot->poller.get(), &DevicePoller::Polled, this,
                [this, s](const PollOutcome& outcome) { OnPolled(*s, outcome); });
        connect(slot->poller.get(), &DevicePoller::ClearFinished, this,
                [this, s](bool ok, const QString& e) { OnCleared(*s, ok, e); });
        connect(slot->poller.get(), &DevicePoller::JournalFailed, this,
                [this, s](const QString& e) {
                    Log(s->device.name + QStringLiteral(": journal of writes not written: ") + e);
                });
        m_slots.push_back(std::move(slot));
    }
    Log(QStringLiteral("collector %1: %2 devices").arg(m_id).arg(m_slots.size()));
    // First polls a little apart: each opens its line, which takes this thread a moment.
    int delay = 0;
    for (auto& slot : m_slots) {
        slot->timer.start(delay);
        delay += kStartSpacingMs;
    }
    m_leaseTimer.start();
    return true;
}

void Collector::PollNow(Slot& slot) {
    if (m_stopping) {
        return;
    }
    Slot* s = &slot;
    // The work runs on the archive's thread: it takes copies, never this object's members.
    m_archive.Post([this, s, name = slot.device.name, id = m_id,
                    ttl = m_fleet.leaseMs](archive::Archive& a) -> archive::ArchiveWriter::Then {
        archive::LeaseResult lease = a.AcquireLease(name, id, ttl);
        return [this, s, lease](const QString& committed) mutable {
            if (lease.held && !committed.isEmpty()) {
                lease = {committed, false, {}};
            }
            OnLease(*s, lease);
        };
    });
}

void Collector::OnLease(Slot& slot, const archive::LeaseResult& lease) {
    slot.leased = lease.held;
    if (m_stopping) {
        FinishIfIdle();  // gives the lease back
        return;
    }
    if (!lease.held) {
        // Another collector polls it (or the archive is away): look again after the interval.
        if (!lease.error.isEmpty()) {
            Log(slot.device.name + QStringLiteral(": lease: ") + lease.error);
        }
        Done(slot, false, lease.error);
        return;
    }
    slot.poller->Poll();
}

void Collector::OnPolled(Slot& slot, const PollOutcome& o) {
    // Everything a poll brings, in one transaction; the clear goes out only once it is committed.
    archive::DeviceRow row = RowOf(slot.device, o.variant);
    if (o.identity) {
        row.idVersion = o.identity->version;
        row.idDate = o.identity->date;
        row.idChecksum = o.identity->checksum;
    }
    const bool saveDevice = o.identity || o.variant >= 0;
    // What a read brought is stored even when it broke off: the log keeps it, and a later read
    // adds only what lies beyond it.
    const bool logRead = !o.records.empty() || o.complete;
    archive::ReadToStore read;
    if (logRead) {
        read.device = slot.device.name;
        read.collector = m_id;
        read.host = m_host;
        read.started = o.started;
        read.finished = o.finished;
        read.clockOffsetMs = o.clockOffsetMs;
        read.outcome = ResultName(o.result);
        read.complete = o.complete;
        read.records = o.records;
        read.codes = o.codes;
        read.leaseMs = m_fleet.leaseMs;
    }
    Slot* s = &slot;
    // The outcome travels with the work only to come back to the answer (one copy of its records,
    // besides the read's).
    m_archive.Post([this, s, o, row, saveDevice, logRead, read = std::move(read)](
                       archive::Archive& a) mutable -> archive::ArchiveWriter::Then {
        Stored stored;
        if (saveDevice) {
            a.SaveDevice(row);
        }
        if (!o.parameters.isEmpty()) {
            stored.parametersError =
                a.SaveParameterSet(row.name, o.parameters, o.finished, &stored.parametersChanged);
        }
        stored.logRead = logRead;
        if (logRead) {
            stored.read = a.StoreRead(read);
        }
        return [this, s, o = std::move(o), stored](const QString& committed) mutable {
            stored.committed = committed;
            OnStored(*s, o, stored);
        };
    });
}

void Collector::OnStored(Slot& slot, const PollOutcome& o, const Stored& stored) {
    const QString name = slot.device.name;
    if (!o.parameters.isEmpty()) {
        if (!stored.parametersError.isEmpty()) {
            Log(name + QStringLiteral(": parameters not archived: ") + stored.parametersError);
        } else if (stored.parametersChanged && stored.committed.isEmpty()) {
            Log(name + QStringLiteral(": parameter set archived (first seen or changed)"));
        }
    }
    const QString notStored =
        stored.logRead && stored.read.error.isEmpty() ? stored.committed : stored.read.error;
    if (stored.logRead && !notStored.isEmpty()) {
        Log(name + QStringLiteral(": not archived: ") + notStored);
        Done(slot, false, notStored);
        return;
    }
    if (o.result != PollOutcome::Result::Ok) {
        Log(QStringLiteral("%1: %2: %3%4")
                .arg(name, ResultName(o.result), o.error,
                     stored.logRead ? QStringLiteral(" (%1 records read, %2 new archived)")
                                          .arg(o.records.size())
                                          .arg(stored.read.newRecords)
                                    : QString()));
        Done(slot, o.result == PollOutcome::Result::Stopped, o.error);
        return;
    }
    Log(QStringLiteral(
            "%1: %2 records read, %3 new archived (log generation %4), clock offset %5%6")
            .arg(name)
            .arg(o.records.size())
            .arg(stored.read.newRecords)
            .arg(stored.read.generation)
            .arg(OffsetText(o.clockOffsetMs),
                 o.clockSet ? QStringLiteral(", clock set") : QString()));
    if (slot.device.clearAfterArchive && !o.records.empty() && !m_stopping) {
        // The archive holds the records now; the copy the program makes before every clear is
        // the second place. Without both nothing is cleared.
        const ArchiveResult kept =
            KeepRecords(o.records, o.variant,
                        m_fleet.clearCopies.isEmpty() ? ArchiveFolder() : m_fleet.clearCopies,
                        FilePrefix(name));
        if (!kept.ok) {
            const QString why = kept.errors.errors.empty()
                                    ? QStringLiteral("the copy could not be written")
                                    : kept.errors.errors.front().driverText;
            Log(name + QStringLiteral(": not cleared: copy of the log not written: ") + why);
            Done(slot, false, QStringLiteral("not cleared: ") + why);
            return;
        }
        Log(QStringLiteral("%1: log copied to %2 (%3 records)")
                .arg(name, kept.path)
                .arg(kept.records));
        slot.clearing = slot.poller->Clear(kept.path, kept.records);
        if (!slot.clearing) {
            Done(slot, false, QStringLiteral("the clear could not be started"));
        }
        return;
    }
    Done(slot, true, {});
}

void Collector::OnCleared(Slot& slot, bool ok, const QString& error) {
    slot.clearing = false;
    if (!ok) {
        Log(slot.device.name + QStringLiteral(": clear failed: ") + error);
        Done(slot, false, error);
        return;
    }
    Slot* s = &slot;
    m_archive.Post(
        [this, s, name = slot.device.name](archive::Archive& a) -> archive::ArchiveWriter::Then {
            QString marked = a.MarkCleared(name);
            return [this, s, marked](const QString& committed) {
                const QString problem = marked.isEmpty() ? committed : marked;
                Log(s->device.name + (problem.isEmpty()
                                          ? QStringLiteral(": log cleared")
                                          : QStringLiteral(": log cleared, but ") + problem));
                Done(*s, true, {});
            };
        });
}

void Collector::Done(Slot& slot, bool success, const QString& error) {
    ++slot.polls;
    slot.failuresInRow = success ? 0 : slot.failuresInRow + 1;
    // A failing device waits its interval, then two, four ... up to 32; one held by another
    // collector is looked at again after one.
    const int steps = std::min(std::max(0, slot.failuresInRow - 1), kMaxBackOffSteps);
    const qint64 wait = static_cast<qint64>(slot.device.intervalMs) << (slot.leased ? steps : 0);
    const QDateTime next = QDateTime::currentDateTimeUtc().addMSecs(wait);
    if (slot.leased) {
        const std::optional<QDateTime> at =
            success ? std::optional<QDateTime>(QDateTime::currentDateTimeUtc()) : std::nullopt;
        const QString why =
            success ? QString() : (error.isEmpty() ? QStringLiteral("failed") : error);
        m_archive.Post([this, name = slot.device.name, id = m_id, at, why,
                        next](archive::Archive& a) -> archive::ArchiveWriter::Then {
            a.SaveStatus(name, id, at, why, next);
            return [this](const QString&) { FinishIfIdle(); };
        });
        if (!success && slot.failuresInRow > 0) {
            Log(QStringLiteral("%1: next try in %2 s").arg(slot.device.name).arg(wait / 1000.0));
        }
    }
    const bool roundsDone = m_rounds > 0 && slot.polls >= m_rounds;
    if (!m_stopping && !roundsDone) {
        slot.timer.start(static_cast<int>(std::min<qint64>(wait, 0x7fffffff)));
    }
    if (!m_stopping && m_rounds > 0) {
        for (const auto& s : m_slots) {
            if (s->polls < m_rounds) {
                return;
            }
        }
        Stop();
        return;
    }
    FinishIfIdle();
}

void Collector::RenewLeases() {
    std::vector<Slot*> leased;
    std::vector<QString> names;
    for (const auto& slot : m_slots) {
        if (slot->leased) {
            leased.push_back(slot.get());
            names.push_back(slot->device.name);
        }
    }
    if (leased.empty()) {
        return;
    }
    m_archive.Post([this, leased, names, id = m_id,
                    ttl = m_fleet.leaseMs](archive::Archive& a) -> archive::ArchiveWriter::Then {
        std::vector<archive::LeaseResult> leases;
        for (const QString& name : names) {
            leases.push_back(a.AcquireLease(name, id, ttl));
        }
        return [this, leased, leases](const QString& committed) {
            for (std::size_t i = 0; i < leased.size(); ++i) {
                Slot& slot = *leased[i];
                // A slot may have given its lease up meanwhile (the collector stopping).
                if ((leases[i].held && committed.isEmpty()) || !slot.leased) {
                    continue;
                }
                slot.leased = false;
                // Whatever it reads now would be refused by the archive anyway.
                slot.poller->Stop();
                Log(slot.device.name + QStringLiteral(": lease lost") +
                    (leases[i].holder.isEmpty() ? QString()
                                                : QStringLiteral(" to ") + leases[i].holder));
            }
            FinishIfIdle();
        };
    });
}

void Collector::Stop() {
    if (m_stopping) {
        return;
    }
    m_stopping = true;
    for (auto& slot : m_slots) {
        slot->timer.stop();
        slot->poller->Stop();
    }
    FinishIfIdle();
}

void Collector::FinishIfIdle() {
    if (!m_stopping || m_finished || m_archive.Pending() > 0) {
        return;
    }
    for (const auto& slot : m_slots) {
        if (slot->poller->Busy()) {
            return;
        }
    }
    m_finished = true;
    m_leaseTimer.stop();
    std::vector<QString> held;
    for (auto& slot : m_slots) {
        if (slot->leased) {
            held.push_back(slot->device.name);
            slot->leased = false;
        }
    }
    m_archive.Post([this, held, id = m_id](archive::Archive& a) -> archive::ArchiveWriter::Then {
        for (const QString& name : held) {
            a.ReleaseLease(name, id);
        }
        return [this](const QString&) {
            Log(QStringLiteral("collector %1: stopped").arg(m_id));
            emit Finished();
        };
    });
}

}  // namespace collector
