#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace quillane::log {

// How an entry of the run log reads: "[" + the locale's short date, one blank and its long time
// (the date alone at exactly midnight) + "] " + the message + CR LF.
//
// Entries come many to the second and the date changes once a day, so the time format is taken
// from the locale once and the date's text is kept until the date changes.
class EntryFormat {
  public:
    explicit EntryFormat(QLocale locale);

    QString Entry(const QDateTime& moment, const QString& msg);

  private:
    QLocale locale_;
    QString timeFormat_;
    QDate date_;
    QString dateText_;
};

}  // namespace quillane::log
