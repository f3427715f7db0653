// The one place the reader touches the operating system: opening a file for reading and reading
// whole pages from it. Everything above it is portable C++: file_access.cpp holds the POSIX calls,
// file_access_win.cpp the Windows ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "mdf/mdf.h"
#include "mdf/page.h"

namespace mdf::detail {

struct OpenError {
    ReadStatus status;  // NotFound or AccessDenied, as the server's operating system error 2 or 5
    std::string detail;
};

class PageFile {
  public:
    PageFile() = default;
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // Opens `path` for reading. NotFound when the path or a directory on the way does not exist;
    // AccessDenied for whatever else keeps it from being read as a file: permissions, and a
    // directory or device in its place (Windows refuses those with error 5 too).
    std::optional<OpenError> Open(const std::filesystem::path& path);

    std::uint64_t bytes() const { return bytes_; }
    std::uint64_t pages() const { return bytes_ / kPageSize; }

    // Reads page `pageId` whole; on failure says why.
    std::optional<std::string> Read(std::uint32_t pageId, Page& page) const;

  private:
#ifdef _WIN32
    void* handle_ = nullptr;  // a HANDLE; null while closed
#else
    int fd_ = -1;
#endif
    std::uint64_t bytes_ = 0;
};

}  // namespace mdf::detail
