// Opening primary files and telling why one cannot be used.
#include "files.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "catalog.h"
#include "config.h"
#include "messages.h"
#include "transcript.h"

namespace tdsserver {

std::filesystem::path ToPath(const std::u16string& path) {
    std::string text = tdsfiles::ToUtf8(path);
    // "X:\…" or "X:/…" on a mapped drive: the drive's directory, with "\" read as "/".
    if (text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) {
        const auto drive = Options().drives.find(
            static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))));
        if (drive != Options().drives.end()) {
            std::string rest = text.substr(3);
            std::replace(rest.begin(), rest.end(), '\\', '/');
            std::string dir = drive->second;
            if (dir.empty() || dir.back() != '/')
                dir += '/';
            text = dir + rest;
        }
    }
    return std::filesystem::path(text);
}

std::filesystem::path Canonical(const std::u16string& path) {
    std::error_code ec;
    std::filesystem::path c = std::filesystem::weakly_canonical(ToPath(path), ec);
    return ec ? ToPath(path) : c;
}

std::optional<mdf::PrimaryFile> OpenPrimary(Writer& w, const std::u16string& path,
                                            std::int32_t line) {
    if (IsHeld(Canonical(path))) {
        Put(w, UnableToOpen(path, 32), line);
        return std::nullopt;
    }
    auto r = mdf::ReadPrimaryFile(ToPath(path));
    switch (r.status) {
        case mdf::ReadStatus::Ok:
            return r.value;
        case mdf::ReadStatus::NotFound:
            Put(w, UnableToOpen(path, 2), line);
            break;
        case mdf::ReadStatus::AccessDenied:
            Put(w, UnableToOpen(path, 5), line);
            break;
        case mdf::ReadStatus::NotPrimary:
            Put(w, NotPrimaryFile(path), line);
            break;
        case mdf::ReadStatus::BadHeader:
        case mdf::ReadStatus::Damaged: {
            Log("file " + tdsfiles::ToUtf8(path) + ": " + r.detail);
            std::error_code ec;
            const auto size = std::filesystem::file_size(ToPath(path), ec);
            const bool sizeWrong = !ec && (size < mdf::kPageSize * 10 || size % mdf::kPageSize);
            Put(w, BadFileHeader(path, sizeWrong ? u"FILE SIZE" : u"PageAudit"), line);
            break;
        }
    }
    return std::nullopt;
}

}  // namespace tdsserver
