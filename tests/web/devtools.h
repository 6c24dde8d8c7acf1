#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QWebSocket>

#include <optional>

// Debian's headless Chromium, driven over its DevTools protocol: started on a free port of
// 127.0.0.1 with a fresh profile, one page attached. Every wait is bounded; the browser is
// killed when the object goes.
class HeadlessBrowser : public QObject {
    Q_OBJECT
public:
    HeadlessBrowser();
    ~HeadlessBrowser() override;

    // False with the reason in `error`.
    bool Start(int width, int height, QString* error);
    // A command and its result; nothing (and `error` set) on an error answer or a time-out.
    std::optional<QJsonObject> Call(const QString& method, const QJsonObject& params = {},
                                    bool toPage = true);
    // The value of a JavaScript expression (promises awaited), as JSON text.
    QString Evaluate(const QString& expression);
    // Loads a page and waits until `readyExpression` is true.
    bool Open(const QString& url, const QString& readyExpression);
    // Waits for an event of the browser or the page; its params.
    std::optional<QJsonObject> WaitForEvent(const QString& method, int timeoutMs);
    QString Error() const { return m_error; }
    QString DownloadFolder() const { return m_profile.filePath(QStringLiteral("downloads")); }

private:
    QTemporaryDir m_profile;
    QProcess m_process;
    QWebSocket m_socket;
    QString m_session;
    int m_nextId = 1;
    QJsonArray m_events;
    QString m_error;
};
