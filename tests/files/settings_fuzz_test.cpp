// Random and mutated settings texts through the INI reader and the settings
// reader. Under AddressSanitizer and UBSan any stray access or undefined
// operation fails the run; here every value read must also keep its key's
// range rule, and a text written back and read again must read the same.
//
// The number of texts follows KR40_FUZZ_BYTES (one text per 4000 bytes over
// all seeds: 2500 by default, 25000 under `make sanitize`).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "acquisition/scope_settings.h"
#include "core/texts.h"
#include "device/link_shared.h"
#include "files/ini_image.h"
#include "files/settings_file.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

std::uint64_t FuzzTexts()
{
    std::uint64_t bytes = 10'000'000;
    if (const char* env = std::getenv("KR40_FUZZ_BYTES"); env && *env) bytes = std::strtoull(env, nullptr, 10);
    return std::max<std::uint64_t>(bytes / 4000, 100);
}

// The start of a text for a failure message.
std::string Shown(const std::string& text)
{
    return text.size() <= 2000 ? text : text.substr(0, 2000) + "...";
}

// Every key keeps its range rule after a read that started from the defaults.
void ExpectWithinRules(const ScopeSettings& s, const std::string& text)
{
    const ScopeSettings defaults;
    for (const SettingKey& k : SettingKeys()) {
        std::int64_t v = 0, def = 0;
        switch (k.type) {
            case KeyType::Int:
                v = s.*k.intField;
                def = defaults.*k.intField;
                break;
            case KeyType::Colour:
                v = s.Colors[k.colour];
                def = defaults.Colors[k.colour];
                break;
            case KeyType::Real: {
                const double r = s.*k.realField;
                ASSERT_TRUE(std::isfinite(r) && r >= k.lo && r <= k.hi) << k.name << " = " << r << " in\n"
                                                                        << Shown(text);
                continue;
            }
            case KeyType::GroupItem: {
                const GroupInfo& g = GroupOf(k.group);
                const int sel = s.Sel(k.group);
                ASSERT_TRUE(sel >= (g.kind == GroupKind::ExactlyOne ? 0 : -1) && sel < g.count)
                    << k.name << ": item " << sel << " in\n"
                    << Shown(text);
                continue;
            }
            case KeyType::Str:
                ASSERT_EQ((s.*k.strField).find('\n'), std::string::npos) << k.name << " in\n" << Shown(text);
                continue;
            case KeyType::Bool:
                continue;
        }
        const bool valid = k.allowed.empty() ? v >= k.lo && v <= k.hi
                                             : std::find(k.allowed.begin(), k.allowed.end(), v) != k.allowed.end();
        // A value outside the rule is clamped, or (policy Keep) the default stays.
        ASSERT_TRUE(valid || (k.policy == OutOfRange::Keep && v == def)) << k.name << " = " << v << " in\n"
                                                                         << Shown(text);
    }
}

class TextFuzzer {
public:
    explicit TextFuzzer(std::uint32_t seed) : rng_(seed)
    {
        // Real files: the program's own and a user settings file, as written.
        test::TempDir dir;
        LinkShared io;
        ScopeSettings s;
        for (const bool program : {true, false}) {
            const auto file = dir / (program ? "kr40.ini" : "user.krs");
            EXPECT_TRUE(WriteSettings(s, io, file, program));
            bases_.push_back(test::TempDir::Read(file));
        }
    }

    std::string Next()
    {
        std::string t;
        switch (rng_() % 4) {
            case 0:
                t = RandomBytes(Below(4096));
                break;
            case 1:
                t = KeyLines();
                break;
            default:
                t = bases_[Below(bases_.size())];
                break;
        }
        for (int m = 1 + static_cast<int>(rng_() % 4); m > 0; --m) Mutate(t);
        return t;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }
    char Byte() { return static_cast<char>(rng_()); }

    // Mostly the bytes that matter to the syntax, some of any value.
    std::string RandomBytes(std::size_t n)
    {
        static const std::string syntax = "[]=;#\r\n \t0x$-+9Aa";
        std::string t(n, '\0');
        for (char& c : t) c = rng_() % 2 ? syntax[Below(syntax.size())] : Byte();
        return t;
    }

    std::string Number()
    {
        static const char* const odd[] = {
            "2147483647",
            "2147483648",
            "-2147483648",
            "-2147483649",
            "99999999999999999999999999",
            "0x7FFFFFFF",
            "0xFFFFFFFF",
            "$80000000",
            "-0x80000000",
            "$",
            "0x",
            "-",
            "+",
            "",
            " 12 ",
            "1e308",
            "nan",
            "0x1g",
            "--1",
            "00000000000000000000000000000001",
            "16777215",
            "16777216",
            "-1",
            "0",
            "1.5",
        };
        switch (rng_() % 3) {
            case 0:
                return odd[Below(std::size(odd))];
            case 1:
                return std::to_string(static_cast<std::int32_t>(rng_()));
            default:
                return std::to_string(static_cast<int>(rng_() % 2000) - 500);
        }
    }

