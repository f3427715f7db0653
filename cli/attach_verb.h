#pragma once

// `quillane-attach [OPTIONS] FILE... | DIRECTORY...`: the window's attach run without a window,
// for headless servers and scripts.

#include <QStringList>

#include "cli/verbs.h"

namespace quillane::cli {

int AttachExec(const Verb& verb, const QStringList& arguments, Io& io);

}  // namespace quillane::cli
