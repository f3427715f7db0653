#pragma once

// `quillane-attach inspect FILE... | DIRECTORY...`: what each primary file records and what an
// attach of it would need, without a server.

#include <QStringList>

#include "cli/verbs.h"

namespace quillane::cli {

int InspectExec(const Verb& verb, const QStringList& arguments, Io& io);

// The primary files a directory argument stands for: every name in it that matches "*.mdf"
// without regard to case (hidden names and directories so named included: an attach would be
// asked to open them too), sorted as the window's file list sorts, each as an absolute path.
// Fills `error` and returns nothing when the directory cannot be read.
QStringList PrimaryFilesIn(const QString& directory, QString& error);

}  // namespace quillane::cli
