// The fixture maker: primary data files and log files laid out as SQL Server lays them out, as
// far as pages 0, 9, 12 and 32 go. Other pages are left zero; nothing here reads them.

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "mdf/page.h"
#include "mdf_fixture.h"

namespace mdf {
namespace {

using detail::kHeaderSize;
using detail::Page;
using detail::Put;

constexpr std::int32_t kObjFileHeader = 99;  // what the samples carry on pages 0 and 9
constexpr std::uint32_t kListRecordsPerPage = 10;
constexpr std::size_t kListRecordStride = 792;  // 789-byte rows, 8-byte aligned as on disk
constexpr std::uint32_t kMaxListPages = 8;      // the IAM's single-page slots

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

void InitHeader(Page& p, std::uint8_t type, std::uint32_t pageId, std::uint16_t fileId,
                std::int32_t objId) {
    p.fill(0);
    p[0] = 1;
    p[detail::kOffType] = type;
    Put<std::int32_t>(p.data(), detail::kOffObjId, objId);
    Put<std::uint32_t>(p.data(), detail::kOffPageId, pageId);
    Put<std::uint16_t>(p.data(), detail::kOffFileId, fileId);
}

// Places records in slot order from offset 96 and fills in the header's slot and free counts.
void AddRecord(Page& p, std::size_t offset, std::size_t length) {
    const auto slots = detail::Get<std::uint16_t>(p.data(), detail::kOffSlotCnt);
    Put<std::uint16_t>(p.data(), kPageSize - 2 - 2 * std::size_t{slots},
                       static_cast<std::uint16_t>(offset));
    Put<std::uint16_t>(p.data(), detail::kOffSlotCnt, static_cast<std::uint16_t>(slots + 1));
    const std::size_t freeData = offset + length;
    Put<std::uint16_t>(p.data(), detail::kOffFreeData, static_cast<std::uint16_t>(freeData));
    Put<std::uint16_t>(p.data(), detail::kOffFreeCnt,
                       static_cast<std::uint16_t>(kPageSize - freeData - 2 * (slots + 1)));
}

// Seals a finished page the way the database's page-verify option would.
void Protect(Page& p, bool torn) {
    if (torn) {
        Put<std::uint16_t>(p.data(), detail::kOffFlagBits,
                           detail::FlagBits(p) | detail::kFlagTornBits);
        detail::ApplyTornBits(p, 1);
    } else {
        Put<std::uint16_t>(p.data(), detail::kOffFlagBits,
                           detail::FlagBits(p) | detail::kFlagChecksum);
        Put<std::uint32_t>(p.data(), detail::kOffTornBits, detail::PageChecksum(p));
    }
}

void PutUtf16(std::uint8_t* dst, const std::u16string& s) {
    std::memcpy(dst, s.data(), 2 * s.size());
}

// Page 0's record in the layout of versions 706 and later: 49 columns, 46 of them variable,
// every property a variable-length column. Lengths as in the samples; the binding id is the
// first variable column and the logical name the 27th.
Page FileHeaderPage(const BindingId& binding, std::int16_t fileId, std::uint32_t pages,
                    const std::u16string& logicalName) {
    static constexpr std::uint16_t kSampleEnds[46] = {
        127, 127, 129, 131, 135, 139, 143, 147, 157, 167, 177, 177, 181, 185, 189, 193,
        203, 231, 241, 251, 261, 277, 287, 303, 307, 317, 317, 335, 351, 351, 351, 351,
        351, 351, 351, 367, 367, 367, 377, 387, 415, 425, 441, 469, 477, 1077};
    constexpr std::size_t kLogicalNameColumn = 26;
    constexpr std::size_t kDataStart = 111;  // 8 fixed + 2 + 7 null bitmap + 2 + 46 * 2

    std::size_t lengths[46];
    std::uint16_t previous = kDataStart;
    for (std::size_t i = 0; i < 46; ++i) {
        lengths[i] = kSampleEnds[i] - previous;
        previous = kSampleEnds[i];
    }
    lengths[kLogicalNameColumn] = 2 * logicalName.size();

    Page p;
    InitHeader(p, detail::kTypeFileHeader, 0, static_cast<std::uint16_t>(fileId), kObjFileHeader);
    std::uint8_t* r = p.data() + kHeaderSize;
    r[0] = 0x30;  // primary record, null bitmap, variable columns
    Put<std::uint16_t>(r, 2, 8);
    Put<std::uint16_t>(r, 8, 49);
    Put<std::uint16_t>(r, 17, 46);
    std::size_t end = kDataStart;
    for (std::size_t i = 0; i < 46; ++i) {
        end += lengths[i];
        Put<std::uint16_t>(r, 19 + 2 * i, static_cast<std::uint16_t>(end));
    }
    std::memcpy(r + kDataStart, binding.data(), 16);
    std::size_t at = kDataStart + 16;  // column 1 is empty
    Put<std::int16_t>(r, at, fileId);
    Put<std::int16_t>(r, at + 2, fileId == 2 ? 0 : 1);  // file group: none for a log
    Put<std::uint32_t>(r, at + 4, pages);               // size in pages
    Put<std::int32_t>(r, at + 8, -1);                   // max size: unlimited
    Put<std::int32_t>(r, at + 12, 128);                 // growth
    at = kDataStart;
    for (std::size_t i = 0; i < kLogicalNameColumn; ++i) {
        at += lengths[i];
    }
    PutUtf16(r + at, logicalName);
    AddRecord(p, kHeaderSize, end);
    return p;
}

Page BootPage(const FixtureSpec& fixture) {
    constexpr std::size_t kBootRecordLength = 1768;  // as the 2014 sample's
    Page p;
    InitHeader(p, detail::kTypeBoot, 9, 1, kObjFileHeader);
    std::uint8_t* r = p.data() + kHeaderSize;
    Put<std::uint16_t>(r, 2, kBootRecordLength);
    Put<std::int16_t>(r, 4, fixture.version);
    Put<std::int16_t>(r, 6, fixture.createVersion != 0 ? fixture.createVersion : fixture.version);
    // Detached files pad the name with 0x20 bytes, i.e. U+2020 once read as UTF-16.
    std::memset(r + 52, 0x20, 256);
    PutUtf16(r + 52, fixture.databaseName);
    Put<std::uint16_t>(r, 308, static_cast<std::uint16_t>(2 * fixture.databaseName.size()));
    Put<std::int16_t>(r, 312, fixture.databaseId);
    Put<std::uint32_t>(r, 392, fixture.collationId);
    AddRecord(p, kHeaderSize, kBootRecordLength);
    return p;
}

void PutBlankPadded(std::uint8_t* dst, const std::u16string& s, std::size_t chars) {
    for (std::size_t i = 0; i < chars; ++i) {
        Put<char16_t>(dst, 2 * i, i < s.size() ? s[i] : u' ');
    }
}

Page FileListPage(std::uint32_t pageId, const std::vector<FileEntry>& files, std::size_t first,
                  std::size_t count) {
    Page p;
    InitHeader(p, detail::kTypeData, pageId, 1, 8);
    Put<std::uint16_t>(p.data(), detail::kOffPminlen, 786);
    for (std::size_t i = 0; i < count; ++i) {
        const FileEntry& e = files[first + i];
        const std::size_t off = kHeaderSize + i * kListRecordStride;
        std::uint8_t* r = p.data() + off;
        r[0] = 0x10;  // primary record with a null bitmap
        Put<std::uint16_t>(r, 2, 786);
        Put<std::int32_t>(r, 4, e.status);
        Put<std::int16_t>(r, 8, e.fileId);
        PutBlankPadded(r + 10, e.logicalName, 128);
        PutBlankPadded(r + 266, e.physicalName, 260);
        Put<std::uint16_t>(r, 786, 4);  // four columns, none null
        AddRecord(p, off, kListRecordStride);
    }
    return p;
}

// The IAM of the file list heap: its pages go into the single-page slots.
Page IamPage(std::uint32_t listPages) {
    Page p;
    InitHeader(p, detail::kTypeIam, 12, 1, 8);
    Put<std::uint16_t>(p.data(), detail::kOffPminlen, 90);
    std::uint8_t* r = p.data() + kHeaderSize;
    Put<std::uint16_t>(r, 2, 94);
    Put<std::uint16_t>(r, 44, 1);  // the GAM interval starts at (1:0)
    for (std::uint32_t i = 0; i < listPages; ++i) {
        Put<std::uint32_t>(r, 46 + 6 * i, i == 0 ? 32 : 32 + i);
        Put<std::uint16_t>(r, 50 + 6 * i, 1);
    }
    AddRecord(p, kHeaderSize, 96);
    std::uint8_t* bitmap = p.data() + 192;
    Put<std::uint16_t>(bitmap, 2, 7992);
    AddRecord(p, 192, 7992);
    return p;
}

void WritePages(const std::filesystem::path& path, const std::vector<Page>& pages) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        Fail("cannot create " + path.string());
    }
    for (const Page& p : pages) {
        out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    }
    out.close();
    if (!out) {
        Fail("cannot write " + path.string());
    }
}

