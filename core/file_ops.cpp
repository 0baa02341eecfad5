#include "core/file_ops.h"

#include "core/file_stream.h"
#include "core/utils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

constexpr int kMaxLinks = 40;

std::string ErrorText(int error) {
    return std::strerror(error);
}

bool StatFolder(const std::string& path, struct stat& st) {
    return ::stat(FolderOf(path).c_str(), &st) == 0;
}

} // namespace

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::vector<char> buffer(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n;
        for (;;) {
            n = ::readlink(current.c_str(), buffer.data(), buffer.size());
            if (n < 0)
                return current; // replaced meanwhile: what is there now is the target
            if (size_t(n) < buffer.size())
                break;
            buffer.resize(buffer.size() * 2);
        }
        const std::string target(buffer.data(), size_t(n));
        current = !target.empty() && target[0] == '/' ? target : ExtractFilePath(current) + target;
    }
    throw EFileError(path, ErrorText(ELOOP));
}

std::string FolderOf(const std::string& path) {
    std::string folder = ExtractFilePath(path);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder.empty() ? std::string(".") : folder;
}

uint64_t StableHash(std::span<const uint8_t> bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (uint8_t c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

uint64_t StableHash(std::string_view text) {
    return StableHash(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string HexOf64(uint64_t value) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

std::string HiddenNameFor(const std::string& path, const std::string& suffix) {
    return ExtractFilePath(path) + "." + HexOf64(StableHash(ExtractFileName(path))) + suffix;
}

std::string ReplacementNameFor(const std::string& path) {
    return HiddenNameFor(ResolveLinks(path), ".new");
}

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return StatFolder(a, sa) && StatFolder(b, sb) && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool SamePlace(const std::string& a, const std::string& b) {
    return ExtractFileName(a) == ExtractFileName(b) && SameFolder(a, b);
}

void SyncFolder(const std::string& path, const std::string& errorName) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A folder that cannot be opened for reading cannot be synced either; its renames are
        // as durable as the file system makes them.
        if (errno == EACCES || errno == EPERM)
            return;
        throw EFileError(errorName, ErrorText(errno));
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0 && error != EINVAL && error != EROFS && error != ENOTSUP)
        throw EFileError(errorName, ErrorText(error));
}

void SyncNewFile(const std::string& newFile, const std::string& target) {
    const int fd = ::open(newFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EFileError(target, ErrorText(errno));
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Only root may give a file away; anyone else keeps their own ownership.
        (void)::fchown(fd, st.st_uid, st.st_gid);
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            const int error = errno;
            ::close(fd);
            throw EFileError(target, ErrorText(error));
        }
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        ::close(fd);
        throw EFileError(target, ErrorText(error));
    }
    ::close(fd);
}

void RenameFile(const std::string& from, const std::string& to, const std::string& errorName) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw EFileError(errorName, ErrorText(errno));
}

void RemoveFile(const std::string& path, const std::string& errorName) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw EFileError(errorName, ErrorText(errno));
}

void RemoveQuietly(const std::string& path) {
    (void)::unlink(path.c_str());
}

} // namespace velmora
