#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace quillane::ui {

bool InstallQtTranslation(QTranslator& translator, const QLocale& locale, const QString& folder) {
    // qtbase holds every text of the modules the program uses (Core, Gui, Widgets).
    const QString catalog = QStringLiteral("qtbase");
    const bool loaded =
        translator.load(locale, catalog, QStringLiteral("_"), folder) ||
        translator.load(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China),
                        catalog, QStringLiteral("_"), folder);
    return loaded && QCoreApplication::installTranslator(&translator);
}

}  // namespace quillane::ui
