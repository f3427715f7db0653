#include "log/entry_format.h"

namespace quillane::log {
namespace {

// The locale's long time format without its time-zone field. Windows' long time format has no
// zone; Qt's CLDR formats on other systems add one ("t"), which a local log line does not want.
QString LongTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        kept += c;
    }
    return kept.trimmed();
}

}  // namespace

EntryFormat::EntryFormat(QLocale locale)
    : locale_(std::move(locale)), timeFormat_(LongTimeFormat(locale_)) {}

QString EntryFormat::Entry(const QDateTime& moment, const QString& msg) {
    const QDate date = moment.date();
    if (date != date_ || dateText_.isEmpty()) {
        date_ = date;
        dateText_ = locale_.toString(date, QLocale::ShortFormat);
    }
    const QTime time = moment.time();
    const bool midnight = time == QTime(0, 0);
    const QString timeText = midnight ? QString() : locale_.toString(time, timeFormat_);
    QString entry;
    entry.reserve(dateText_.size() + timeText.size() + msg.size() + 6);
    entry += u'[';
    entry += dateText_;
    if (!midnight) {
        entry += u' ';
        entry += timeText;
    }
    entry += QStringLiteral("] ");
    entry += msg;
    entry += QStringLiteral("\r\n");
    return entry;
}

}  // namespace quillane::log
