// Qt's own texts at start-up: the standard dialogs read in the window's language.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <memory>

#include "support/scripted_driver.h"
#include "ui/frm_attach.h"
#include "ui/message_boxes.h"
#include "ui/qt_translation.h"
#include "ui_test_support.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// What the open dialog showed: its labels and its two buttons.
struct DialogTexts {
    QString lookIn;
    QString fileName;
    QString fileType;
    QString accept;
    QString reject;

    bool operator==(const DialogTexts&) const = default;
};

void PrintTo(const DialogTexts& t, std::ostream* out) {
    *out << '{' << t.lookIn.toStdString() << " | " << t.fileName.toStdString() << " | "
         << t.fileType.toStdString() << " | " << t.accept.toStdString() << " | "
         << t.reject.toStdString() << '}';
}

// Double-clicks the window's path box, as the user does, and notes what the open dialog that
// comes up shows before cancelling it.
DialogTexts OpenDialogOf(quillane::ui::TfrmAttach& window) {
    DialogTexts seen;
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        auto label = [&](const char* name) {
            const auto* widget = dialog->findChild<QLabel*>(QString::fromLatin1(name));
            return widget ? widget->text() : u"<no %1>"_s.arg(QString::fromLatin1(name));
        };
        seen.lookIn = label("lookInLabel");
        seen.fileName = label("fileNameLabel");
        seen.fileType = label("fileTypeLabel");
        if (const auto* buttons = dialog->findChild<QDialogButtonBox*>(u"buttonBox"_s)) {
            for (QAbstractButton* button : buttons->buttons()) {
                (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole ? seen.accept
                                                                             : seen.reject) =
                    button->text();
            }
        }
        dialog->reject();
    });
    look.start();
    auto* pathBox = window.findChild<QLineEdit*>(u"Edtpath"_s);
    EXPECT_NE(pathBox, nullptr);
    if (pathBox != nullptr) {
        QTest::mouseDClick(pathBox, Qt::LeftButton);
    }
    return seen;
}

TEST(QtTranslationTest, TheOpenDialogAndTheMessageBoxSpeakTheLocalesLanguageOrChinese) {
    const DialogTexts chinese{u"查找范围："_s, u"文件名称(&N)："_s, u"文件类型："_s, u"打开(&O)"_s,
                              u"取消"_s};
    const DialogTexts german{u"Suchen in:"_s, u"Datei&name:"_s, u"Dateien des Typs:"_s,
                             u"&Öffnen"_s, u"Abbrechen"_s};
    const DialogTexts english{u"Look in:"_s, u"File &name:"_s, u"Files of type:"_s, u"&Open"_s,
                              u"Cancel"_s};
    const QString qt = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QString none = u"/nonexistent"_s;
    const QLocale china(QLocale::Chinese, QLocale::China);
    const QLocale germany(QLocale::German, QLocale::Germany);
    const struct {
        const char* what;
        QLocale locale;
        QString folder;
        DialogTexts dialog;
        QString ok;
    } cases[] = {
        {"C locale: Qt has no texts of its own for it", QLocale::c(), qt, chinese, u"确定"_s},
        {"Simplified Chinese", china, qt, chinese, u"确定"_s},
        {"a locale Qt speaks", germany, qt, german, u"OK"_s},
        {"no translations at hand", QLocale::c(), none, english, u"OK"_s},
    };
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTranslator translator;
        EXPECT_EQ(quillane::ui::InstallQtTranslation(translator, c.locale, c.folder),
                  c.folder == qt)
            << "Qt's translations in " << c.folder.toStdString()
            << " (Debian: qt6-translations-l10n)";

        // The window as start-up makes it, after the translation.
        quillane::ui::TfrmAttach window(std::make_unique<testsupport::ScriptedDriver>(
                                            std::make_shared<testsupport::ScriptedDriver::State>()),
                                        work.path(), nullptr, {[](const QString&) {}, {}});
        window.show();
        EXPECT_EQ(OpenDialogOf(window), c.dialog);

        uitest::BoxCloser closer;
        quillane::ui::ShowMessageBox(u"写入日志失败！"_s);
        ASSERT_EQ(closer.Seen().size(), 1);
        EXPECT_EQ(closer.Seen().constFirst().buttonTexts, QStringList{c.ok});
    }
    QDir::setCurrent(previous);
}

}  // namespace
