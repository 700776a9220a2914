#include "generator/afg_compiler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/rounding.h"
#include "core/texts.h"
#include "core/value_format.h"

namespace kr40 {

namespace {

// "%1" in a text stands for the label, parameter or mnemonic it is about.
enum Text : int {
    TxEmptyLabel,
    TxWrongLabel,
    TxDuplicateLabel,
    TxInvalidCommand,
    TxParameterMissing,
    TxOutOfMemory,
    TxOutOfRange,
    TxWrongName,
    TxWrongDirective,
    TxUndefined,
    TxErrorInLine,
    TxLines,
    TxCommands,
    TxBaudRate,
    TxBaudError,
    TxShortLines,
    TxShortCommands,
    TxCount,
};

constexpr TextPair kTexts[TxCount] = {
    {"Wrong lable - :", "Недопустимая метка - :"},
    {"Wrong lable - %1", "Недопустимый символ в имени метки - %1"},
    {"Duplicate lable - %1", "Повтор метки - %1"},
    {"Invalid command - %1", "Недопустимая команда - %1"},
    {"Parameter is missing", "Отсутствует параметр"},
    {"Out of memory", "Недостаточно памяти"},
    {"%1 is out of range", "Недопустимый параметр - %1"},
    {"Wrong parameter - %1", "Недопустимый символ в имени параметра - %1"},
    {"Wrong parameter - %1", "Недопустимый параметр - %1"},
    {"%1 is undefined", "Метка не найдена - %1"},
    {"Error in line ", "Ошибка в строке "},
    {"Lines = ", "Число строк = "},
    {"\r\nCommands = ", "\r\nЧисло команд = "},
    {"\r\nBaud Rate = ", "\r\nBaud Rate = "},
    {" (Err = ", " (Err = "},
    {"Lines = ", "Строк = "},
    {"  Commands = ", "  Команд = "},
};

constexpr const char* kDashes = "-----------------------------------------";

// The text with its "%1" replaced by `what` (inserted once, never rescanned).
std::string Fill(Text t, bool russian, std::string_view what)
{
    std::string s = Tr(kTexts[t], russian);
    if (const auto at = s.find("%1"); at != std::string::npos) s.replace(at, 2, what);
    return s;
}

enum class Kind { Instruction, Directive, Macro };

// Directive and macro settings, indexed by the keyword's code.
enum Setting : int {
    SetClock,
    SetAmp,
    SetNoMsg,
    SetBaud,
    SetAutoRun,
    SetSinF,
    SetSinA,
    SetSinPh,
    SetLog0,
    SetLog1,
    SetBits,
    SetParity,
    SetStopBits,
    SetDCom,
    SetSin,
    SetCom,
};

struct Keyword {
    std::string_view name;
    Kind kind;
    int code;  // opcode of an instruction, Setting of a directive or macro
    int lo, hi;
};

constexpr Keyword kKeywords[] = {
    {"OUT", Kind::Instruction, AfgOut, 0, 4095},
    {"DIFF", Kind::Instruction, AfgDiff, -4095, 4095},
    {"STOP", Kind::Instruction, AfgStop, 0, 4095},
    {"LOOP", Kind::Instruction, AfgLoop, 0, 4095},
    {"DELAY", Kind::Instruction, AfgDelay, 0, 4095},
    {"REPEAT", Kind::Instruction, AfgRepeat, 0, 4095},
    {"ENDREP", Kind::Instruction, AfgEndRep, -4095, 4095},
    {"RET", Kind::Instruction, AfgRet, -4095, 4095},
    {"CALL", Kind::Instruction, AfgCall, 0, 2047},
    {"JMP", Kind::Instruction, AfgJmp, 0, 2047},
    {"WAIT", Kind::Instruction, AfgWait, 0, 1},
    {"LOADN", Kind::Instruction, AfgLoadN, 0, 4095},
    {"OUTN", Kind::Instruction, AfgOutN, 0, 4095},
    {"DIFFN", Kind::Instruction, AfgDiffN, -4095, 4095},
    {"#CLOCK", Kind::Directive, SetClock, 0, 1000000},
    {"#AMP", Kind::Directive, SetAmp, 3, 100},
    {"#NOMSG", Kind::Directive, SetNoMsg, 0, 2},
    {"#BAUD", Kind::Directive, SetBaud, 100, 50000000},
    {"#AUTOR", Kind::Directive, SetAutoRun, 0, 1},
    {"#SINF", Kind::Directive, SetSinF, 0, 50000},
    {"#SINA", Kind::Directive, SetSinA, 0, 2047},
    {"#SINPH", Kind::Directive, SetSinPh, 0, 359},
    {"#LOG0", Kind::Directive, SetLog0, 0, 4095},
    {"#LOG1", Kind::Directive, SetLog1, 0, 4095},
    {"#BITS", Kind::Directive, SetBits, 5, 9},
    {"#PRTY", Kind::Directive, SetParity, 0, 2},
    {"#SBITS", Kind::Directive, SetStopBits, 1, 2},
    {"#DCOM", Kind::Directive, SetDCom, 0, 1},
    {"_SIN", Kind::Macro, SetSin, 1, 2048},
    {"_COM", Kind::Macro, SetCom, 0, 511},
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view s)
{
    std::string t(s);
    for (char& c : t) c = Lower(c);
    return t;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Letters, digits and "_": the characters of a label or a name.
bool IsName(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 99;
}

// An integer: an optional sign, then decimal digits or hexadecimal digits
// after "$", "x" or "0x" (either case). Values beyond int64 saturate, which
// every range then refuses. Anything else is not an integer.
std::optional<std::int64_t> ParseInteger(std::string_view s)
{
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X')) {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t v = 0;
    for (const char c : s) {
        const int d = DigitValue(c);
        if (d >= base) return std::nullopt;
        v = v > (kMax - d) / base ? kMax : v * base + d;
    }
    return negative ? -v : v;
}

std::string Hex(std::int64_t v, int digits)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
    return buf;
}

std::string_view FileName(std::string_view path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A name used as a parameter, resolved once the whole source is read.
struct Reference {
    std::string name;
    int line;
    int address;
    const Keyword* keyword;
};

// One compile: the lines in order up to the first error, then the names,
// then the result texts.
class Compiler {
public:
    Compiler(AfgResult& r, bool russian) : r_(r), russian_(russian) {}

    void Run(const std::vector<std::string>& lines, const std::string& path)
    {
        r_.listing = {kDashes, path, ""};
        r_.lineCount = static_cast<int>(lines.size());
        for (std::size_t i = 0; i < lines.size() && error_.empty(); ++i) {
            line_ = static_cast<int>(i) + 1;
            Line(lines[i]);
        }
        if (error_.empty()) Resolve();
        Finish(path);
    }

private:
    void Fail(int line, std::string text)
    {
        errorLine_ = line;
        error_ = std::move(text);
    }

    void Line(std::string_view text)
    {
        if (const auto comment = text.find("//"); comment != std::string_view::npos) text = text.substr(0, comment);
        if (const auto colon = text.find(':'); colon != std::string_view::npos) {
            const std::string_view label = Trim(text.substr(0, colon));
            text = text.substr(colon + 1);
            if (!Label(label)) return;
        }
        text = Trim(text);
        while (error_.empty()) {
            const auto semi = text.find(';');
            const std::string_view one = Trim(text.substr(0, semi));
            if (!one.empty()) Process(one);
            if (semi == std::string_view::npos) break;
            text.remove_prefix(semi + 1);
        }
    }

    bool Label(std::string_view label)
    {
        if (label.empty()) {
            Fail(line_, Tr(kTexts[TxEmptyLabel], russian_));
        } else if (!IsName(label)) {
            Fail(line_, Fill(TxWrongLabel, russian_, label));
        } else if (!addresses_.emplace(LowerText(label), wordCount_).second) {
            Fail(line_, Fill(TxDuplicateLabel, russian_, label));
        } else {
            r_.labels.push_back({std::string(label), wordCount_});
            r_.listing.push_back(std::string(label) + ":");
            return true;
        }
        return false;
    }

    void Process(std::string_view text)
    {
        std::string bare;
        if (ParseInteger(text)) {
            bare = (settings_[SetDCom] ? "_COM " : "OUT ") + std::string(text);
            text = bare;
        }
        auto split = text.find(' ');
        if (split == std::string_view::npos) split = text.find('\t');
        const std::string_view mnemonic = Trim(text.substr(0, split));
        const std::string_view param =
            split == std::string_view::npos ? std::string_view() : Trim(text.substr(split + 1));

        const auto* s = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                     [&](const Keyword& k) { return SameNoCase(k.name, mnemonic); });
        if (s == std::end(kKeywords)) return Fail(line_, Fill(TxInvalidCommand, russian_, mnemonic));
        if (param.empty()) return Fail(line_, Tr(kTexts[TxParameterMissing], russian_));
        if (s->kind == Kind::Instruction) return Instruction(*s, param);

        r_.listing.push_back(std::string(s->name) + "  " + std::string(param));
        const auto v = ParseInteger(param);
        if (!v || *v < s->lo || *v > s->hi) return Fail(line_, Fill(TxWrongDirective, russian_, param));
        const int value = static_cast<int>(*v);
        settings_[s->code] = value;
        given_[s->code] = true;
        if (s->code == SetSin) Sine(value);
        if (s->code == SetCom) Serial(value);
    }

    void Instruction(const Keyword& s, std::string_view param)
    {
        if (wordCount_ >= AfgProgramWords) return Fail(line_, Tr(kTexts[TxOutOfMemory], russian_));
        wordLines_.push_back({r_.listing.size(), wordCount_});
        r_.listing.push_back(Hex(wordCount_, 3) + ":  " + std::string(s.name) + std::string(18 - s.name.size(), ' ') +
                             std::string(param));
        std::int32_t word = s.code * 4096;
        if (const auto v = ParseInteger(param)) {
            if (*v < s.lo || *v > s.hi) return Fail(line_, Fill(TxOutOfRange, russian_, param));
            word |= static_cast<std::int32_t>(*v & 0xFFF);
        } else if (IsName(param)) {
            references_.push_back({std::string(param), line_, wordCount_, &s});
        } else {
            return Fail(line_, Fill(TxWrongName, russian_, param));
        }
        r_.words[static_cast<std::size_t>(wordCount_++)] = word;
    }

    // One sine segment as differences: n words that add v(i) - v(i-1).
    void Sine(int n)
    {
        const auto v = [&](int i) {
            const double turns = i * settings_[SetSinF] * 0.00001 + settings_[SetSinPh] / 360.0;
            return RoundHalfAway(settings_[SetSinA] * std::sin(2 * std::numbers::pi * turns));
        };
        std::int64_t previous = v(0);
        for (int i = 1; i <= n && error_.empty(); ++i) {
            const std::int64_t next = v(i);
            Process((i < n ? "DIFFN " : "DIFF ") + std::to_string(next - previous));
            previous = next;
        }
    }

    // A serial frame: start bit, data bits from the least significant, the
    // parity bit if any, stop bits; one OUTN word per bit.
    void Serial(int c)
    {
        std::vector<int> bits{0};
        int ones = 0;
        for (int b = 0; b < settings_[SetBits]; ++b) {
            bits.push_back((c >> b) & 1);
            ones += bits.back();
        }
        if (settings_[SetParity] == 1) bits.push_back(ones % 2 == 0 ? 1 : 0);
        if (settings_[SetParity] == 2) bits.push_back(ones % 2);
        for (int s = 0; s < settings_[SetStopBits]; ++s) bits.push_back(1);
        for (const int bit : bits) {
            if (!error_.empty()) return;
            Process("OUTN " + std::to_string(settings_[bit ? SetLog1 : SetLog0]));
        }
    }

    void Resolve()
    {
        for (const Reference& ref : references_) {
            const auto found = addresses_.find(LowerText(ref.name));
            if (found == addresses_.end()) return Fail(ref.line, Fill(TxUndefined, russian_, ref.name));
            // A label at the end of a full memory (2048) is beyond the reach of
            // CALL and JMP; WAIT takes only 0 and 1.
            if (found->second < ref.keyword->lo || found->second > ref.keyword->hi)
                return Fail(ref.line, Fill(TxOutOfRange, russian_, ref.name));
            r_.words[static_cast<std::size_t>(ref.address)] |= found->second;
        }
    }

    void Finish(const std::string& path)
    {
        r_.wordCount = wordCount_;
        std::sort(r_.labels.begin(), r_.labels.end(),
                  [](const AfgLabel& a, const AfgLabel& b) { return LowerText(a.name) < LowerText(b.name); });
        if (given_[SetBaud]) {
            r_.baud = settings_[SetBaud];
            r_.period = static_cast<int>(RoundHalfAway(1e8 / settings_[SetBaud]));
        } else if (given_[SetClock]) {
            r_.period = settings_[SetClock];
        }
        if (given_[SetAmp]) r_.amplitude = settings_[SetAmp];
        r_.noMsg = settings_[SetNoMsg];
        r_.autoRun = settings_[SetAutoRun] != 0;

        if (!error_.empty()) {
            r_.ok = false;
            r_.errorLine = errorLine_;
            r_.errorText = error_;
            r_.message = Tr(kTexts[TxErrorInLine], russian_) + std::to_string(errorLine_) + "\r\n" + error_;
            return;
        }
        r_.ok = true;
        for (const auto& [index, address] : wordLines_) {
            std::string& l = r_.listing[index];
            l.append(l.size() < 28 ? 30 - l.size() : 2, ' ');
            l += Hex(r_.words[static_cast<std::size_t>(address)] & 0xFFFF, 4);
        }
        r_.listing.push_back("");
        r_.listing.push_back(kDashes);

        const std::string lines = std::to_string(r_.lineCount), words = std::to_string(wordCount_);
        r_.message = std::string(FileName(path)) + "\r\n\r\n" + Tr(kTexts[TxLines], russian_) + lines +
                     Tr(kTexts[TxCommands], russian_) + words + " (" +
                     FixedText(wordCount_ * 100.0 / AfgProgramWords, 1) + "%)";
        if (r_.baud) {
            const double rate = 1e8 / *r_.period;
            r_.message += Tr(kTexts[TxBaudRate], russian_) + FixedText(rate, 1) + Tr(kTexts[TxBaudError], russian_) +
                          FixedText((rate - *r_.baud) * 100.0 / *r_.baud, 3) + "%)";
        }
        r_.shortText = Tr(kTexts[TxShortLines], russian_) + lines + Tr(kTexts[TxShortCommands], russian_) + words;
    }

    AfgResult& r_;
    const bool russian_;
    int line_ = 0;
    int wordCount_ = 0;
    int errorLine_ = 0;
    std::string error_;
    // Values of the directives and macros, starting from their defaults.
    int settings_[SetCom + 1] = {0, 0, 0, 0, 1, 1000, 1000, 0, 0, 4000, 8, 0, 1, 0, 0, 0};
    bool given_[SetCom + 1] = {};
    std::unordered_map<std::string, int> addresses_;  // lower-case label -> address
    std::vector<Reference> references_;
    std::vector<std::pair<std::size_t, int>> wordLines_;  // listing line -> address of its word
};

}  // namespace

AfgResult CompileAfg(const std::vector<std::string>& lines, const std::string& path, bool russian)
{
    AfgResult r;
    Compiler(r, russian).Run(lines, path);
    return r;
}

std::string AfgListingText(const AfgResult& r)
{
    std::string text;
    for (const std::string& line : r.listing) text += line + "\r\n";
    return text;
}

}  // namespace kr40
