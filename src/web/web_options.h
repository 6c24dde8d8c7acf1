#pragma once

#include <QString>
#include <QStringList>

#include "web/web_api.h"

// The command line of kp650-web, read into a value; the program's main only acts on it.
namespace web {

struct WebOptions {
    QString archive;
    QString listen = QStringLiteral("127.0.0.1");
    int port = 8650;
    int threads = 2;  // workers answering requests, each with its own archive connection
    Access access;
    bool help = false;
    bool version = false;
};

struct ParsedWebOptions {
    WebOptions options;
    QString error;  // non-empty: a usage error, exit code 2
};

// Reads the arguments (the program's name first). Secrets come from files named on the command
// line (a token file holding the token; a user file holding "NAME:PASSWORD"), or from the
// environment's KP650_WEB_TOKEN, never from the command line that every user can list.
ParsedWebOptions ParseWebOptions(const QStringList& arguments, const QString& environmentToken);

// True for an address only this machine reaches (127.0.0.0/8, ::1, "localhost").
bool IsLoopbackAddress(const QString& address);

QString WebHelpText();

}  // namespace web
