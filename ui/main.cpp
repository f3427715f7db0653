#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <exception>
#include <memory>

#include "db/db_error.h"
#include "db/odbc/odbc_driver.h"
#include "log/log_folder.h"
#include "ui/application.h"
#include "ui/frm_attach.h"
#include "ui/message_boxes.h"
#include "ui/qt_translation.h"
#include "ui/style.h"

int main(int argc, char** argv) {
    // Qt 6 scales by each monitor's density by itself (per monitor on Windows).
    quillane::ui::Application app(argc, argv);
    // Qt's dialogs and buttons in the window's language; the log where this user can write it.
    QTranslator qtTexts;
    quillane::ui::InstallQtTranslation(qtTexts, QLocale::system());
    const QString logFolder =
        quillane::log::RunLogFolderAtStartUp(QCoreApplication::applicationDirPath());
    quillane::ui::ApplyStyle(QString::fromUtf16(quillane::ui::kStyleName));
    try {
        quillane::ui::TfrmAttach frmAttach(std::make_unique<quillane::db::odbc::OdbcDriver>(),
                                           logFolder);
        frmAttach.show();
        return app.exec();
    } catch (const std::exception& error) {
        // Only the window's own creation gets here (an unreadable working directory); errors
        // of its handlers are shown by the application and the window carries on.
        quillane::ui::ShowErrorBox(quillane::db::MessageOf(error));
        return 1;
    }
}
