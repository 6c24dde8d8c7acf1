#include "pty_server.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kNsPerMs = 1000000;
// A partial request after this much quiet is given up, so garbage cannot block the line.
constexpr std::int64_t kIdleNs = 300 * kNsPerMs;
// Pause between the pieces of a split reply: long enough that the program reads them apart.
constexpr int kSplitGapMinMs = 15;
constexpr int kSplitGapMaxMs = 40;
// Closing the master throws away what the program has not read yet; a hang-up waits this long
// at most for the last bytes to be taken.
constexpr std::int64_t kHangupDrainNs = 1000 * kNsPerMs;
constexpr std::int64_t kHangupPollNs = 10 * kNsPerMs;

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    const ssize_t ignored = ::write(g_signalPipe[1], &c, 1);
    (void)ignored;
}

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

PtyServer::PtyServer(sim::DeviceModel& model, const sim::SimOptions& options)
    : m_model(model), m_options(options), m_random(options.seed) {
    if (options.baud > 0) {
        m_byteNs = (10LL * 1000000000LL + options.baud / 2) / options.baud;
    }
}

PtyServer::~PtyServer() {
    ClosePty();
    if (m_linked) {
        ::unlink(QFile::encodeName(m_options.link).constData());
    }
}

bool PtyServer::OpenPty(QString* error) {
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("openpty: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    termios raw{};
    tcgetattr(m_slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_slave, TCSANOW, &raw);
    SetNonBlocking(m_master);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_slavePath = QString::fromLocal8Bit(name);
    return true;
}

void PtyServer::ClosePty() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

bool PtyServer::Open(QString* error) {
    if (!OpenPty(error)) {
        return false;
    }
    if (m_options.link.isEmpty()) {
        return true;
    }
    const QByteArray link = QFile::encodeName(m_options.link);
    struct stat st {};
    if (::lstat(link.constData(), &st) == 0) {
        // A link left by a run that was killed is ours to replace; anything else is not.
        if (!S_ISLNK(st.st_mode)) {
            *error = m_options.link + QStringLiteral(" exists and is not a symbolic link");
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(QFile::encodeName(m_slavePath).constData(), link.constData()) != 0) {
        *error =
            m_options.link + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_linked = true;
    return true;
}

void PtyServer::Trace(const char* direction, const QByteArray& bytes) const {
    if (m_options.verbose && !bytes.isEmpty()) {
        std::fprintf(stderr, "%s %s\n", direction, bytes.toHex(' ').toUpper().constData());
    }
}

void PtyServer::HandleInput(std::int64_t nowNs) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        const QByteArray bytes(buffer, static_cast<int>(n));
        Trace("<-", bytes);
        m_lastInputNs = nowNs;
        // On a real line these bytes take their own wire time to arrive; the reply cannot start
        // before the last of them is in.
        m_inboundDoneNs = std::max(m_inboundDoneNs, nowNs) + m_byteNs * n;
        Queue(m_model.Receive(bytes), nowNs);
    }
}

void PtyServer::Queue(const QByteArray& reply, std::int64_t nowNs) {
    if (reply.isEmpty()) {
        return;
    }
    Trace("->", reply);
    // Byte k of a burst is handed over when its stop bit would have arrived: the burst's start
    // (the request fully received) + (k + 1) byte times, on an absolute schedule, so waking late
    // never pushes later bytes back. A reply queued behind another continues that schedule.
    std::int64_t due = std::max(nowNs, m_inboundDoneNs) + m_byteNs;
    due = std::max(due, m_lastDueNs + m_byteNs);
    int pieceLeft = -1;
    const bool split = reply.size() > 1 && [&] {
        sim::FaultRate& r = m_options.split;
        if (r.count >= 0) {
            return r.count > 0 ? (--r.count, true) : false;
        }
        return r.probability > 0 &&
               std::uniform_real_distribution<double>(0, 1)(m_random) < r.probability;
    }();
    if (split) {
        pieceLeft = std::uniform_int_distribution<int>(1, reply.size() - 1)(m_random);
    }
    for (int i = 0; i < reply.size(); ++i) {
        if (split && pieceLeft == 0) {
            due += std::uniform_int_distribution<int>(kSplitGapMinMs, kSplitGapMaxMs)(m_random) *
                   kNsPerMs;
            pieceLeft =
                std::uniform_int_distribution<int>(1, std::max(1, int(reply.size()) - i))(m_random);
        }
        m_out.push_back({reply.at(i), due});
        m_lastDueNs = due;
        due += m_byteNs;
        --pieceLeft;
    }
}

void PtyServer::WriteDue(std::int64_t nowNs) {
    QByteArray burst;
    size_t due = 0;
    while (due < m_out.size() && m_out[due].dueNs <= nowNs) {
        burst.append(m_out[due].byte);
        ++due;
    }
    if (burst.isEmpty()) {
        return;
    }
    bool hangUp = false;
    if (m_options.hangupAfter >= 0 && !m_hungUp &&
        m_bytesWritten + burst.size() >= m_options.hangupAfter) {
        burst.truncate(static_cast<int>(m_options.hangupAfter - m_bytesWritten));
        hangUp = true;
    }
    qsizetype done = 0;
    while (done < burst.size()) {
        const ssize_t n =
            ::write(m_master, burst.constData() + done, static_cast<size_t>(burst.size() - done));
        if (n <= 0) {
            // The line's buffer is full (nobody reads): what is left stays due, and the loop
            // waits until the line takes bytes again instead of spinning.
            break;
        }
        done += n;
    }
    m_outputBlocked = done < burst.size();
    m_bytesWritten += done;
    m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(done));
    if (hangUp && done == burst.size()) {
        m_out.clear();
        m_hangupDeadlineNs = nowNs + kHangupDrainNs;
    }
}

