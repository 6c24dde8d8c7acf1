#include "collector/stop_signal.h"

#ifndef Q_OS_WIN
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pair[2] = {-1, -1};

void OnSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
}
}  // namespace

StopSignal::StopSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pair) != 0) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pair[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_pair[1], &byte, 1) == 1) {
            emit Raised(byte == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
        }
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

StopSignal::~StopSignal() {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    m_notifier.reset();
    ::close(g_pair[0]);
    ::close(g_pair[1]);
}
#else
StopSignal::StopSignal(QObject* parent) : QObject(parent) {}
StopSignal::~StopSignal() = default;
#endif
