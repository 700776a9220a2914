// The udev rule of packaging/linux: every line a rule udev can read, and one
// rule that gives the logged-in user the instrument and nobody else.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kr40 {
namespace {

// One KEY op "value" of a rule; `key` keeps its {attribute}.
struct Term {
    std::string key, op, value;
    bool operator==(const Term&) const = default;
};

bool KeyChar(char c)
{
    return std::isupper(static_cast<unsigned char>(c)) || c == '_';
}

// A rule line in udev's syntax: terms joined by commas, each an upper-case
// key with an optional {attribute}, an operator and a value in double
// quotes. Nothing for a malformed line; a rule continued on the next line
// is one too, as the rules here are kept on one line each.
std::optional<std::vector<Term>> ParseRuleLine(std::string_view line)
{
    std::vector<Term> terms;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    };
    for (;;) {
        skipBlanks();
        Term t;
        while (i < line.size() && KeyChar(line[i])) t.key += line[i++];
        if (t.key.empty()) return std::nullopt;
        if (i < line.size() && line[i] == '{') {
            const std::size_t close = line.find('}', i);
            if (close == std::string_view::npos || close == i + 1) return std::nullopt;
            const std::string_view attr = line.substr(i + 1, close - i - 1);
            if (attr.find_first_of(" \t\"{") != std::string_view::npos) return std::nullopt;
            t.key += line.substr(i, close - i + 1);
            i = close + 1;
        }
        skipBlanks();
        for (std::string_view op : {"==", "!=", "+=", "-=", ":=", "="})
            if (line.substr(i, op.size()) == op) {
                t.op = op;
                break;
            }
        if (t.op.empty()) return std::nullopt;
        i += t.op.size();
        skipBlanks();
        if (i >= line.size() || line[i] != '"') return std::nullopt;
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        t.value = line.substr(i + 1, close - i - 1);
        i = close + 1;
        terms.push_back(std::move(t));
        skipBlanks();
        if (i == line.size()) return terms;
        if (line[i++] != ',') return std::nullopt;
    }
}

TEST(UdevRule, ParserReadsTermsAndRefusesMalformedLines)
{
    const auto terms = ParseRuleLine(R"(SUBSYSTEM=="usb",ATTR{idVendor} != "0403",  TAG+="uaccess", MODE:="0660")");
    ASSERT_TRUE(terms.has_value());
    EXPECT_EQ(*terms, (std::vector<Term>{{"SUBSYSTEM", "==", "usb"},
                                         {"ATTR{idVendor}", "!=", "0403"},
                                         {"TAG", "+=", "uaccess"},
                                         {"MODE", ":=", "0660"}}));

    for (const char* bad : {
             R"(SUBSYSTEM=="usb)",                  // value not closed
             R"(SUBSYSTEM==usb)",                   // value not quoted
             R"(SUBSYSTEM=="usb" TAG+="uaccess")",  // no comma
             R"(SUBSYSTEM~="usb")",                 // no such operator
             R"(subsystem=="usb")",                 // keys are upper case
             R"(ATTR{}=="0403")",                   // empty attribute
             R"(ATTR{idVendor=="0403")",            // attribute not closed
             R"(SUBSYSTEM=="usb", \)",              // continued line
         })
        EXPECT_FALSE(ParseRuleLine(bad).has_value()) << bad;
}

TEST(UdevRule, GivesTheSeatUserTheInstrumentOnly)
{
    // udev's uaccess runs in 73-seat-late.rules: the tag must come from a
    // file sorted before it.
    const std::string path = KR40_SOURCE_DIR "/packaging/linux/60-kr40.rules";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;

    std::vector<std::vector<Term>> rules;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        auto terms = ParseRuleLine(line);
        ASSERT_TRUE(terms.has_value()) << path << ":" << number << ": " << line;
        rules.push_back(std::move(*terms));
    }

    const auto has = [](const std::vector<Term>& rule, const Term& want) {
        for (const Term& t : rule)
            if (t == want) return true;
        return false;
    };
    // The uaccess tag goes on the instrument's USB device (whose own
    // attributes ATTR reads) and on no other device.
    int matching = 0, tagging = 0;
    for (const std::vector<Term>& rule : rules) {
        tagging += has(rule, {"TAG", "+=", "uaccess"});
        if (has(rule, {"SUBSYSTEM", "==", "usb"}) && has(rule, {"ENV{DEVTYPE}", "==", "usb_device"}) &&
            has(rule, {"ATTR{idVendor}", "==", "0403"}) &&
            has(rule, {"ATTR{product}", "==", "Digital Oscilloscope KR40"}) && has(rule, {"TAG", "+=", "uaccess"}))
            ++matching;
        // Access goes to the seat's user, not to everyone.
        for (const Term& t : rule) {
            if (t.key == "MODE") {
                EXPECT_EQ(std::stoul(t.value, nullptr, 8) & 07, 0u) << "MODE=\"" << t.value << "\" opens it to all";
            }
        }
    }
    EXPECT_EQ(matching, 1);
    EXPECT_EQ(tagging, 1);
}

}  // namespace
}  // namespace kr40
