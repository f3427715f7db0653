#include "cli/attach_output.h"

#include <QJsonArray>
#include <QJsonDocument>

#include "cli/output.h"
#include "db/db_error.h"
#include "engine/paths.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;
using engine::EntryOutcome;
using engine::EntryStatus;
using engine::SkipReason;

namespace {

// Terminals wider than this are common, narrower ones rare: a progress line that wrapped could no
// longer be redrawn in place.
constexpr int kProgressColumns = 79;

// Reports are made with CR LF line breaks (as the log keeps them); a terminal wants LF.
QString WithLf(QString text) {
    text.replace(u"\r\n"_s, u"\n"_s);
    if (!text.endsWith(u'\n')) {
        text += u'\n';
    }
    return text;
}

QString StatusKey(const EntryOutcome& outcome) {
    switch (outcome.status) {
        case EntryStatus::Attached:
            return u"attached"_s;
        case EntryStatus::Failed:
            return u"failed"_s;
        case EntryStatus::Skipped:
            return u"skipped"_s;
        case EntryStatus::Planned:
            return u"planned"_s;
    }
    return {};
}

QString Outcome(const EntryOutcome& outcome) {
    switch (outcome.status) {
        case EntryStatus::Attached:
            return outcome.missingLogs.isEmpty() ? u"成功"_s : u"成功（日志已重建）"_s;
        case EntryStatus::Failed:
            if (outcome.serverError != 0) {
                return u"失败（错误 "_s + QString::number(outcome.serverError) + u"）"_s;
            }
            return u"失败："_s + Printable(outcome.error.section(u"\r\n"_s, 0, 0));
        case EntryStatus::Skipped:
            return outcome.skipReason == SkipReason::NotStarted ? u"跳过（未开始）"_s
                                                                : u"跳过（没有数据库名）"_s;
        case EntryStatus::Planned:
            return outcome.missingLogs.isEmpty() ? u"可以附加"_s : u"可以附加（将重建日志）"_s;
    }
    return {};
}

}  // namespace

QString ProgressLine(qsizetype done, qsizetype total, const EntryOutcome& outcome) {
    const QString what = outcome.databaseName.isEmpty() ? engine::WithoutDirectory(outcome.file)
                                                        : outcome.databaseName;
    return u'[' + QString::number(done) + u'/' + QString::number(total) + u"] "_s +
           Printable(what) + u" … "_s + Outcome(outcome);
}

QJsonObject OutcomeJson(const EntryOutcome& outcome) {
    QJsonArray statements;
    for (const QString& statement : outcome.statements) {
        statements.append(statement);
    }
    QJsonObject object{
        {u"index"_s, static_cast<qint64>(outcome.index)},
        {u"file"_s, outcome.file},
        {u"serverFile"_s, outcome.serverFile},
        {u"database"_s, outcome.databaseName.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                       : QJsonValue(outcome.databaseName)},
        {u"status"_s, StatusKey(outcome)},
        {u"statement"_s, outcome.statement.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                     : QJsonValue(outcome.statement)},
        {u"statements"_s, statements},
        {u"rebuildLog"_s, !outcome.missingLogs.isEmpty()},
    };
    if (outcome.status == EntryStatus::Skipped) {
        object.insert(u"reason"_s, outcome.skipReason == SkipReason::NotStarted
                                       ? u"notStarted"_s
                                       : u"noDatabaseName"_s);
    }
    if (!outcome.missingLogs.isEmpty()) {
        object.insert(u"missingLogs"_s, QJsonArray::fromStringList(outcome.missingLogs));
    }
    if (outcome.error.isEmpty()) {
        object.insert(u"error"_s, QJsonValue(QJsonValue::Null));
    } else {
        object.insert(u"error"_s, QJsonObject{{u"number"_s, outcome.serverError != 0
                                                                ? QJsonValue(outcome.serverError)
                                                                : QJsonValue(QJsonValue::Null)},
                                              {u"text"_s, outcome.error}});
    }
    return object;
}

