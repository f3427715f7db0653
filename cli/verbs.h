#pragma once

// The verbs of quillane-attach. One table names each verb with its usage, its summary and the
// function that runs it; the same table drives the general help. `quillane-attach inspect …`
// runs the verb named "inspect"; arguments that name no verb go to the verb with an empty name,
// the one that attaches files.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <utility>

namespace quillane::cli {

struct Io {
    QTextStream& out;            // what was asked for: results, help, the version
    QTextStream& err;            // what went wrong, and how far a long run has come
    bool errIsTerminal = false;  // progress may be redrawn in place on `err`
};

inline constexpr int kExitReady = 0;     // every file is ready (attached, for the attach verb)
inline constexpr int kExitNotReady = 1;  // some file, or some directory, is not
// The command line is wrong; for the attach verb also: no server session before the first entry.
inline constexpr int kExitUsage = 2;

inline constexpr char16_t kProgram[] = u"quillane-attach";

struct Verb {
    QString name;  // empty: the verb that runs when the arguments name none
    QString usage;
    QString summary;
    // Runs the verb (given its own entry, for its usage and help) with the arguments that follow
    // its name; returns the exit status.
    int (*exec)(const Verb& verb, const QStringList& arguments, Io& io);
};

const QList<Verb>& Verbs();

// Runs quillane-attach with `arguments`, the program's own name first; returns the exit status.
int Run(const QStringList& arguments, Io& io);

QString GeneralHelp();

// A verb's own help: its usage, what it does, its arguments and options (the same option objects
// its parser takes) and what its exit statuses mean.
QString VerbHelp(const Verb& verb, const QString& description,
                 const QList<std::pair<QString, QString>>& arguments,
                 const QList<QCommandLineOption>& options, const QString& exitStatuses);

// Parses the arguments that follow a verb's name; on a bad one tells `io.err` and returns false.
bool ParseVerbArguments(QCommandLineParser& parser, const Verb& verb, const QStringList& arguments,
                        Io& io);

// Tells `io.err` what is wrong with the command line and where help is; returns kExitUsage.
int UsageError(const Verb* verb, const QString& message, Io& io);

}  // namespace quillane::cli
