#include "files/ini_image.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
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

constexpr std::string_view kBlanks = " \t\v\f\r\n";

std::string_view Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// ASCII-only folding: bytes of UTF-8 sequences are compared unchanged, and
// the result does not depend on the C locale.
char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

int DigitValue(char c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

std::optional<std::int32_t> ParseInt32(std::string_view s)
{
    s = Trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t magnitude = 0;
    for (char c : s) {
        const int d = DigitValue(c, base);
        if (d < 0) return std::nullopt;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (magnitude > limit) return std::nullopt;
    }
    const auto signed_value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -signed_value : signed_value);
}

void AppendUnique(std::vector<std::string>& names, std::string_view name)
{
    for (const auto& n : names) {
        if (SameName(n, name)) return;
    }
    names.emplace_back(name);
}

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

// Reads a regular file of at most kIniMaxFileSize bytes into *text.
IniLoadResult ReadRegularFile(const fs::path& path, std::string* text)
{
    const int fd = OpenForReading(path);
    if (fd < 0) return IniLoadResult::Unreadable;
    IniLoadResult result = IniLoadResult::Ok;
    if (!IsRegular(fd)) {
        result = IniLoadResult::NotAFile;
    } else {
        char buffer[8192];
        for (;;) {
            const long long n = ReadSome(fd, buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) {
                result = IniLoadResult::Unreadable;
                break;
            }
            // The size was checked before; this also stops a file that grows.
            if (text->size() + static_cast<std::size_t>(n) > kIniMaxFileSize) {
                result = IniLoadResult::TooLarge;
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

IniImage IniImage::FromText(std::string_view text)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    // Every leading mark goes: a text written back starts with the first line
    // itself, so a second mark kept here would change meaning after a save.
    while (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());

    IniImage image;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        const std::string_view trimmed = Trim(raw);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const auto close = trimmed.find(']');
            if (close != std::string_view::npos) {
                image.sections_.push_back(
                    Section{std::string(raw), std::string(Trim(trimmed.substr(1, close - 1))), {}});
                continue;
            }
        }
        Line line{std::string(raw), false, {}, {}};
        const bool comment = !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
        const auto eq = trimmed.find('=');
        // A "[..." line without ']' stays unparsed rather than becoming a key.
        if (!comment && eq != std::string_view::npos && trimmed.front() != '[') {
            const auto key = Trim(trimmed.substr(0, eq));
            if (!key.empty()) {
                line.is_value = true;
                line.key = key;
                line.value = Trim(trimmed.substr(eq + 1));
            }
        }
        (image.sections_.empty() ? image.preamble_ : image.sections_.back().lines).push_back(std::move(line));
    }
    return image;
}

std::string IniImage::ToText() const
{
    std::string out;
    for (const auto& line : preamble_) (out += line.text) += '\n';
    for (const auto& section : sections_) {
        (out += section.header) += '\n';
        for (const auto& line : section.lines) (out += line.text) += '\n';
    }
    return out;
}

IniLoadResult IniImage::Load(const fs::path& path)
{
    *this = IniImage();
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return IniLoadResult::Missing;
    if (ec || fs::is_directory(status)) return IniLoadResult::Unreadable;
    // The type is checked before opening: opening a FIFO blocks until a writer
    // comes, and a device such as /dev/zero never ends.
    if (!fs::is_regular_file(status)) return IniLoadResult::NotAFile;
    const auto size = fs::file_size(path, ec);
    if (!ec && size > kIniMaxFileSize) return IniLoadResult::TooLarge;

    std::string text;
    const IniLoadResult result = ReadRegularFile(path, &text);
    if (result == IniLoadResult::Ok) *this = FromText(text);
    return result;
}

bool IniImage::Save(const fs::path& path, std::string* error) const
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

    const bool written = WriteNewFile(fd, ToText());
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

const IniImage::Line* IniImage::FindLine(std::string_view section, std::string_view key) const
{
    section = Trim(section);
    key = Trim(key);
    for (const auto& s : sections_) {
        if (!SameName(s.name, section)) continue;
        for (const auto& line : s.lines) {
            if (line.is_value && SameName(line.key, key)) return &line;
        }
    }
    return nullptr;
}

bool IniImage::HasSection(std::string_view section) const
{
    section = Trim(section);
    for (const auto& s : sections_) {
        if (SameName(s.name, section)) return true;
    }
    return false;
}

bool IniImage::HasKey(std::string_view section, std::string_view key) const
{
    return FindLine(section, key) != nullptr;
}

std::optional<std::string> IniImage::ReadString(std::string_view section, std::string_view key) const
{
    if (const Line* line = FindLine(section, key)) return line->value;
    return std::nullopt;
}

std::optional<std::int32_t> IniImage::ReadInt(std::string_view section, std::string_view key) const
{
    if (const Line* line = FindLine(section, key)) return ParseInt32(line->value);
    return std::nullopt;
}

std::vector<std::string> IniImage::SectionNames() const
{
    std::vector<std::string> names;
    for (const auto& s : sections_) AppendUnique(names, s.name);
    return names;
}

std::vector<std::string> IniImage::KeyNames(std::string_view section) const
{
    section = Trim(section);
    std::vector<std::string> names;
    for (const auto& s : sections_) {
        if (!SameName(s.name, section)) continue;
        for (const auto& line : s.lines) {
            if (line.is_value) AppendUnique(names, line.key);
        }
    }
    return names;
}

void IniImage::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (key.empty()) return;
    std::string clean_value(Trim(value));
    for (char& c : clean_value) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    Line new_line{std::string(key) + "=" + clean_value, true, std::string(key), clean_value};

    Section* first_section = nullptr;
    bool written = false;
    for (auto& s : sections_) {
        if (!SameName(s.name, section)) continue;
        if (!first_section) first_section = &s;
        for (auto it = s.lines.begin(); it != s.lines.end();) {
            if (!it->is_value || !SameName(it->key, key)) {
                ++it;
            } else if (!written) {
                *it = new_line;
                written = true;
                ++it;
            } else {
                it = s.lines.erase(it);
            }
        }
    }
    if (written) return;

    if (first_section) {
        auto& lines = first_section->lines;
        auto at = lines.end();
        while (at != lines.begin() && Trim(std::prev(at)->text).empty()) --at;
        lines.insert(at, std::move(new_line));
        return;
    }

    // Separate the new section from the text above it by one blank line.
    const std::string* last_text = nullptr;
    if (!sections_.empty()) {
        const auto& s = sections_.back();
        last_text = s.lines.empty() ? &s.header : &s.lines.back().text;
    } else if (!preamble_.empty()) {
        last_text = &preamble_.back().text;
    }
    if (last_text && !Trim(*last_text).empty()) {
        (sections_.empty() ? preamble_ : sections_.back().lines).push_back(Line{});
    }
    sections_.push_back(Section{"[" + std::string(section) + "]", std::string(section), {std::move(new_line)}});
}

void IniImage::WriteInt(std::string_view section, std::string_view key, std::int64_t value)
{
    WriteString(section, key, std::to_string(value));
}

bool IsReadOnlyFile(const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    return !ec && ReadOnly(status);
}

void IniImage::EraseSection(std::string_view section)
{
    section = Trim(section);
    std::erase_if(sections_, [section](const Section& s) { return SameName(s.name, section); });
}

}  // namespace kr40
