#include "line_server.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
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

LineServer::LineServer(sim::DeviceModel& model, const sim::SimOptions& options)
    : m_model(model), m_options(options), m_random(options.seed) {
    if (options.baud > 0) {
        m_byteNs = (10LL * 1000000000LL + options.baud / 2) / options.baud;
    }
    const int slack = ::prctl(PR_GET_TIMERSLACK);
    m_defaultSlackNs = slack > 0 ? static_cast<unsigned long>(slack) : 50000UL;
    m_slackNs = m_defaultSlackNs;
}

LineServer::~LineServer() {
    ClosePty();
    CloseClient();
    if (m_listener >= 0) {
        ::close(m_listener);
    }
    if (m_linked) {
        ::unlink(QFile::encodeName(m_options.link).constData());
    }
}

bool LineServer::OpenPty(QString* error) {
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

void LineServer::ClosePty() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

bool LineServer::Listen(QString* error) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listener < 0) {
        *error = QStringLiteral("socket: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // this machine only
    address.sin_port = htons(static_cast<std::uint16_t>(m_options.tcpPort));
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        *error = QStringLiteral("--tcp %1: ").arg(m_options.tcpPort) +
                 QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_tcpPort = ntohs(address.sin_port);
    return true;
}

void LineServer::Accept() {
    // All that wait, so the queue never fills (a full queue drops connection attempts, which
    // the program would see as a second's delay); the newest is kept.
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        // A device server serves one connection; a new one replaces the old, as when the
        // program closed its port and opened it again before the old connection's end was seen
        // here.
        CloseClient();
        m_model.Idle();
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_client = fd;
        m_clientLine = std::max(m_clientLine, kPtyLine) + 1;
    }
}

void LineServer::CloseClient() {
    if (m_client < 0) {
        return;
    }
    // Whatever the program sent last is read first: closing a socket with unread input resets
    // the connection, and the program could lose reply bytes it has not read yet.
    char buffer[4096];
    while (::read(m_client, buffer, sizeof buffer) > 0) {
    }
    ::close(m_client);
    m_client = -1;
}

int LineServer::FdOf(int line) const {
    if (line == kPtyLine) {
        return m_master;
    }
    return line == m_clientLine ? m_client : -1;
}

bool LineServer::Open(QString* error) {
    // Before the link exists: whoever sees the link may stop the simulator at once, and that
    // must end it cleanly (the link removed), not by the signal's default action.
    if (::pipe(g_signalPipe) != 0) {
        *error = QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
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
    if (m_options.tcpPort >= 0 && !Listen(error)) {
        return false;
    }
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

void LineServer::Trace(const char* direction, const QByteArray& bytes) const {
    if (m_options.verbose && !bytes.isEmpty()) {
        std::fprintf(stderr, "%s %s\n", direction, bytes.toHex(' ').toUpper().constData());
    }
}

void LineServer::HandleInput(int line, std::int64_t nowNs) {
    char buffer[4096];
    for (;;) {
        const int fd = FdOf(line);
        if (fd < 0) {
            return;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR && line != kPtyLine)) {
            if (line != kPtyLine) {
                CloseClient();  // the program closed its end
            }
            return;
        }
        if (n < 0) {
            return;
        }
        m_replyLine = line;
        const QByteArray bytes(buffer, static_cast<int>(n));
        Trace("<-", bytes);
        m_lastInputNs = nowNs;
        // On a real line these bytes take their own wire time to arrive; the reply cannot start
        // before the last of them is in.
        m_inboundDoneNs = std::max(m_inboundDoneNs, nowNs) + m_byteNs * n;
        Queue(m_model.Receive(bytes), nowNs);
        if (static_cast<size_t>(n) < sizeof buffer) {
            // All there was: the poll reports anything later, and a further read that finds
            // nothing would cost a system call per request.
            return;
        }
    }
}

void LineServer::Queue(const QByteArray& reply, std::int64_t nowNs) {
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
        m_out.push_back({reply.at(i), due, m_replyLine});
        m_lastDueNs = due;
        due += m_byteNs;
        --pieceLeft;
    }
}

