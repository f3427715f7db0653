#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <functional>

#include "log/entry_format.h"
#include "log/message_sink.h"

namespace quillane::log {

using Clock = std::function<QDateTime()>;

// The daily run log: one entry per step of an attach run, appended to
// <folder>/Logs/yyyy-mm-dd.log as UTF-16LE text without a byte-order mark.
class RunLog {
  public:
    // `folder` holds Logs (RunLogFolder says which); Logs is created inside it when missing.
    RunLog(QString folder, MessageSink showMessage, Clock clock = &QDateTime::currentDateTime,
           QLocale locale = QLocale::system());

    // Appends "[<date> <time>] <msg>\r\n". Never throws: a failure shows "写入日志失败！" and the
    // entry is lost, so the caller's run goes on.
    void AddLog(const QString& msg);

    // The file that entries written on `date` go to.
    QString FilePath(const QDate& date) const;

    // The entry written for `msg` at `moment`: the locale's short date, one blank and its long time
    // (the date alone at exactly midnight).
    static QString EntryText(const QDateTime& moment, const QLocale& locale, const QString& msg);

    // Entries made earlier and written now, together: runs that attach several databases at once
    // keep each database's lines in one piece. Each line keeps the moment it was made (Now()) and
    // goes to that day's file; the lines of one day go in with a single append, so that nothing
    // else writing to the file can come between them. Never throws: a failure shows
    // "写入日志失败！" once and those entries are lost.
    struct Line {
        QDateTime moment;
        QString msg;
    };
    void AddLines(const QList<Line>& lines);
    QDateTime Now() const { return clock_(); }

  private:
    // Appends `bytes` to the file of `day` with one write, making "Logs" when it is missing.
    bool Append(const QDate& day, const QByteArray& bytes);

    QString folder_;
    MessageSink showMessage_;
    Clock clock_;
    QLocale locale_;
    // Kept from entry to entry: the locale's formats, and the day's file name until the day
    // changes. The file itself is opened and closed for every entry.
    EntryFormat format_;
    QDate day_;
    QString dayFile_;
    QByteArray dayFileNative_;
};

}  // namespace quillane::log
