#include "files/safe_file.h"

#include <cerrno>
#include <optional>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kr40 {
namespace {

namespace fs = std::filesystem;

std::string RandomSuffix()
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::mt19937 gen(device());
    std::string s;
    for (int i = 0; i < 12; ++i) s += kHex[gen() & 15u];
    return s;
}

// Follows symbolic links (relative ones from the link's folder) to the name
// that holds the file itself, which need not exist yet. Nothing for a loop or
// a link that cannot be read.
std::optional<fs::path> ResolveLinks(fs::path path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        const fs::path next = fs::read_symlink(path, ec);
        if (ec) return std::nullopt;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// Decided from the permission bits, not from access(): access() answers for
// the running process, and for root it always says "writable", so a file the
// user marked read-only would be replaced whenever the program runs as root.
// The owner's write bit states the user's intent whoever runs the program;
// on Windows the read-only attribute clears it.
bool ReadOnly(const fs::file_status& status)
{
    return fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Small wrappers over the descriptor calls of the two systems.
#ifdef _WIN32
int OpenForReading(const fs::path& path)
{
    int fd = -1;
    return _wsopen_s(&fd, path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0) == 0 ? fd : -1;
}
int CreateNew(const fs::path& path)
{
    int fd = -1;
    return _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                     _S_IREAD | _S_IWRITE) == 0
               ? fd
               : -1;
}
bool IsRegular(int fd)
{
    struct _stat64 st;
    return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}
long long ReadSome(int fd, char* buffer, std::size_t size)
{
    return _read(fd, buffer, static_cast<unsigned>(size));
}
long long WriteSome(int fd, const char* data, std::size_t size)
{
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)));
}
bool FlushToDisk(int fd)
{
    return _commit(fd) == 0;
}
bool CloseFile(int fd)
{
    return _close(fd) == 0;
}
void FlushFolder(const fs::path&) {}
#else
int OpenForReading(const fs::path& path)
{
    // O_NONBLOCK: should a FIFO have taken the name since it was checked, the
    // open returns at once and the type check below refuses it.
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}
int CreateNew(const fs::path& path)
{
    int fd;
    do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}
bool IsRegular(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}
long long ReadSome(int fd, char* buffer, std::size_t size)
{
    ssize_t n;
    do n = ::read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}
long long WriteSome(int fd, const char* data, std::size_t size)
{
    ssize_t n;
    do n = ::write(fd, data, size);
    while (n < 0 && errno == EINTR);
    return n;
}
bool FlushToDisk(int fd)
{
    return ::fsync(fd) == 0;
}
bool CloseFile(int fd)
{
    return ::close(fd) == 0;
}
// Makes the rename itself durable; a failure here changes nothing already done.
void FlushFolder(const fs::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
#endif

// Reads a regular file of at most maxBytes bytes into *text.
FileReadResult ReadRegularFile(const fs::path& path, std::uintmax_t maxBytes, std::string* text)
{
    const int fd = OpenForReading(path);
    if (fd < 0) return FileReadResult::Unreadable;
    FileReadResult result = FileReadResult::Ok;
    if (!IsRegular(fd)) {
        result = FileReadResult::NotAFile;
    } else {
        char buffer[8192];
        for (;;) {
            const long long n = ReadSome(fd, buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) {
                result = FileReadResult::Unreadable;
                break;
            }
            // The size was checked before; this also stops a file that grows.
            if (text->size() + static_cast<std::size_t>(n) > maxBytes) {
                result = FileReadResult::TooLarge;
                break;
            }
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }
    CloseFile(fd);
    return result;
}

// Writes all of `text` to the open file and flushes it to the disk.
bool WriteNewFile(int fd, std::string_view text)
{
    while (!text.empty()) {
        const long long n = WriteSome(fd, text.data(), text.size());
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return FlushToDisk(fd);
}

}  // namespace

FileReadResult ReadFileWhole(const fs::path& path, std::uintmax_t maxBytes, std::string* bytes)
{
    bytes->clear();
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return FileReadResult::Missing;
    if (ec || fs::is_directory(status)) return FileReadResult::Unreadable;
    // The type is checked before opening: opening a FIFO blocks until a writer
    // comes, and a device such as /dev/zero never ends.
    if (!fs::is_regular_file(status)) return FileReadResult::NotAFile;
    const auto size = fs::file_size(path, ec);
    if (!ec && size > maxBytes) return FileReadResult::TooLarge;

    const FileReadResult result = ReadRegularFile(path, maxBytes, bytes);
    if (result != FileReadResult::Ok) bytes->clear();
    return result;
}

bool WriteFileWhole(const fs::path& path, std::string_view bytes, std::string* error)
{
    const auto fail = [error](std::string reason) {
        if (error) *error = std::move(reason);
        return false;
    };
    // Through a link the file it points to is replaced; the link stays a link.
    const std::optional<fs::path> resolved = ResolveLinks(path);
    if (!resolved) return fail("cannot follow the symbolic link");
    const fs::path& target = *resolved;

    std::error_code ec;
    const auto old_status = fs::status(target, ec);
    const bool exists = !ec && old_status.type() != fs::file_type::not_found;
    if (exists && !fs::is_regular_file(old_status)) return fail("the name is held by something that is not a file");
    if (exists && ReadOnly(old_status)) return fail("the file is read-only");

    // A short name of its own, so that a long file name still leaves room.
    const fs::path folder = target.parent_path();
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = folder / (".kr40-" + RandomSuffix() + ".tmp");
        fd = CreateNew(temp);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail("cannot create a file in the target folder");

    const bool written = WriteNewFile(fd, bytes);
    const bool closed = CloseFile(fd);
    if (!written || !closed) {
        fs::remove(temp, ec);
        return fail("writing the file failed");
    }

    // Keep the access rights of the file being replaced.
    if (exists) fs::permissions(temp, old_status.permissions(), ec);

    fs::rename(temp, target, ec);
    if (ec) {
        const std::string reason = "cannot replace the file: " + ec.message();
        fs::remove(temp, ec);
        return fail(reason);
    }
    FlushFolder(folder);
    return true;
}

bool IsReadOnlyFile(const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    return !ec && ReadOnly(status);
}

}  // namespace kr40
