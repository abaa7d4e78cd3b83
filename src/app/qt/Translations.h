#pragma once

#include <QString>

namespace sm {

// Loads the translation of the windows, menus and labels for the user's language (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG, as QLocale reads them), when one is installed in `directory`, and Qt's own
// for its standard buttons and dialogs. Trace and log lines stay English whatever it loads. Returns
// the file loaded, empty when none matched.
QString installTranslations(const QString& directory);

// share/spacemarquee/translations of the installation this program runs from.
QString installedTranslationsDirectory();

} // namespace sm
