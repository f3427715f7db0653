#pragma once

// Everything quillane-attach tells its caller about files goes through one Formatter: plain text
// for people (aligned columns, Chinese headings in the window's words) or one JSON object per
// line for scripts, both made from the same values.

#include <QJsonObject>
#include <QString>
#include <QStringView>
#include <QTextStream>

#include "cli/inspection.h"

namespace quillane::cli {

enum class OutputForm { Text, Json };

class Formatter {
  public:
    Formatter(QTextStream& out, OutputForm form) : out_(out), form_(form) {}

    // One primary file: a block of text, or one JSON object on a line of its own. Written and
    // flushed at once, so that a long run shows each file as it is done.
    void Write(const Inspection& inspection);
    // The closing count of a run, for people; nothing in JSON, where every line is a file.
    void Summary(int total, int ready);

  private:
    QTextStream& out_;
    OutputForm form_;
    bool first_ = true;
};

QString InspectionText(const Inspection& inspection);
QJsonObject InspectionJson(const Inspection& inspection);

// Columns a terminal gives `text`: CJK and other wide characters take two, combining marks none.
int DisplayWidth(QStringView text);
// `text` padded with blanks to `width` columns.
QString PadToWidth(const QString& text, int width);
// `text` with control characters (C0, DEL and C1) written as \xNN: names and paths come from the
// files, and none of them may move the cursor or recolour the terminal.
QString Printable(const QString& text);

}  // namespace quillane::cli
