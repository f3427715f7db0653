#pragma once

// What `quillane-attach FILE...` tells its caller while it attaches: reports (the window's
// message boxes) and one progress line per entry on standard error, one JSON object per entry on
// standard output with --json, the statements of a dry run on standard output, and the summary.
// Text and JSON are made from the same outcome.

#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <mutex>

#include "engine/headless_run.h"

namespace quillane::cli {

struct RunOutputForm {
    bool json = false;
    bool dryRun = false;
    bool terminal = false;  // standard error is a terminal: one progress line, redrawn in place
};

class RunReporter {
  public:
    RunReporter(QTextStream& out, QTextStream& err, RunOutputForm form, qsizetype total)
        : out_(out), err_(err), form_(form), total_(total) {}

    // A report or notice, whole, on standard error.
    void Report(const QString& text);
    // One entry is done.
    void EntryDone(const engine::EntryOutcome& outcome);
    // The closing count, on standard error.
    void Summary(const engine::RunTotals& totals);

  private:
    void ClearProgress();

    QTextStream& out_;
    QTextStream& err_;
    RunOutputForm form_;
    qsizetype total_;
    qsizetype done_ = 0;
    QString progress_;  // the progress line standing on the terminal, if any
    std::mutex mutex_;
};

// "[12/100] 库存 … 成功": the count done so far, what the entry is (its database name, or its file
// name before the server named it) and how it ended.
QString ProgressLine(qsizetype done, qsizetype total, const engine::EntryOutcome& outcome);
QJsonObject OutcomeJson(const engine::EntryOutcome& outcome);
// A dry run's entry as a script: a comment naming the file, then each statement followed by GO.
QString DryRunText(const engine::EntryOutcome& outcome);
QString SummaryText(const engine::RunTotals& totals, bool dryRun);
// `text` cut to `columns` terminal columns, with "…" where it was cut.
QString FitToWidth(const QString& text, int columns);

}  // namespace quillane::cli
