#include "web/devtools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

namespace {

constexpr int kWaitMs = 20000;

// Runs the event loop until `done` or the deadline.
template <typename Done>
bool WaitUntil(Done done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace

HeadlessBrowser::HeadlessBrowser() {
    connect(&m_socket, &QWebSocket::textMessageReceived, this, [this](const QString& text) {
        m_events.append(QJsonDocument::fromJson(text.toUtf8()).object());
    });
}

HeadlessBrowser::~HeadlessBrowser() {
    // Closed the browser's own way, so that its helper processes end with it.
    if (m_socket.state() == QAbstractSocket::ConnectedState) {
        Call(QStringLiteral("Browser.close"), {}, false);
        m_process.waitForFinished(10000);
    }
    m_socket.close();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool HeadlessBrowser::Start(int width, int height, QString* error) {
    QDir(m_profile.path()).mkpath(QStringLiteral("downloads"));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_profile.filePath(QStringLiteral("stderr.txt")));
    // As root Chromium runs only without its sandbox; nothing but the test's own page is loaded.
    m_process.start(QStringLiteral("chromium"),
                    {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                     QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                     QStringLiteral("--hide-scrollbars"), QStringLiteral("--lang=zh-CN"),
                     QStringLiteral("--remote-debugging-address=127.0.0.1"),
                     QStringLiteral("--remote-debugging-port=0"),
                     QStringLiteral("--user-data-dir=") + m_profile.path(),
                     QStringLiteral("--window-size=%1,%2").arg(width).arg(height),
                     QStringLiteral("about:blank")});
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("chromium did not start: ") + m_process.errorString();
        return false;
    }
    // The browser writes its port and path here once it listens.
    const QString portFile = m_profile.filePath(QStringLiteral("DevToolsActivePort"));
    QStringList lines;
    if (!WaitUntil(
            [&] {
                QFile f(portFile);
                if (!f.open(QIODevice::ReadOnly)) {
                    return false;
                }
                lines = QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'));
                return lines.size() >= 2 && !lines[1].isEmpty();
            },
            kWaitMs)) {
        *error = QStringLiteral("chromium wrote no DevToolsActivePort");
        return false;
    }
    m_socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(lines[0], lines[1].trimmed())));
    if (!WaitUntil([&] { return m_socket.state() == QAbstractSocket::ConnectedState; }, kWaitMs)) {
        *error = QStringLiteral("no DevTools connection: ") + m_socket.errorString();
        return false;
    }
    const auto target = Call(QStringLiteral("Target.createTarget"),
                             {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false);
    const auto attached =
        target ? Call(QStringLiteral("Target.attachToTarget"),
                      {{QStringLiteral("targetId"), target->value(QStringLiteral("targetId"))},
                       {QStringLiteral("flatten"), true}},
                      false)
               : std::nullopt;
    if (!attached) {
        *error = m_error;
        return false;
    }
    m_session = attached->value(QStringLiteral("sessionId")).toString();
    if (!Call(QStringLiteral("Page.enable")) || !Call(QStringLiteral("Runtime.enable")) ||
        !Call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
              {{QStringLiteral("width"), width},
               {QStringLiteral("height"), height},
               {QStringLiteral("deviceScaleFactor"), 1},
               {QStringLiteral("mobile"), false}})) {
        *error = m_error;
        return false;
    }
    return true;
}

std::optional<QJsonObject> HeadlessBrowser::Call(const QString& method, const QJsonObject& params,
                                                 bool toPage) {
    const int id = m_nextId++;
    QJsonObject message{{QStringLiteral("id"), id},
                        {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (toPage) {
        message.insert(QStringLiteral("sessionId"), m_session);
    }
    m_socket.sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    std::optional<QJsonObject> answer;
    WaitUntil(
        [&] {
            for (int i = 0; i < m_events.size(); ++i) {
                const QJsonObject m = m_events.at(i).toObject();
                if (m.value(QStringLiteral("id")).toInt() == id) {
                    m_events.removeAt(i);
                    answer = m;
                    return true;
                }
            }
            return false;
        },
        kWaitMs);
    if (!answer) {
        m_error = method + QStringLiteral(": no answer");
        return std::nullopt;
    }
    if (answer->contains(QStringLiteral("error"))) {
        m_error = method + QStringLiteral(": ") +
                  QString::fromUtf8(QJsonDocument(answer->value(QStringLiteral("error")).toObject())
                                        .toJson(QJsonDocument::Compact));
        return std::nullopt;
    }
    return answer->value(QStringLiteral("result")).toObject();
}

QString HeadlessBrowser::Evaluate(const QString& expression) {
    const auto result = Call(QStringLiteral("Runtime.evaluate"),
                             {{QStringLiteral("expression"),
                               QStringLiteral("JSON.stringify(") + expression + QLatin1Char(')')},
                              {QStringLiteral("awaitPromise"), true},
                              {QStringLiteral("returnByValue"), true}});
    if (!result) {
        return {};
    }
    return result->value(QStringLiteral("result"))
        .toObject()
        .value(QStringLiteral("value"))
        .toString();
}

bool HeadlessBrowser::Open(const QString& url, const QString& readyExpression) {
    if (!Call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}})) {
        return false;
    }
    if (!WaitUntil([&] { return Evaluate(readyExpression) == QLatin1String("true"); }, kWaitMs)) {
        m_error = url + QStringLiteral(": not ready: ") + readyExpression;
        return false;
    }
    return true;
}

std::optional<QJsonObject> HeadlessBrowser::WaitForEvent(const QString& method, int timeoutMs) {
    std::optional<QJsonObject> params;
    WaitUntil(
        [&] {
            for (int i = 0; i < m_events.size(); ++i) {
                const QJsonObject m = m_events.at(i).toObject();
                if (m.value(QStringLiteral("method")).toString() == method) {
                    m_events.removeAt(i);
                    params = m.value(QStringLiteral("params")).toObject();
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return params;
}
