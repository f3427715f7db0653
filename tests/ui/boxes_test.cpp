// The message box, the error box and the start-up's style lookup.

#include <gtest/gtest.h>

#include <QApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <stdexcept>

#include "db/db_error.h"
#include "ui/message_boxes.h"
#include "ui/style.h"
#include "ui_test_support.h"

using quillane::ui::ApplicationTitle;
using quillane::ui::WithFullStop;
using uitest::BoxCloser;

namespace {

TEST(WithFullStopTest, AppendsAFullStopUnlessTheLastCodeIs46OrLower) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Access denied", "Access denied."},
        {"Access denied.", "Access denied."},      // 46 itself
        {"value -", "value -"},                    // 45
        {"path /", "path /."},                     // 47
        {"Sql:select 1\r\n", "Sql:select 1\r\n"},  // reports end with a line break
        {"trailing blank ", "trailing blank "},    // 32
        {"连接失败！", "连接失败！."},             // full-width marks are above 46
        {"错误：", "错误：."},
        {"", ""},
        {"😀", "😀."},  // a surrogate pair ends high too
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithFullStop(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown))
            << c.message;
    }
}

// An object whose every event handler fails, as a handler of the window can.
class Failing : public QObject {
  public:
    explicit Failing(std::function<void()> fail) : fail_(std::move(fail)) {}
    bool event(QEvent*) override {
        fail_();
        return true;
    }

  private:
    std::function<void()> fail_;
};

TEST(ErrorBoxTest, AnErrorEscapingAHandlerIsShownAndTheApplicationCarriesOn) {
    const struct {
        std::function<void()> fail;
        const char* shown;
    } cases[] = {
        {[] { throw std::runtime_error("Disk not ready"); }, "Disk not ready."},
        {[] { throw quillane::db::DbError(QStringLiteral("登录失败。")); }, "登录失败。."},
        {[] { throw std::runtime_error("Line 1\r\n"); }, "Line 1\r\n"},
    };
    for (const auto& c : cases) {
        BoxCloser closer;
        Failing target(c.fail);
        QEvent event(QEvent::User);
        EXPECT_FALSE(QApplication::sendEvent(&target, &event));
        ASSERT_EQ(closer.Seen().size(), 1);
        const uitest::SeenBox& box = closer.Seen().constFirst();
        EXPECT_EQ(box.text, QString::fromUtf8(c.shown));
        EXPECT_EQ(box.title, ApplicationTitle());
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    }
    EXPECT_EQ(ApplicationTitle(), QStringLiteral("quillane_ui_test"));
}

TEST(MessageBoxTest, ShowsTheTextUnchangedWithOneOkCentredOnTheScreen) {
    BoxCloser closer;
    const QString text = QStringLiteral("附加数据库出错！错误：x\r\n Sql:y\r\n");
    quillane::ui::ShowMessageBox(text);
    ASSERT_EQ(closer.Seen().size(), 1);
    const uitest::SeenBox& box = closer.Seen().constFirst();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, ApplicationTitle());
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    const QPoint off =
        box.frame.center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(off.manhattanLength(), 4) << off.x() << "," << off.y();
}

TEST(StyleTest, TheSilverStyleIsFoundWhateverTheCaseOfItsName) {
    for (const char* name : {"Silver", "silver", "SILVER"}) {
        const auto sheet = quillane::ui::FindStyleSheet(QString::fromLatin1(name));
        ASSERT_TRUE(sheet.has_value()) << name;
        EXPECT_TRUE(sheet->contains(QStringLiteral("QPushButton"))) << name;
    }
    BoxCloser closer;
    EXPECT_TRUE(quillane::ui::ApplyStyle(QStringLiteral("sIlVeR")));
    EXPECT_EQ(qApp->styleSheet(), *quillane::ui::FindStyleSheet(QStringLiteral("Silver")));
    EXPECT_TRUE(closer.Seen().isEmpty());
    qApp->setStyleSheet(QString());
}

// A desktop whose own look puts icons on dialog buttons (a green tick on OK), as some do.
class IconsOnDialogButtons : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

TEST(StyleTest, UnderSilverTheMessageBoxesOkButtonCarriesNoIcon) {
    const QString previous = QApplication::style()->name();
    QApplication::setStyle(new IconsOnDialogButtons(QStyleFactory::create(previous)));
    bool iconWithout = false;
    bool iconWith = true;
    {
        BoxCloser closer;
        quillane::ui::ShowMessageBox(QStringLiteral("写入日志失败！"));
        ASSERT_EQ(closer.Seen().size(), 1);
        iconWithout = closer.Seen()[0].iconOnAButton;
    }
    ASSERT_TRUE(quillane::ui::ApplyStyle(QStringLiteral("Silver")));
    {
        BoxCloser closer;
        quillane::ui::ShowMessageBox(QStringLiteral("写入日志失败！"));
        quillane::ui::ShowErrorBox(QStringLiteral("Disk not ready"));
        ASSERT_EQ(closer.Seen().size(), 2);
        iconWith = closer.Seen()[0].iconOnAButton || closer.Seen()[1].iconOnAButton;
    }
    qApp->setStyleSheet(QString());
    QApplication::setStyle(QStyleFactory::create(previous));
    EXPECT_TRUE(iconWithout) << "the desktop's look was meant to put icons on buttons";
    EXPECT_FALSE(iconWith);
}

TEST(StyleTest, AMissingStyleSaysSoWithACloseButtonAndLeavesTheSystemLook) {
    BoxCloser closer;
    EXPECT_FALSE(quillane::ui::ApplyStyle(QStringLiteral("Silver"), QStringLiteral(":/nowhere")));
    EXPECT_FALSE(quillane::ui::ApplyStyle(QStringLiteral("Carbon")));
    ASSERT_EQ(closer.Seen().size(), 2);
    EXPECT_EQ(closer.Seen()[0].text, QStringLiteral("Style 'Silver' not found"));
    EXPECT_EQ(closer.Seen()[1].text, QStringLiteral("Style 'Carbon' not found"));
    for (const uitest::SeenBox& box : closer.Seen()) {
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Close});
        EXPECT_EQ(box.title, ApplicationTitle());
    }
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}

}  // namespace
