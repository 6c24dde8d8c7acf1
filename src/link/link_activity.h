#pragma once

#include <QObject>
#include <QString>

// Process-wide news of the device link, for whoever shows it (the main window's status bar):
// every exchange that ends reports whether the device answered it. Widget-free.
class LinkActivity : public QObject {
    Q_OBJECT
public:
    static LinkActivity& Instance();

    void ReportAnswered(const QString& device) { emit Answered(device); }
    void ReportNoAnswer(const QString& device, const QString& reason) {
        emit NoAnswer(device, reason);
    }

Q_SIGNALS:
    // The device on `device` gave a well-formed reply.
    void Answered(const QString& device);
    // An exchange on `device` ended without a usable reply (time-out, lost line, bad replies).
    void NoAnswer(const QString& device, const QString& reason);

private:
    LinkActivity() = default;
};