QString DryRunText(const EntryOutcome& outcome) {
    QString text = u"-- "_s + Printable(outcome.file) + u'\n';
    if (outcome.status != EntryStatus::Planned) {
        return text + u"-- "_s + Outcome(outcome) + u"\n\n"_s;
    }
    for (const QString& statement : outcome.statements) {
        // As sent, but with the control characters of names and paths shown: a name must not be
        // able to move the cursor of whoever reads the script.
        QStringList lines = statement.chopped(2).split(u"\r\n"_s);
        for (QString& line : lines) {
            line = db::ControlsShown(line);
        }
        text += lines.join(u'\n') + u"\nGO\n"_s;
    }
    return text + u'\n';
}

QString SummaryText(const engine::RunTotals& totals, bool dryRun) {
    const int total = totals.attached + totals.failed + totals.skipped + totals.planned;
    QString text = u"共 "_s + QString::number(total) + u" 个主数据库文件："_s;
    if (dryRun) {
        text += QString::number(totals.planned) + u" 个可以附加，"_s +
                QString::number(totals.failed) + u" 个不能"_s;
    } else {
        text += u"附加 "_s + QString::number(totals.attached) + u" 个，失败 "_s +
                QString::number(totals.failed) + u" 个"_s;
    }
    text += u"，跳过 "_s + QString::number(totals.skipped) + u" 个"_s;
    if (totals.notStarted > 0) {
        text += u"（已中断，"_s + QString::number(totals.notStarted) + u" 个未开始）"_s;
    }
    text += u"，用时 "_s + QString::number(static_cast<double>(totals.elapsedMs) / 1000.0, 'f', 1) +
            u" 秒。"_s;
    if (dryRun) {
        text += u"试运行，未向服务器发送任何内容。"_s;
    }
    return text;
}

QString FitToWidth(const QString& text, int columns) {
    if (DisplayWidth(text) <= columns) {
        return text;
    }
    QString kept;
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const QString piece = QString::fromUcs4(&c, 1);
        const int w = DisplayWidth(piece);
        if (width + w > columns - 1) {
            break;
        }
        kept += piece;
        width += w;
    }
    return kept + u"…"_s;
}

void RunReporter::ClearProgress() {
    if (!progress_.isEmpty()) {
        err_ << u"\r\x1b[K"_s;
        progress_.clear();
    }
}

void RunReporter::Report(const QString& text) {
    const std::lock_guard lock(mutex_);
    const QString shown = progress_;
    ClearProgress();
    err_ << WithLf(text);
    if (!shown.isEmpty()) {
        err_ << shown;
        progress_ = shown;
    }
    err_.flush();
}

void RunReporter::EntryDone(const EntryOutcome& outcome) {
    const std::lock_guard lock(mutex_);
    ++done_;
    if (form_.json) {
        out_ << QString::fromUtf8(
                    QJsonDocument(OutcomeJson(outcome)).toJson(QJsonDocument::Compact))
             << u'\n';
    } else if (form_.dryRun) {
        out_ << DryRunText(outcome);
    }
    out_.flush();
    // Entries never begun would fill a screen with one line each; the summary counts them.
    if (outcome.skipReason != SkipReason::NotStarted) {
        const QString line = ProgressLine(done_, total_, outcome);
        if (form_.terminal) {
            ClearProgress();
            progress_ = FitToWidth(line, kProgressColumns);
            err_ << progress_;
        } else {
            err_ << line << u'\n';
        }
    }
    err_.flush();
}

void RunReporter::Summary(const engine::RunTotals& totals) {
    const std::lock_guard lock(mutex_);
    if (!progress_.isEmpty()) {
        err_ << u'\n';
        progress_.clear();
    }
    err_ << SummaryText(totals, form_.dryRun) << u'\n';
    err_.flush();
}

}  // namespace quillane::cli
