// Receiving, compiling and running a batch.
#include "batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <optional>
#include <string>

#include "attach.h"
#include "catalog.h"
#include "config.h"
#include "dbcc.h"
#include "faults.h"
#include "messages.h"
#include "session.h"
#include "token.h"
#include "transcript.h"
#include "tsql.h"

namespace tdsserver {
namespace {

std::mutex g_transcriptMutex;  // guards the transcript file and the batch counter
long long g_batchCount = 0;

// Numbers the batch and appends it to the transcript; --exit-after ends the process here, with
// the batch already on record. Returns the batch's number.
long long Record(const std::string& login, const std::u16string& text) {
    std::lock_guard lock(g_transcriptMutex);
    const long long n = ++g_batchCount;
    const std::string& path = Options().transcriptPath;
    if (!path.empty()) {
        const std::string rec = tdsfiles::FormatTranscriptRecord(n, login, text);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, rec.data(), rec.size());
            ::close(fd);
        }
    }
    ExitIfReached(n);
    return n;
}

Outcome RunSelectNames(Writer& w) {
    const std::vector<std::u16string> names = DatabaseNames();
    ColMetadata(w, {{u"name", false, 128}});
    for (const auto& n : names)
        Row(w, {n});
    return Outcome{done::kCount, 0xC1, names.size()};
}

Outcome RunUse(Session& s, Writer& w, const tsql::UseDatabase& u, std::int32_t line) {
    const std::optional<std::u16string> found = FindDatabase(u.name);
    if (!found) {
        Put(w, DatabaseDoesNotExist(u.name), line);
        return Outcome{done::kError, 0, 0};
    }
    EnvChangeString(w, 1, *found, s.database);
    Put(w, ChangedDatabase(*found, 1), line);
    s.database = *found;
    return Outcome{};
}

}  // namespace

bool HandleBatch(Session& s, const std::vector<std::uint8_t>& p) {
    std::size_t off = 0;
    if (s.version >= 0x72000000u) {
        // ALL_HEADERS, skipped by its own length.
        if (p.size() < 4)
            return false;
        off = Le32(p, 0);
        if (off < 4 || off > p.size())
            return false;
    }
    if ((p.size() - off) % 2)
        return false;
    const std::u16string text = ReadUcs2(p, off, (p.size() - off) / 2);
    ++s.batches;
    const long long number = Record(s.login, text);
    if (CloseAfterReached(s.batches))
        return false;

    switch (WaitOutDelay(s.fd, number)) {
        case Delay::Over:
            break;
        case Delay::ConnectionLost:
            return false;
        case Delay::Cancelled: {
            Writer w;
            Done(w, done::kAttention);
            return s.Send(w);
        }
    }

    Writer w;
    tsql::ParseResult parsed = tsql::ParseBatch(text);
    if (!parsed.errors.empty()) {
        for (const auto& e : parsed.errors) {
            Error(w, e.number, e.state, e.severity, e.text, e.line);
        }
        Done(w, done::kError);
        return s.Send(w);
    }
    if (parsed.statements.empty()) {
        Done(w, 0);
        return s.Send(w);
    }
    for (std::size_t i = 0; i < parsed.statements.size(); ++i) {
        const auto& ps = parsed.statements[i];
        switch (WaitOutStatementDelay(s.fd)) {
            case Delay::Over:
                break;
            case Delay::ConnectionLost:
                return false;
            case Delay::Cancelled: {
                // What the statements before this one said is dropped with them, as a client
                // that cancelled reads nothing but the attention's DONE.
                Writer cancelled;
                Done(cancelled, done::kAttention);
                return s.Send(cancelled);
            }
        }
        Outcome o;
        if (const auto* d = std::get_if<tsql::DbccCheckPrimaryFile>(&ps.statement)) {
            o = RunDbcc(w, *d, ps.line);
        } else if (const auto* c = std::get_if<tsql::CreateDatabaseForAttach>(&ps.statement)) {
            o = RunAttach(w, *c, ps.line);
        } else if (std::holds_alternative<tsql::SelectDatabaseNames>(ps.statement)) {
            o = RunSelectNames(w);
        } else if (const auto* u = std::get_if<tsql::UseDatabase>(&ps.statement)) {
            o = RunUse(s, w, *u, ps.line);
        }
        const bool last = i + 1 == parsed.statements.size();
        Done(w, std::uint16_t(o.status | (last ? 0 : done::kMore)), o.curcmd, o.rows);
    }
    return s.Send(w);
}

}  // namespace tdsserver
