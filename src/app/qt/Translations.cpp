#include "app/qt/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace sm {

QString installTranslations(const QString& directory) {
    auto* app = QCoreApplication::instance();
    auto* qt = new QTranslator(app);
    if (qt->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    auto* own = new QTranslator(app);
    if (!own->load(QLocale(), QStringLiteral("spacemarquee"), QStringLiteral("_"), directory)) return {};
    QCoreApplication::installTranslator(own);
    return own->filePath();
}

QString installedTranslationsDirectory() {
    // The program proper lives in libexec/spacemarquee/.
    return QDir(QCoreApplication::applicationDirPath())
        .absoluteFilePath(QStringLiteral("../../share/spacemarquee/translations"));
}

} // namespace sm
