// quillane-attach: the command line beside the window.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/verbs.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
#ifdef Q_OS_WIN
    const bool errIsTerminal = _isatty(_fileno(stderr)) != 0;
#else
    const bool errIsTerminal = ::isatty(STDERR_FILENO) != 0;
#endif
    quillane::cli::Io io{out, err, errIsTerminal};
    const int status = quillane::cli::Run(QCoreApplication::arguments(), io);
    out.flush();
    err.flush();
    return status;
}
