#include "files/ini_image.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include "files/safe_file.h"

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
    std::string text;
    const IniLoadResult result = ReadFileWhole(path, kIniMaxFileSize, &text);
    if (result == IniLoadResult::Ok) *this = FromText(text);
    return result;
}

bool IniImage::Save(const fs::path& path, std::string* error) const
{
    return WriteFileWhole(path, ToText(), error);
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

void IniImage::EraseSection(std::string_view section)
{
    section = Trim(section);
    std::erase_if(sections_, [section](const Section& s) { return SameName(s.name, section); });
}

}  // namespace kr40
