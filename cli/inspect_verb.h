#pragma once

// `quillane-attach inspect FILE... | DIRECTORY...`: what each primary file records and what an
// attach of it would need, without a server.

#include <QStringList>

#include "cli/verbs.h"

namespace quillane::cli {

int InspectExec(const Verb& verb, const QStringList& arguments, Io& io);

}  // namespace quillane::cli
