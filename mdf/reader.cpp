// Reads what a primary data file records about its database: pages 0, 9 and 32 (and the IAM at
// page 12 when the file list spills). Every offset read is bounds-checked against the page and
// the record that holds it; anything that does not add up is reported, never guessed around.

#include <cstring>
#include <optional>

#include "mdf/file_access.h"
#include "mdf/mdf.h"
#include "mdf/page.h"

namespace mdf {
namespace {

using detail::Get;
using detail::kHeaderSize;
using detail::Page;
using detail::PageFile;

struct Failure {
    ReadStatus status;
    std::string detail;
};

std::string PageName(std::uint32_t id) {
    return "page " + std::to_string(id);
}

// Reads page `id`, checks its type, and undoes its page protection. `bad` is the status for a
// page that is there but wrong; a wrong type yields `wrongType`.
std::optional<Failure> LoadPage(const PageFile& file, std::uint32_t id, std::uint8_t type,
                                ReadStatus wrongType, ReadStatus bad, Page& page) {
    if (id >= file.pages()) {
        return Failure{
            wrongType == ReadStatus::NotPrimary ? ReadStatus::NotPrimary : bad,
            "file has " + std::to_string(file.pages()) + " whole pages, no " + PageName(id)};
    }
    if (auto why = file.Read(id, page)) {
        return Failure{bad, PageName(id) + ": read failed: " + *why};
    }
    if (page[detail::kOffType] != type) {
        return Failure{wrongType, PageName(id) + " has type " + std::to_string(page[1]) +
                                      ", expected " + std::to_string(type)};
    }
    const std::uint16_t flags = detail::FlagBits(page);
    if (flags & detail::kFlagChecksum) {
        const auto stored = Get<std::uint32_t>(page.data(), detail::kOffTornBits);
        if (stored != detail::PageChecksum(page)) {
            return Failure{bad, PageName(id) + ": checksum mismatch"};
        }
    } else if (flags & detail::kFlagTornBits) {
        detail::UndoTornBits(page);
    }
    return std::nullopt;
}

// Where slot `slot`'s record starts; fails unless the record start lies past the header and
// `minSize` bytes fit before the slot array.
std::optional<std::size_t> RecordAt(const Page& page, std::size_t slot, std::size_t minSize) {
    const std::size_t count = Get<std::uint16_t>(page.data(), detail::kOffSlotCnt);
    if (slot >= count || 2 * count > kPageSize - kHeaderSize) {
        return std::nullopt;
    }
    const std::size_t slotArray = kPageSize - 2 * count;
    const std::size_t off = Get<std::uint16_t>(page.data(), kPageSize - 2 - 2 * slot);
    if (off < kHeaderSize || off + minSize > slotArray) {
        return std::nullopt;
    }
    return off;
}

std::size_t SlotLimit(const Page& page) {
    return kPageSize - 2 * std::size_t{Get<std::uint16_t>(page.data(), detail::kOffSlotCnt)};
}

int RecordType(std::uint8_t statusA) {
    return (statusA >> 1) & 7;
}

std::u16string Utf16At(const std::uint8_t* p, std::size_t bytes) {
    std::u16string s(bytes / 2, u'\0');
    std::memcpy(s.data(), p, s.size() * 2);
    return s;
}

std::u16string TrimBlanks(std::u16string s) {
    while (!s.empty() && s.back() == u' ') {
        s.pop_back();
    }
    return s;
}

// Page 0's record keeps every property in a variable-length column; the binding id is the first
// one. Its offset in the record therefore depends on the column count, which differs by
// version (106 at 611, 110 at 655, 111 from 706 on), so it is found through the record's own
// column-offset array rather than assumed.
std::optional<Failure> ParseFileHeader(const Page& page, FileHeader& out) {
    auto bad = [](std::string why) {
        return Failure{ReadStatus::BadHeader, "page 0 record: " + std::move(why)};
    };
    const auto at = RecordAt(page, 0, 4);
    if (!at) {
        return bad("slot 0 missing or outside the page");
    }
    const std::uint8_t* r = page.data() + *at;
    const std::size_t room = SlotLimit(page) - *at;
    if (RecordType(r[0]) != 0 || (r[0] & 0x30) != 0x30) {
        return bad("not a primary record with variable-length columns");
    }
    const std::size_t fixedEnd = Get<std::uint16_t>(r, 2);
    if (fixedEnd < 4 || fixedEnd + 2 > room) {
        return bad("fixed part out of bounds");
    }
    const std::size_t columns = Get<std::uint16_t>(r, fixedEnd);
    const std::size_t varCountAt = fixedEnd + 2 + (columns + 7) / 8;
    if (varCountAt + 2 > room) {
        return bad("null bitmap out of bounds");
    }
    const std::size_t varCount = Get<std::uint16_t>(r, varCountAt);
    const std::size_t dataStart = varCountAt + 2 + 2 * varCount;
    if (varCount == 0 || varCount > columns || dataStart > room) {
        return bad("variable-column count " + std::to_string(varCount) + " does not fit");
    }
    const std::size_t firstEnd = Get<std::uint16_t>(r, varCountAt + 2);
    if (firstEnd != dataStart + 16 || firstEnd > room) {
        return bad("first variable column is not a 16-byte binding id");
    }
    std::memcpy(out.bindingId.data(), r + dataStart, 16);
    out.fileId = Get<std::int16_t>(page.data(), detail::kOffFileId);
    return std::nullopt;
}

// The boot record's fields, at their offsets relative to the record (the record sits at 96,
// so these are the familiar page offsets less 96).
constexpr std::size_t kBootVersion = 4;        // page offset 100
constexpr std::size_t kBootCreateVersion = 6;  // 102
constexpr std::size_t kBootName = 52;          // 148
constexpr std::size_t kBootNameLength = 308;   // 404
constexpr std::size_t kBootDatabaseId = 312;   // 408
constexpr std::size_t kBootCollation = 392;    // 488
constexpr std::size_t kBootMinSize = kBootCollation + 4;

std::optional<Failure> ParseBootPage(const Page& page, PrimaryFile& out) {
    auto bad = [](std::string why) {
        return Failure{ReadStatus::Damaged, "boot page: " + std::move(why)};
    };
    const auto at = RecordAt(page, 0, kBootMinSize);
    if (!at) {
        return bad("slot 0 missing, outside the page or too short for a boot record");
    }
    const std::uint8_t* r = page.data() + *at;
    if (RecordType(r[0]) != 0) {
        return bad("slot 0 is not a primary record");
    }
    const std::size_t length = Get<std::uint16_t>(r, 2);
    if (length < kBootMinSize || *at + length > SlotLimit(page)) {
        return bad("record length " + std::to_string(length) + " does not fit");
    }
    const std::size_t nameBytes = Get<std::uint16_t>(r, kBootNameLength);
    if (nameBytes == 0 || nameBytes > 256 || nameBytes % 2 != 0) {
        return bad("database name length " + std::to_string(nameBytes) + " bytes");
    }
    out.version = Get<std::int16_t>(r, kBootVersion);
    out.createVersion = Get<std::int16_t>(r, kBootCreateVersion);
    if (out.version <= 0) {
        return bad("database version " + std::to_string(out.version));
    }
    out.databaseName = Utf16At(r + kBootName, nameBytes);
    out.databaseId = Get<std::int16_t>(r, kBootDatabaseId);
    out.collationId = Get<std::uint32_t>(r, kBootCollation);
    return std::nullopt;
}

// sysfiles1 rows: fixed-length, 786 bytes up to the column count.
constexpr std::uint16_t kFileRecordFixed = 786;
constexpr std::size_t kFileStatus = 4;
constexpr std::size_t kFileId = 8;
constexpr std::size_t kFileLogicalName = 10;
constexpr std::size_t kFilePhysicalName = 266;

std::optional<Failure> ParseFileListPage(const Page& page, std::uint32_t id,
                                         std::vector<FileEntry>& out) {
    auto bad = [id](std::string why) {
        return Failure{ReadStatus::Damaged, "file list " + PageName(id) + ": " + std::move(why)};
    };
    if (Get<std::uint32_t>(page.data(), detail::kOffObjId) != 8 ||
        Get<std::uint16_t>(page.data(), detail::kOffIndexId) != 0) {
        return bad("not the sysfiles1 heap (object 8, index 0)");
    }
    if (Get<std::uint16_t>(page.data(), detail::kOffPminlen) != kFileRecordFixed) {
        return bad("pminlen is not 786");
    }
    const std::size_t count = Get<std::uint16_t>(page.data(), detail::kOffSlotCnt);
    for (std::size_t slot = 0; slot < count; ++slot) {
        const auto at = RecordAt(page, slot, kFileRecordFixed);
        if (!at) {
            return bad("slot " + std::to_string(slot) + " points outside the page");
        }
        const std::uint8_t* r = page.data() + *at;
        if (RecordType(r[0]) != 0) {
            continue;  // ghosts and other leftovers are not files
        }
        if (Get<std::uint16_t>(r, 2) != kFileRecordFixed) {
            return bad("slot " + std::to_string(slot) + " has a fixed length other than 786");
        }
        FileEntry e;
        e.status = Get<std::int32_t>(r, kFileStatus);
        e.fileId = Get<std::int16_t>(r, kFileId);
        e.logicalName = TrimBlanks(Utf16At(r + kFileLogicalName, 256));
        e.physicalName = TrimBlanks(Utf16At(r + kFilePhysicalName, 520));
        out.push_back(std::move(e));
    }
    return std::nullopt;
}

// Which pages hold the file list. The heap's pages are not chained (m_nextPage stays 0 on heap
// pages); the IAM at page 12 names them in its single-page slots. When page 12 is not that IAM
// the list is page 32 alone, as in every sample.
std::optional<Failure> FileListPages(const PageFile& file, std::vector<std::uint32_t>& pages) {
    pages = {32};
    Page iam{};
    if (file.pages() <= 12 || file.Read(12, iam).has_value() ||
        iam[detail::kOffType] != detail::kTypeIam ||
        Get<std::uint32_t>(iam.data(), detail::kOffObjId) != 8 ||
        Get<std::uint16_t>(iam.data(), detail::kOffIndexId) != 0) {
        return std::nullopt;
    }
    if (auto f =
            LoadPage(file, 12, detail::kTypeIam, ReadStatus::Damaged, ReadStatus::Damaged, iam)) {
        return f;
    }
    constexpr std::size_t kSinglePages = 46;  // 8 slots of (u32 page, u16 file)
    const auto header = RecordAt(iam, 0, kSinglePages + 8 * 6);
    if (!header) {
        return Failure{ReadStatus::Damaged, "IAM page 12: header record out of bounds"};
    }
    pages.clear();
    for (std::size_t i = 0; i < 8; ++i) {
        const std::uint8_t* slot = iam.data() + *header + kSinglePages + 6 * i;
        const auto page = Get<std::uint32_t>(slot, 0);
        const auto fileId = Get<std::uint16_t>(slot, 4);
        if (page == 0 && fileId == 0) {
            continue;
        }
        if (fileId != 1) {
            return Failure{ReadStatus::Damaged, "file list continues in file " +
                                                    std::to_string(fileId) + ", not this one"};
        }
        for (const std::uint32_t seen : pages) {
            if (seen == page) {
                return Failure{ReadStatus::Damaged,
                               "IAM page 12 names page " + std::to_string(page) + " twice"};
            }
        }
        pages.push_back(page);
    }
    if (pages.empty() || pages.front() != 32) {
        return Failure{ReadStatus::Damaged, "IAM page 12 does not start the file list at page 32"};
    }
    // Uniform extents would mean more than eight list pages: not something a fixture needs.
    if (const auto bitmap = RecordAt(iam, 1, 4)) {
        for (std::size_t i = *bitmap + 4; i < SlotLimit(iam); ++i) {
            if (iam[i] != 0) {
                return Failure{ReadStatus::Damaged, "file list spans uniform extents"};
            }
        }
    }
    return std::nullopt;
}

template <typename T>
ReadResult<T> Fail(Failure f) {
    ReadResult<T> r;
    r.status = f.status;
    r.detail = std::move(f.detail);
    return r;
}

std::optional<Failure> ReadHeaderPage(const PageFile& file, FileHeader& out) {
    if (file.pages() == 0) {
        return Failure{ReadStatus::BadHeader,
                       "file is " + std::to_string(file.bytes()) + " bytes, shorter than one page"};
    }
    Page page{};
    if (auto f = LoadPage(file, 0, detail::kTypeFileHeader, ReadStatus::BadHeader,
                          ReadStatus::BadHeader, page)) {
        return f;
    }
    return ParseFileHeader(page, out);
}

}  // namespace

ReadResult<FileHeader> ReadFileHeader(const std::filesystem::path& path) {
    PageFile file;
    if (auto f = file.Open(path)) {
        return Fail<FileHeader>({f->status, std::move(f->detail)});
    }
    ReadResult<FileHeader> result;
    if (auto f = ReadHeaderPage(file, result.value)) {
        return Fail<FileHeader>(std::move(*f));
    }
    return result;
}

ReadResult<PrimaryFile> ReadPrimaryFile(const std::filesystem::path& path) {
    PageFile file;
    if (auto f = file.Open(path)) {
        return Fail<PrimaryFile>({f->status, std::move(f->detail)});
    }
    ReadResult<PrimaryFile> result;
    PrimaryFile& out = result.value;

    FileHeader header;
    if (auto f = ReadHeaderPage(file, header)) {
        return Fail<PrimaryFile>(std::move(*f));
    }
    out.bindingId = header.bindingId;

    Page page{};
    if (auto f = LoadPage(file, 9, detail::kTypeBoot, ReadStatus::NotPrimary, ReadStatus::Damaged,
                          page)) {
        return Fail<PrimaryFile>(std::move(*f));
    }
    if (auto f = ParseBootPage(page, out)) {
        return Fail<PrimaryFile>(std::move(*f));
    }

    std::vector<std::uint32_t> listPages;
    if (auto f = FileListPages(file, listPages)) {
        return Fail<PrimaryFile>(std::move(*f));
    }
    for (const std::uint32_t id : listPages) {
        if (auto f = LoadPage(file, id, detail::kTypeData, ReadStatus::Damaged, ReadStatus::Damaged,
                              page)) {
            return Fail<PrimaryFile>(std::move(*f));
        }
        if (auto f = ParseFileListPage(page, id, out.files)) {
            return Fail<PrimaryFile>(std::move(*f));
        }
    }
    if (out.files.empty()) {
        return Fail<PrimaryFile>({ReadStatus::Damaged, "file list has no files"});
    }
    return result;
}

const char* ToString(ReadStatus status) {
    switch (status) {
        case ReadStatus::Ok:
            return "Ok";
        case ReadStatus::NotFound:
            return "NotFound";
        case ReadStatus::AccessDenied:
            return "AccessDenied";
        case ReadStatus::NotPrimary:
            return "NotPrimary";
        case ReadStatus::BadHeader:
            return "BadHeader";
        case ReadStatus::Damaged:
            return "Damaged";
    }
    return "?";
}

}  // namespace mdf
