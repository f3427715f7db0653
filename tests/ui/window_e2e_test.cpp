// The window end to end: the real ODBC driver, FreeTDS and a Kerberos ticket from the test KDC,
// against the loopback test server (which stands in for SQL Server). The working directory holds
// generated primary files with their logs; pressing "附加数据库" must attach every one of them, and
// the server's transcript, the day's log and the grid must tell the same story. The same binary
// takes the README's screenshot after such a run (scripts/screenshot.sh).

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "db/odbc/odbc_driver.h"
#include "kdc_env.h"
#include "log/run_log.h"
#include "mdf_fixture.h"
#include "support/expected_statements.h"
#include "test_server.h"
#include "ui/browsing.h"
#include "ui/frm_attach.h"
#include "ui/style.h"
#include "ui_test_support.h"

namespace {

namespace fs = std::filesystem;
using quillane::ui::TfrmAttach;

fs::path ToPath(const QString& text) {
    return fs::path(text.toStdU16String());
}

// A primary file that records it was detached from E:\old\, with its log file beside it.
void MakeDatabase(const QString& dir, const QString& file, const QString& name) {
    const QString stem = file.chopped(4);
    mdf::FixtureSpec fixture;
    fixture.databaseName = name.toStdU16String();
    fixture.files = {
        {2, 1, u"data", (QStringLiteral("E:\\old\\") + stem + ".mdf").toStdU16String()},
        {0x100042, 2, u"log", (QStringLiteral("E:\\old\\") + stem + "_log.ldf").toStdU16String()}};
    const fs::path primary = ToPath(dir + u'/' + file);
    mdf::WritePrimaryFile(primary, fixture);
    mdf::WriteMatchingLogFile(primary, ToPath(dir + u'/' + stem + "_log.ldf"));
}

using testsupport::AttachSql;
using testsupport::FileSql;
using testsupport::Literal;
using testsupport::NameSql;

// The day's log entries without their time stamps (an entry may span lines: reports do).
QStringList LogEntries(const QString& folder) {
    const quillane::log::RunLog log(folder, [](const QString&) {});
    QFile file(log.FilePath(QDate::currentDate()));
    if (!file.open(QIODevice::ReadOnly)) {
        // A run that crossed midnight wrote to the day before as well; this test never does.
        return {};
    }
    const QByteArray bytes = file.readAll();
    QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    QStringList entries = text.split(
        QRegularExpression(QStringLiteral("(?:^|\r\n)\\[[^\\]\r\n]*\\] ")), Qt::SkipEmptyParts);
    if (!entries.isEmpty() && entries.last().endsWith(QStringLiteral("\r\n"))) {
        entries.last().chop(2);
    }
    return entries;
}

TEST(WindowEndToEnd, AttachesEveryEntryAndShowsAFailureInAMessageBox) {
    ASSERT_TRUE(testkdc::Ready()) << "the test KDC is not running: run through ctest, which "
                                     "starts the kdc fixture";
    testkdc::UseTicket();
    QTemporaryDir work;
    QTemporaryDir logs;
    ASSERT_TRUE(work.isValid() && logs.isValid());
    MakeDatabase(work.path(), QStringLiteral("alpha.mdf"), QStringLiteral("alpha"));
    MakeDatabase(work.path(), QStringLiteral("Beta.MDF"), QStringLiteral("销售_beta"));
    {
        // Not a primary file at all: the server refuses its name query.
        QFile junk(QDir(work.path()).filePath(QStringLiteral("a_broken.mdf")));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(3 * 8192, 'x'));
    }
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const QString dir = quillane::ui::DirectoryText(QDir::currentPath());

    testsrv::TestServer server;
    {
        TfrmAttach frmAttach(std::make_unique<quillane::db::odbc::OdbcDriver>(), logs.path());
        auto* attachList = frmAttach.findChild<QListWidget*>(QStringLiteral("FileName"));
        ASSERT_NE(attachList, nullptr);
        ASSERT_EQ(attachList->count(), 3);
        EXPECT_EQ(attachList->item(0)->text(), QStringLiteral("a_broken.mdf"));

        uitest::BoxCloser closer;
        frmAttach.findChild<QLineEdit*>(QStringLiteral("EdtServer"))
            ->setText(QStringLiteral("127.0.0.1,") + QString::number(server.Port()));
        QTest::mouseClick(frmAttach.findChild<QWidget*>(QStringLiteral("BtnConnect")),
                          Qt::LeftButton);
        ASSERT_TRUE(closer.Seen().isEmpty()) << closer.Seen()[0].text.toStdString();
        ASSERT_TRUE(frmAttach.Connection().Connected());

        QTest::mouseClick(frmAttach.findChild<QWidget*>(QStringLiteral("SBAttachDb")),
                          Qt::LeftButton);

        // The failure: one real message box with the name report, which the test closed.
        const QString broken = dir + "/a_broken.mdf";
        ASSERT_EQ(closer.Seen().size(), 1);
        const QString report = closer.Seen()[0].text;
        EXPECT_TRUE(report.startsWith(QStringLiteral("检查数据库名出错！错误：")))
            << report.toStdString();
        EXPECT_TRUE(report.endsWith("\r\n Sql:" + NameSql(broken))) << report.toStdString();
        EXPECT_EQ(closer.Seen()[0].buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});