BindingId DeriveBindingId(const std::u16string& name) {
    // Two FNV-1a passes with different offsets: stable per name, distinct across names.
    BindingId id{};
    for (int half = 0; half < 2; ++half) {
        std::uint64_t h = half == 0 ? 0xcbf29ce484222325ull : 0x84222325cbf29ce4ull;
        for (const char16_t c : name) {
            h = (h ^ (c & 0xff)) * 0x100000001b3ull;
            h = (h ^ (c >> 8)) * 0x100000001b3ull;
        }
        std::memcpy(id.data() + 8 * half, &h, 8);
    }
    id[7] = static_cast<std::uint8_t>((id[7] & 0x0f) | 0x40);  // a version-4 style GUID
    id[8] = static_cast<std::uint8_t>((id[8] & 0x3f) | 0x80);
    return id;
}

void Check(bool ok, const std::string& what) {
    if (!ok) {
        throw std::invalid_argument(what);
    }
}

}  // namespace

void WritePrimaryFile(const std::filesystem::path& path, const FixtureSpec& fixture) {
    Check(!fixture.databaseName.empty() && fixture.databaseName.size() <= 128,
          "database name must be 1..128 UTF-16 code units");
    Check(!fixture.files.empty(), "a primary file lists at least itself");
    for (const FileEntry& e : fixture.files) {
        Check(e.logicalName.size() <= 128, "logical file name longer than 128");
        Check(e.physicalName.size() <= 260, "physical file name longer than 260");
    }
    const std::uint32_t listPages = static_cast<std::uint32_t>(
        (fixture.files.size() + kListRecordsPerPage - 1) / kListRecordsPerPage);
    Check(listPages <= kMaxListPages, "more files than eight list pages hold");

    const BindingId binding = std::all_of(fixture.bindingId.begin(), fixture.bindingId.end(),
                                          [](std::uint8_t b) { return b == 0; })
                                  ? DeriveBindingId(fixture.databaseName)
                                  : fixture.bindingId;
    const std::uint32_t pageCount = 32 + listPages;
    std::u16string logicalName;
    for (const FileEntry& e : fixture.files) {
        if (e.fileId == 1) {
            logicalName = e.logicalName;
        }
    }

    std::vector<Page> pages(pageCount);
    for (std::uint32_t i = 0; i < pageCount; ++i) {
        pages[i].fill(0);
    }
    pages[0] = FileHeaderPage(binding, 1, pageCount, logicalName);
    pages[9] = BootPage(fixture);
    pages[12] = IamPage(listPages);
    for (std::uint32_t i = 0; i < listPages; ++i) {
        const std::size_t first = std::size_t{i} * kListRecordsPerPage;
        const std::size_t count =
            std::min<std::size_t>(kListRecordsPerPage, fixture.files.size() - first);
        pages[32 + i] = FileListPage(32 + i, fixture.files, first, count);
    }
    for (const std::uint32_t id : {0u, 9u, 12u}) {
        Protect(pages[id], fixture.tornPageProtection);
    }
    for (std::uint32_t i = 0; i < listPages; ++i) {
        Protect(pages[32 + i], fixture.tornPageProtection);
    }
    WritePages(path, pages);
}

