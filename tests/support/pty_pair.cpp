#include "pty_pair.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slaveKeep = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (m_slaveKeep >= 0) {
        ::close(m_slaveKeep);
    }
}

bool PtyPair::WriteMaster(const QByteArray& bytes) {
    if (m_master < 0) {
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n < 0) {
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) {
                return false;
            }
            continue;
        }
        done += n;
    }
    return true;
}

QByteArray PtyPair::ReadMaster(int count, int timeoutMs) {
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (m_master >= 0 && out.size() < count) {
        const int left = qMax(0, timeoutMs - static_cast<int>(clock.elapsed()));
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, left) > 0) {
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, n);
                continue;
            }
        }
        if (left == 0) {
            break;
        }
    }
    return out;
}

void PtyPair::CloseMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
