#pragma once

// The directories `quillane-attach inspect` is tried on, each set up the way a DBA finds files
// after moving them: sound, or with the one fault that makes an attach fail, and what the server
// answers to that fault. The inspect test and the test that attaches the same files with the test
// server share it, so both hold the verdicts to the same table.

#include <QString>
#include <string>
#include <vector>

namespace inspecttable {

struct Row {
    std::string label;
    QString argument;         // what inspect is given: the row's directory, or a path in it
    int error = 0;            // the server error an attach meets first; 0 when it succeeds
    int osError = 0;          // with 5120: the operating system error it quotes
    QString failing;          // the file the error is about, absolute; empty when ready
    bool unreadable = false;  // needs a user that cannot read the file
};

// Writes every row under `base` (each in a directory of its own, named by its label) and returns
// them in table order.
std::vector<Row> MakeTable(const QString& base);

}  // namespace inspecttable
