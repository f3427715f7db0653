// quillane-attach: the command line beside the window.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/verbs.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    quillane::cli::Io io{out, err};
    const int status = quillane::cli::Run(QCoreApplication::arguments(), io);
    out.flush();
    err.flush();
    return status;
}