        // The server: every statement, byte for byte, from alice's ticket.
        const QString alpha = dir + "/alpha.mdf";
        const QString beta = dir + "/Beta.MDF";
        const QStringList expectedSent{NameSql(broken),
                                       NameSql(alpha),
                                       FileSql(alpha),
                                       AttachSql("alpha", alpha, dir + "/alpha_log.ldf"),
                                       NameSql(beta),
                                       FileSql(beta),
                                       AttachSql("销售_beta", beta, dir + "/Beta_log.ldf")};
        QStringList sent;
        for (const testsrv::Batch& batch : server.Transcript()) {
            EXPECT_EQ(batch.login, "alice@TEST.LOCAL");
            sent.append(QString::fromStdU16String(batch.text));
        }
        EXPECT_EQ(sent, expectedSent);
        std::vector<QStringList> attached;
        for (const auto& row : server.Databases()) {
            QStringList fields;
            for (const auto& field : row) {
                fields.append(QString::fromStdU16String(field));
            }
            attached.push_back(fields);
        }
        const std::vector<QStringList> expectedAttached{{"alpha", alpha, dir + "/alpha_log.ldf"},
                                                        {"销售_beta", beta, dir + "/Beta_log.ldf"}};
        EXPECT_EQ(attached, expectedAttached);

        // The day's log: the same steps, the report included.
        const QStringList expectedLog{"选中第【0】文件,选中文件名：" + broken,
                                      report,
                                      "选中第【1】文件,选中文件名：" + alpha,
                                      "附加后的数据库名：alpha",
                                      "数据库文件:E:\\old\\alpha.mdf",
                                      "日志文件:E:\\old\\alpha_log.ldf",
                                      "附加数据库【alpha】成功！",
                                      "选中第【2】文件,选中文件名：" + beta,
                                      "附加后的数据库名：销售_beta",
                                      "数据库文件:E:\\old\\Beta.mdf",
                                      "日志文件:E:\\old\\Beta_log.ldf",
                                      "附加数据库【销售_beta】成功！"};
        EXPECT_EQ(LogEntries(logs.path()), expectedLog);

        // The grid: the file query's rows of the last entry, the paths the log recorded.
        const QAbstractItemModel* grid =
            frmAttach.findChild<QTableView*>(QStringLiteral("DBGrid1"))->model();
        ASSERT_EQ(grid->rowCount(), 2);
        ASSERT_GE(grid->columnCount(), 4);
        EXPECT_EQ(grid->index(0, 1).data().toString().trimmed(), QStringLiteral("1"));
        EXPECT_EQ(grid->index(0, 3).data().toString().trimmed(),
                  QStringLiteral("E:\\old\\Beta.mdf"));
        EXPECT_EQ(grid->index(1, 1).data().toString().trimmed(), QStringLiteral("2"));
        EXPECT_EQ(grid->index(1, 3).data().toString().trimmed(),
                  QStringLiteral("E:\\old\\Beta_log.ldf"));
        // All entries stay selected after the run.
        EXPECT_EQ(attachList->selectedItems().size(), 3);
    }
    QDir::setCurrent(previous);
}

}  // namespace

int uitest::ScreenshotAfterARun(const QString& target) {
    if (!testkdc::Ready()) {
        std::fprintf(stderr, "the test KDC is not running (scripts/screenshot.sh starts it)\n");
        return 1;
    }
    testkdc::UseTicket();
    quillane::ui::ApplyStyle(QString::fromUtf16(quillane::ui::kStyleName));
    QTemporaryDir work;
    QTemporaryDir logs;
    for (const char* name : {"Northwind", "pubs", "Sales2024", "库存"}) {
        const QString stem = QString::fromUtf8(name);
        MakeDatabase(work.path(), stem + ".mdf", stem);
    }
    QDir(work.path()).mkdir(QStringLiteral("archive"));
    QDir(work.path()).mkdir(QStringLiteral("backup"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    int result = 1;
    {
        testsrv::TestServer server;
        TfrmAttach frmAttach(std::make_unique<quillane::db::odbc::OdbcDriver>(), logs.path());
        frmAttach.show();
        if (QTest::qWaitForWindowExposed(&frmAttach)) {
            uitest::BoxCloser closer;
            auto* serverBox = frmAttach.findChild<QLineEdit*>(QStringLiteral("EdtServer"));
            serverBox->setText(QStringLiteral("127.0.0.1,") + QString::number(server.Port()));
            serverBox->setCursorPosition(0);  // the box shows the start of what was typed
            QTest::mouseClick(frmAttach.findChild<QWidget*>(QStringLiteral("BtnConnect")),
                              Qt::LeftButton);
            QTest::mouseClick(frmAttach.findChild<QWidget*>(QStringLiteral("SBAttachDb")),
                              Qt::LeftButton);
            QTest::qWait(200);  // let the paint after the run settle (fonts, style)
            if (!closer.Seen().isEmpty()) {
                std::fprintf(stderr, "the run showed a message: %s\n",
                             closer.Seen()[0].text.toLocal8Bit().constData());
            } else {
                result = frmAttach.grab().save(target) ? 0 : 1;
            }
        }
    }
    QDir::setCurrent(previous);
    return result;
}
