#pragma once

// Qt's own texts (the open dialog's labels and buttons, the message box's "OK", the edit boxes'
// context menus) are English unless a translation is loaded; the window around them is Chinese.

#include <QLibraryInfo>
#include <QLocale>
#include <QString>

class QTranslator;

namespace quillane::ui {

// Loads into `translator` Qt's translation for `locale`, or the Simplified Chinese one when Qt has
// none for that locale (the C locale of a service account, say), from `folder`, and installs it
// in the application. False when neither is there (Qt's texts then stay English). The translator
// stays installed until it is destroyed.
bool InstallQtTranslation(
    QTranslator& translator, const QLocale& locale,
    const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

}  // namespace quillane::ui
