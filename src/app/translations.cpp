#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QStringList app::LoadChineseTranslations(QCoreApplication& app) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    // Beside the executable first (a Windows installation carries them there), then Qt's own.
    const QStringList folders = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    QStringList missing;
    for (const QString& catalog : {QStringLiteral("qtbase"), QStringLiteral("qtserialport")}) {
        auto* translator = new QTranslator(&app);
        bool loaded = false;
        for (const QString& folder : folders) {
            if (translator->load(chinese, catalog, QStringLiteral("_"), folder)) {
                loaded = true;
                break;
            }
        }
        if (loaded) {
            QCoreApplication::installTranslator(translator);
        } else {
            delete translator;
            missing << catalog;
        }
    }
    return missing;
}
