#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/safe_file.h"

namespace kr40 {

using IniLoadResult = FileReadResult;

// The largest file Load reads. Settings files are a few kB; anything near this
// size is not one, and a bound keeps a wrong choice from filling the memory.
inline constexpr std::uintmax_t kIniMaxFileSize = 1024 * 1024;

// In-memory image of an INI-syntax text file: "[Section]" lines and
// "Key=Value" lines. The image keeps every line it was given -- comments,
// blank lines, lines it cannot make sense of, lines before the first section
// -- in place, so a load / edit / save cycle loses nothing the user wrote.
//
// Matching: section and key names are compared without regard to ASCII case;
// other bytes (UTF-8) compare as they are. Names and values are trimmed of
// blanks. A section name may appear more than once: lookups search those
// sections in file order and the first matching key wins, as does the first
// of several lines with the same key.
//
// Line syntax (decided on the line with surrounding blanks removed):
//   ";..." or "#..."    comment
//   "[name]..."         section header; name ends at the first ']', the rest
//                       of the line is ignored
//   "key=value"         value line; key before the first '=', must not be empty
//   anything else       kept verbatim, ignored by lookups ("=x", "[broken")
class IniImage {
public:
    // Lines may end in "\n" or "\r\n"; a UTF-8 byte-order mark at the start is
    // skipped.
    static IniImage FromText(std::string_view text);
    // Every line ends in "\n". Lines not touched by an edit come out exactly as
    // they came in (apart from the line ending and the byte-order mark).
    std::string ToText() const;

    // Replaces the image with the file's content. A missing file gives an empty
    // image and Missing; a path that exists but cannot be read (no permission,
    // a directory, a read error) gives an empty image and Unreadable. Only
    // regular files are opened (a FIFO would block, a device might never end):
    // anything else gives NotAFile, a file over kIniMaxFileSize TooLarge.
    IniLoadResult Load(const std::filesystem::path& path);

    // Writes the whole image in one operation: the text goes to a new temporary
    // file in the target's folder, is flushed to the disk, and then replaces the
    // target by a rename. A symbolic link is followed: the file it points to is
    // replaced and the link stays. A read-only file (IsReadOnlyFile) or a name
    // held by something other than a regular file is refused. On failure the
    // target is untouched, the temporary is removed, *error (if not null) gets
    // a short reason, and false is returned.
    bool Save(const std::filesystem::path& path, std::string* error) const;

    bool HasSection(std::string_view section) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // Decimal, or hexadecimal written "0x1F" / "$1F", with an optional sign and
    // surrounding blanks. nullopt when the key is absent, the text is not a whole
    // number, or the number does not fit in 32 bits signed.
    std::optional<std::int32_t> ReadInt(std::string_view section, std::string_view key) const;
    // Distinct names in file order, each spelled as it first appears.
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> KeyNames(std::string_view section) const;

    // Sets a key. The first existing line of the key keeps its place and is
    // rewritten as "Key=Value" in the spelling given here; later lines with the
    // same key (in any section of that name) are removed. A new key goes after
    // the last non-blank line of the first section of that name; a new section
    // goes at the end, after a blank separator line. Names and the value are
    // trimmed as they would be on reading, and line breaks in the value become
    // blanks so the value cannot spill into further lines. An empty key is
    // ignored.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, std::int64_t value);
    // Removes every section of that name with all its lines.
    void EraseSection(std::string_view section);

private:
    struct Line {
        std::string text;  // as written, without the line ending
        bool is_value = false;
        std::string key;    // trimmed; value lines only
        std::string value;  // trimmed; value lines only
    };
    struct Section {
        std::string header;  // the "[name]" line as written
        std::string name;    // trimmed
        std::vector<Line> lines;
    };

    const Line* FindLine(std::string_view section, std::string_view key) const;

    std::vector<Line> preamble_;  // lines before the first section
    std::vector<Section> sections_;
};

}  // namespace kr40
