// The window tests need an application object for their whole run: the program's own, so that
// errors escaping a handler reach the same error box as in the program.
//
//   quillane_ui_test --screenshot=<file.png>   shows the window at a fresh start in a directory
//                                              of sample files and saves its picture (for docs/)

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>

#include "support/scripted_driver.h"
#include "ui/application.h"
#include "ui/frm_attach.h"
#include "ui/style.h"

namespace {

int Screenshot(const QString& target) {
    quillane::ui::ApplyStyle(QString::fromUtf16(quillane::ui::kStyleName));
    QTemporaryDir work;
    for (const char* name : {"Northwind.mdf", "pubs.mdf", "Sales2019.MDF", "库存.mdf"}) {
        QFile(work.filePath(QString::fromUtf8(name))).open(QIODevice::WriteOnly);
    }
    QDir(work.path()).mkdir(QStringLiteral("archive"));
    QDir(work.path()).mkdir(QStringLiteral("backup"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    int result = 1;
    {
        auto state = std::make_shared<testsupport::ScriptedDriver::State>();
        quillane::ui::TfrmAttach frmAttach(std::make_unique<testsupport::ScriptedDriver>(state),
                                           work.path());
        frmAttach.show();
        if (QTest::qWaitForWindowExposed(&frmAttach)) {
            QTest::qWait(200);  // let the first paint settle (fonts, style)
            result = frmAttach.grab().save(target) ? 0 : 1;
        }
    }
    QDir::setCurrent(previous);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    // Test discovery runs the binary where there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    quillane::ui::Application app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--screenshot=", 13) == 0) {
            return Screenshot(QString::fromLocal8Bit(argv[i] + 13));
        }
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