void WriteLogFile(const std::filesystem::path& path, const BindingId& bindingId,
                  std::int16_t fileId) {
    constexpr std::uint32_t kLogPages = 8;
    std::vector<Page> pages(kLogPages);
    for (Page& p : pages) {
        p.fill(0);
    }
    pages[0] = FileHeaderPage(bindingId, fileId, kLogPages, u"");
    Protect(pages[0], false);
    WritePages(path, pages);
}

void WriteMatchingLogFile(const std::filesystem::path& primaryPath,
                          const std::filesystem::path& logPath, std::int16_t fileId) {
    const auto header = ReadFileHeader(primaryPath);
    if (!header) {
        Fail(primaryPath.string() + ": " + ToString(header.status) + " " + header.detail);
    }
    WriteLogFile(logPath, header.value.bindingId, fileId);
}

void PatchPage(const std::filesystem::path& path, std::uint32_t pageId, std::size_t offset,
               const void* data, std::size_t size) {
    if (offset > kPageSize || size > kPageSize - offset) {
        Fail("patch runs past the page");
    }
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    const auto at = static_cast<std::streamoff>(pageId) * static_cast<std::streamoff>(kPageSize);
    Page p;
    f.seekg(at);
    f.read(reinterpret_cast<char*>(p.data()), static_cast<std::streamsize>(p.size()));
    if (!f) {
        Fail("cannot read page " + std::to_string(pageId) + " of " + path.string());
    }
    const std::uint16_t flags = detail::FlagBits(p);
    const bool torn = (flags & detail::kFlagTornBits) && !(flags & detail::kFlagChecksum);
    const std::uint32_t pattern = detail::Get<std::uint32_t>(p.data(), detail::kOffTornBits) & 3u;
    if (torn) {
        detail::UndoTornBits(p);
    }
    std::memcpy(p.data() + offset, data, size);
    const std::uint16_t newFlags = detail::FlagBits(p);
    if (torn && (newFlags & detail::kFlagTornBits)) {
        detail::ApplyTornBits(p, pattern);
    } else if (newFlags & detail::kFlagChecksum) {
        // A patch that overwrote the checksum itself is left as the caller wrote it.
        if (offset + size <= detail::kOffTornBits || offset >= detail::kOffTornBits + 4) {
            Put<std::uint32_t>(p.data(), detail::kOffTornBits, detail::PageChecksum(p));
        }
    }
    f.seekp(at);
    f.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    f.flush();
    if (!f) {
        Fail("cannot write page " + std::to_string(pageId) + " of " + path.string());
    }
}

}  // namespace mdf
