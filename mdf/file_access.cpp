// POSIX files: open(2), fstat(2) and pread(2).

#include "mdf/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mdf::detail {

PageFile::~PageFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<OpenError> PageFile::Open(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        const int err = errno;
        const std::string what = path.string() + ": " + std::strerror(err);
        if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG || err == ELOOP) {
            return OpenError{ReadStatus::NotFound, what};
        }
        return OpenError{ReadStatus::AccessDenied, what};
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return OpenError{ReadStatus::AccessDenied, path.string() + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(st.st_mode)) {
        return OpenError{ReadStatus::AccessDenied, path.string() + ": not a regular file"};
    }
    bytes_ = static_cast<std::uint64_t>(st.st_size);
    return std::nullopt;
}

std::optional<std::string> PageFile::Read(std::uint32_t pageId, Page& page) const {
    std::size_t done = 0;
    const off_t base = static_cast<off_t>(pageId) * static_cast<off_t>(kPageSize);
    while (done < kPageSize) {
        const ssize_t n =
            ::pread(fd_, page.data() + done, kPageSize - done, base + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::string(std::strerror(errno));
        }
        if (n == 0) {
            return std::string("end of file");
        }
        done += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

}  // namespace mdf::detail