    // Keys of the table with odd values, some in the wrong section or spelling.
    std::string KeyLines()
    {
        const std::vector<SettingKey>& keys = SettingKeys();
        std::string t;
        int section = -1;
        for (int i = static_cast<int>(Below(200)); i > 0; --i) {
            const SettingKey& k = keys[Below(keys.size())];
            const int want = rng_() % 8 ? static_cast<int>(k.section) : static_cast<int>(Below(9));
            if (want != section) {
                section = want;
                t += std::string("[") + SectionName(static_cast<IniSection>(want)) + "]\n";
            }
            std::string name = k.name;
            if (rng_() % 8 == 0)
                for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (k.type == KeyType::Real && rng_() % 2) name += "_fine";
            t += name + (rng_() % 4 ? "=" : " = ") + Number() + "\n";
        }
        return t;
    }

    void Mutate(std::string& t)
    {
        const std::size_t at = Below(t.size() + 1);
        switch (rng_() % 10) {
            case 0:  // byte flips, any value
                for (int i = 1 + static_cast<int>(rng_() % 8); i > 0 && !t.empty(); --i) t[Below(t.size())] = Byte();
                break;
            case 1:  // truncation
                t.resize(at);
                break;
            case 2: {  // a huge or odd number after some '='
                const std::size_t eq = t.find('=', at);
                if (eq == std::string::npos) break;
                const std::size_t end = t.find('\n', eq);
                t.replace(eq + 1, (end == std::string::npos ? t.size() : end) - eq - 1, Number());
                break;
            }
            case 3: {  // a line repeated elsewhere: duplicate keys and sections
                const std::size_t from = t.rfind('\n', at);
                const std::size_t begin = from == std::string::npos ? 0 : from + 1;
                const std::size_t end = t.find('\n', begin);
                const std::string line = t.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
                t.insert(Below(t.size() + 1), line + "\n");
                break;
            }
            case 4:  // a long line
                t.insert(at, std::string(1000 + Below(20'000), rng_() % 2 ? '9' : 'x') + "\n");
                break;
            case 5:  // NUL bytes
                t.insert(at, std::string(1 + Below(3), '\0'));
                break;
            case 6: {  // line ends mixed
                static const char* const ends[] = {"\r\n", "\r", "\n\r", "\r\r\n", "\n\n"};
                for (std::size_t p = t.find('\n'); p != std::string::npos; p = t.find('\n', p + 3)) {
                    if (rng_() % 3) continue;
                    const std::string e = ends[Below(std::size(ends))];
                    t.replace(p, 1, e);
                    p += e.size() - 1;
                }
                break;
            }
            case 7:  // a byte-order mark, perhaps one more
                t.insert(0, "\xEF\xBB\xBF");
                break;
            case 8:  // random bytes slipped in
                t.insert(at, RandomBytes(1 + Below(64)));
                break;
            case 9:  // a piece cut out
                t.erase(at, Below(256));
                break;
        }
    }

    std::mt19937 rng_;
    std::vector<std::string> bases_;
};

constexpr std::uint32_t kSeeds[] = {20261210, 31337, 8086};

class SettingsFuzz : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SettingsFuzz, SurvivesRandomAndMutatedTexts)
{
    const std::uint64_t texts = FuzzTexts() / std::size(kSeeds);
    std::uint64_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    TextFuzzer fuzzer(GetParam());
    for (std::uint64_t i = 0; i < texts; ++i) {
        const std::string text = fuzzer.Next();
        bytes += text.size();
        const IniImage img = IniImage::FromText(text);
        RejectSettingsImage(img);
        ScopeSettings s;
        ReadSettingsImage(s, img, i % 2 == 0);
        ASSERT_NO_FATAL_FAILURE(ExpectWithinRules(s, text));

        // Written back and read again, every value reads the same.
        const IniImage again = IniImage::FromText(img.ToText());
        ASSERT_EQ(again.SectionNames(), img.SectionNames()) << Shown(text);
        for (const SettingKey& k : SettingKeys()) {
            const char* section = SectionName(k.section);
            ASSERT_EQ(again.ReadString(section, k.name), img.ReadString(section, k.name)) << k.name << " in\n"
                                                                                          << Shown(text);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ fuzz     ] settings seed %u: %llu texts, %llu bytes, %.1f s\n", GetParam(),
                static_cast<unsigned long long>(texts), static_cast<unsigned long long>(bytes), seconds);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SettingsFuzz, ::testing::ValuesIn(kSeeds));

}  // namespace
}  // namespace kr40