void LineServer::WriteDue(std::int64_t nowNs) {
    // Replies for a connection that has gone are dropped.
    while (!m_out.empty() && FdOf(m_out.front().line) < 0) {
        m_out.pop_front();
    }
    QByteArray burst;
    size_t due = 0;
    const int line = m_out.empty() ? kPtyLine : m_out.front().line;
    while (due < m_out.size() && m_out[due].dueNs <= nowNs && m_out[due].line == line) {
        burst.append(m_out[due].byte);
        ++due;
    }
    if (burst.isEmpty()) {
        return;
    }
    const int fd = FdOf(line);
    bool hangUp = false;
    if (m_options.hangupAfter >= 0 && !m_hungUp &&
        m_bytesWritten + burst.size() >= m_options.hangupAfter) {
        burst.truncate(static_cast<int>(m_options.hangupAfter - m_bytesWritten));
        hangUp = true;
    }
    qsizetype done = 0;
    while (done < burst.size()) {
        // SIGPIPE is ignored: a connection gone meanwhile fails the write instead.
        const ssize_t n =
            ::write(fd, burst.constData() + done, static_cast<size_t>(burst.size() - done));
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
        m_hangupLine = line;
        m_hangupDeadlineNs = nowNs + kHangupDrainNs;
    }
}

bool LineServer::Drained() const {
    int waiting = 0;
    if (m_hangupLine != kPtyLine) {
        // Sent and not yet acknowledged by the program's end.
        return m_client < 0 || ::ioctl(m_client, SIOCOUTQ, &waiting) != 0 || waiting == 0;
    }
    return ::ioctl(m_slave, FIONREAD, &waiting) != 0 || waiting == 0;
}

void LineServer::HangUp() {
    std::fprintf(stderr, "kp650-sim: hanging up after %lld reply bytes\n",
                 static_cast<long long>(m_bytesWritten));
    m_hungUp = true;
    m_hangupDeadlineNs = -1;
    m_outputBlocked = false;
    m_out.clear();
    m_model.Idle();
    if (m_hangupLine != kPtyLine) {
        // The device server drops the connection and listens on; the program may connect again.
        CloseClient();
        return;
    }
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
    // Said once the link points at the new line: a new pty may carry the old one's number.
    std::fprintf(stderr, "kp650-sim: line back on %s\n", qPrintable(m_slavePath));
}

int LineServer::Run() {
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
        // A line whose buffer is full is also watched for room (the one the next reply is for).
        const int blockedLine = m_outputBlocked && !m_out.empty() ? m_out.front().line : -1;
        const auto events = [&](int line) {
            return static_cast<short>(POLLIN | (line == blockedLine ? POLLOUT : 0));
        };
        pollfd fds[4] = {{g_signalPipe[0], POLLIN, 0},
                         {m_master, events(kPtyLine), 0},
                         {m_listener, POLLIN, 0},
                         {m_client, events(m_clientLine), 0}};
        if (m_master < 0 || m_hangupDeadlineNs >= 0) {
            fds[1].fd = -1;
        }
        if (m_hangupDeadlineNs >= 0) {
            fds[3].fd = -1;
        }
        // The last byte queued ends a reply, and the program answers it at once: it goes out on
        // time, not up to the kernel's default 50 us timer slack late. Other wake-ups keep the
        // slack, so that many simulators on one machine can share theirs.
        const bool replyEnds = m_byteNs > 0 && m_out.size() == 1 && !m_outputBlocked;
        const unsigned long slackNs = replyEnds ? 1UL : m_defaultSlackNs;
        if (slackNs != m_slackNs && ::prctl(PR_SET_TIMERSLACK, slackNs) == 0) {
            m_slackNs = slackNs;
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wakeNs >= 0) {
            const std::int64_t wait = std::max<std::int64_t>(0, wakeNs - now);
            timeout.tv_sec = static_cast<time_t>(wait / 1000000000);
            timeout.tv_nsec = static_cast<long>(wait % 1000000000);
            timeoutPtr = &timeout;
        }
        const int ready = ::ppoll(fds, 4, timeoutPtr, nullptr);
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
            HandleInput(kPtyLine, after);
        }
        if (m_client >= 0 && fds[3].fd >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) {
            HandleInput(m_clientLine, after);
        }
        if (m_listener >= 0 && (fds[2].revents & POLLIN)) {
            Accept();
        }
        if (m_model.PendingBytes() > 0 && after - m_lastInputNs >= kIdleNs) {
            Queue(m_model.Idle(), after);
        }
        WriteDue(after);
    }
}