bool PtyServer::Drained() const {
    int waiting = 0;
    return ::ioctl(m_slave, FIONREAD, &waiting) != 0 || waiting == 0;
}

void PtyServer::HangUp() {
    std::fprintf(stderr, "kp650-sim: hanging up after %lld reply bytes\n",
                 static_cast<long long>(m_bytesWritten));
    m_hungUp = true;
    m_hangupDeadlineNs = -1;
    m_outputBlocked = false;
    m_out.clear();
    m_model.Idle();
    ClosePty();
    // The device comes back on a fresh line, as after pulling and plugging the cable: the program
    // can open the port again.
    QString error;
    if (!OpenPty(&error)) {
        std::fprintf(stderr, "kp650-sim: %s\n", qPrintable(error));
        return;
    }
    if (m_linked) {
        const QByteArray link = QFile::encodeName(m_options.link);
        ::unlink(link.constData());
        if (::symlink(QFile::encodeName(m_slavePath).constData(), link.constData()) != 0) {
            m_linked = false;
        }
    }
}

int PtyServer::Run() {
    if (::pipe(g_signalPipe) != 0) {
        std::perror("kp650-sim: pipe");
        return 1;
    }
    SetNonBlocking(g_signalPipe[0]);
    SetNonBlocking(g_signalPipe[1]);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    for (;;) {
        const std::int64_t now = NowNs();
        std::int64_t wakeNs = -1;
        if (!m_out.empty() && !m_outputBlocked) {
            wakeNs = m_out.front().dueNs;
        }
        if (m_hangupDeadlineNs >= 0) {
            wakeNs = now + kHangupPollNs;
        } else if (m_model.PendingBytes() > 0) {
            const std::int64_t idleAt = m_lastInputNs + kIdleNs;
            wakeNs = wakeNs < 0 ? idleAt : std::min(wakeNs, idleAt);
        }
        const short masterEvents = static_cast<short>(POLLIN | (m_outputBlocked ? POLLOUT : 0));
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {m_master, masterEvents, 0}};
        if (m_master < 0 || m_hangupDeadlineNs >= 0) {
            fds[1].fd = -1;
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wakeNs >= 0) {
            const std::int64_t wait = std::max<std::int64_t>(0, wakeNs - now);
            timeout.tv_sec = static_cast<time_t>(wait / 1000000000);
            timeout.tv_nsec = static_cast<long>(wait % 1000000000);
            timeoutPtr = &timeout;
        }
        const int ready = ::ppoll(fds, 2, timeoutPtr, nullptr);
        if (ready < 0 && errno != EINTR) {
            std::perror("kp650-sim: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            return 0;
        }
        const std::int64_t after = NowNs();
        if (m_hangupDeadlineNs >= 0) {
            if (after >= m_hangupDeadlineNs || Drained()) {
                HangUp();
            }
            continue;
        }
        if (m_master >= 0 && (fds[1].revents & POLLIN)) {
            HandleInput(after);
        }
        if (m_model.PendingBytes() > 0 && after - m_lastInputNs >= kIdleNs) {
            Queue(m_model.Idle(), after);
        }
        if (m_master >= 0) {
            WriteDue(after);
        }
    }
}
