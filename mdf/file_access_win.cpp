// Windows files: CreateFileW, GetFileSizeEx and ReadFile at an offset.

#include "mdf/file_access.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace mdf::detail {
namespace {

// The path as UTF-8: a name in any script must come through whole, as on POSIX systems.
std::string Shown(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Why(const std::filesystem::path& path, DWORD error) {
    return Shown(path) + ": Windows error " + std::to_string(error);
}

}  // namespace

PageFile::~PageFile() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

std::optional<OpenError> PageFile::Open(const std::filesystem::path& path) {
    // Readers and writers that share the file are let be: a detached file belongs to no server.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME:
            case ERROR_BAD_NETPATH:
            case ERROR_BAD_NET_NAME:
            case ERROR_INVALID_DRIVE:
            case ERROR_FILENAME_EXCED_RANGE:
                return OpenError{ReadStatus::NotFound, Why(path, error)};
            default:
                // A directory in its place comes here too, as error 5.
                return OpenError{ReadStatus::AccessDenied, Why(path, error)};
        }
    }
    handle_ = file;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return OpenError{ReadStatus::AccessDenied, Shown(path) + ": not a regular file"};
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return OpenError{ReadStatus::AccessDenied, Why(path, GetLastError())};
    }
    bytes_ = static_cast<std::uint64_t>(size.QuadPart);
    return std::nullopt;
}

std::optional<std::string> PageFile::Read(std::uint32_t pageId, Page& page) const {
    std::size_t done = 0;
    const std::uint64_t base = static_cast<std::uint64_t>(pageId) * kPageSize;
    while (done < kPageSize) {
        // On a handle opened for synchronous reads the offset in OVERLAPPED says where to read.
        OVERLAPPED at{};
        const std::uint64_t offset = base + done;
        at.Offset = static_cast<DWORD>(offset & 0xffffffffu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(handle_, page.data() + done, static_cast<DWORD>(kPageSize - done), &n, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                return std::string("end of file");
            }
            return "Windows error " + std::to_string(error);
        }
        if (n == 0) {
            return std::string("end of file");
        }
        done += n;
    }
    return std::nullopt;
}

}  // namespace mdf::detail
