// Mutated generator scripts through the compiler. Under AddressSanitizer and
// UBSan any stray access or undefined operation fails the run; here every
// result must also be consistent: success or an error line, never both; a
// program that fits the memory with words of 16 bits and nothing behind it;
// a listing whose word lines show the words; and the same result when the
// same text is compiled again.
//
// The number of programs follows KR40_FUZZ_BYTES (one program per 4000
// bytes over all seeds: 2500 by default, 25000 under `make sanitize`).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "generator/afg_compiler.h"

namespace kr40 {
namespace {

constexpr std::uint32_t kSeeds[] = {20261211, 4711, 65537};

std::uint64_t ProgramsPerSeed()
{
    std::uint64_t bytes = 10'000'000;
    if (const char* env = std::getenv("KR40_FUZZ_BYTES"); env && *env) bytes = std::strtoull(env, nullptr, 10);
    return std::max<std::uint64_t>(bytes / 4000 / std::size(kSeeds), 50);
}

using Lines = std::vector<std::string>;

// Valid programs that between them use every statement, both label forms,
// forward references, both macros and a nearly full memory.
const Lines kSeedPrograms[] = {
    {"// a ramp and a jump back", "#CLOCK 1000", "#AMP 50", "start: OUT 0", "  REPEAT 100; DIFF 40; ENDREP -1",
     "DELAY $10; LOOP x20", "JMP start"},
    {"#BAUD 9600; #BITS 7; #PRTY 2; #SBITS 2", "#LOG0 100; #LOG1 3900", "_COM 0x55", "#DCOM 1", "65; 66; 67",
     "wait_here: WAIT 1; JMP wait_here"},
    {"#SINF 2500; #SINA 2000; #SINPH 90", "top: _SIN 40; DIFF -$10", "CALL sub; STOP 0", "sub: LOADN 5",
     "more: OUTN 4095; DIFFN -4095", "RET 0", "#NOMSG 1; #AUTOR 0"},
    {"#SINF 1000", "begin: _SIN 2000", "OUT 1; OUT 2", "CALL end", "JMP begin", "end: RET 1"},
    {"100", "200 // bare numbers", "Lbl: out 3", "jmp LBL", "  ", ";;", "x1F"},
};

const char* const kTokens[] = {";",
                               ":",
                               "$",
                               "-",
                               "+",
                               "0",
                               "1",
                               "9",
                               "x",
                               "0x",
                               "//",
                               " ",
                               "\t",
                               "\r",
                               "4096",
                               "2048",
                               "-4095",
                               "#CLOCK",
                               "#BAUD",
                               "#DCOM 1",
                               "#SINF",
                               "#BITS",
                               "#PRTY",
                               "_SIN",
                               "_COM",
                               "_SIN 2048",
                               "OUT",
                               "JMP",
                               "start",
                               "START",
                               "99999999999999999999",
                               "\xd0\xbc",
                               "\xff",
                               "a:",
                               "::"};

class ProgramFuzzer {
public:
    explicit ProgramFuzzer(std::uint32_t seed) : rng_(seed) {}

    Lines Next()
    {
        Lines p = kSeedPrograms[Below(std::size(kSeedPrograms))];
        for (int m = static_cast<int>(rng_() % 4); m > 0; --m) Mutate(p);
        return p;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }

    void Mutate(Lines& p)
    {
        if (p.empty()) p.push_back("");
        std::string& line = p[Below(p.size())];
        switch (rng_() % 8) {
            case 0:  // a changed byte
                if (!line.empty()) line[Below(line.size())] = static_cast<char>(rng_());
                break;
            case 1:  // a bit flipped
                if (!line.empty()) line[Below(line.size())] ^= static_cast<char>(1 << (rng_() % 8));
                break;
            case 2:
            case 3:  // a token put in
                line.insert(Below(line.size() + 1), kTokens[Below(std::size(kTokens))]);
                break;
            case 4:  // the line cut short
                line.resize(Below(line.size() + 1));
                break;
            case 5: {  // a line repeated, now and then many times
                const std::string copy = line;
                const std::size_t times = rng_() % 8 == 0 ? 1 + Below(2100) : 1;
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(Below(p.size() + 1)), times, copy);
                break;
            }
            case 6:  // a line removed
                p.erase(p.begin() + static_cast<std::ptrdiff_t>(Below(p.size())));
                break;
            default:  // bytes removed
                if (!line.empty()) line.erase(Below(line.size()), 1 + Below(4));
                break;
        }
    }

    std::mt19937 rng_;
};

std::string Shown(const Lines& p)
{
    std::string t;
    for (const std::string& l : p) {
        if (t.size() > 2000) return t + "...";
        t += l + "\n";
    }
    return t;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string s)
{
    for (char& c : s) c = Lower(c);
    return s;
}

void ExpectConsistent(const AfgResult& r, const Lines& p, bool russian)
{
    ASSERT_EQ(r.ok, r.errorLine == 0) << Shown(p);
    ASSERT_EQ(r.lineCount, static_cast<int>(p.size()));
    ASSERT_TRUE(r.errorLine >= 0 && r.errorLine <= r.lineCount) << r.errorLine << "\n" << Shown(p);
    ASSERT_TRUE(r.wordCount >= 0 && r.wordCount <= AfgProgramWords) << r.wordCount;
    for (int i = r.wordCount; i < AfgProgramWords; ++i) ASSERT_EQ(r.words[static_cast<std::size_t>(i)], 0) << i;
    for (std::size_t i = 1; i < r.labels.size(); ++i)
        ASSERT_LT(LowerText(r.labels[i - 1].name), LowerText(r.labels[i].name)) << Shown(p);
    for (const AfgLabel& l : r.labels) ASSERT_TRUE(l.address >= 0 && l.address <= r.wordCount) << l.name;
    ASSERT_GE(r.listing.size(), 3u);
    if (!r.ok) {
        ASSERT_FALSE(r.errorText.empty());
        ASSERT_EQ(r.message, (russian ? "Ошибка в строке " : "Error in line ") + std::to_string(r.errorLine) + "\r\n" +
                                 r.errorText);
        return;
    }
    ASSERT_TRUE(r.errorText.empty());
    ASSERT_TRUE(!r.period || (*r.period >= 0 && *r.period <= 1000000)) << *r.period;
    ASSERT_TRUE(!r.amplitude || (*r.amplitude >= 3 && *r.amplitude <= 100)) << *r.amplitude;
    ASSERT_TRUE(r.noMsg >= 0 && r.noMsg <= 2);
    for (int i = 0; i < r.wordCount; ++i) {
        const std::int32_t w = r.words[static_cast<std::size_t>(i)];
        ASSERT_TRUE(w >= 0 && w < 65536) << i << ": " << w;
    }
    // The word lines of the listing show the words, in address order.
    ASSERT_EQ(r.listing.end()[-1], r.listing[0]);
    ASSERT_EQ(r.listing.end()[-2], "");
    int address = 0;
    for (const std::string& l : r.listing) {
        if (l.size() < 30 || l.compare(0, 2, "0x") != 0 || l[5] != ':') continue;
        char tail[8];
        std::snprintf(tail, sizeof tail, "0x%04X", static_cast<unsigned>(r.words[static_cast<std::size_t>(address)]));
        ASSERT_EQ(l.substr(l.size() - 6), tail) << l;
        ++address;
    }
    ASSERT_EQ(address, r.wordCount) << Shown(p);
}

class AfgCompilerFuzz : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(AfgCompilerFuzz, ResultsAreConsistentAndRepeatable)
{
    const std::uint64_t programs = ProgramsPerSeed();
    const auto start = std::chrono::steady_clock::now();
    ProgramFuzzer fuzzer(GetParam());
    std::uint64_t compiled = 0, succeeded = 0;
    for (; compiled < programs; ++compiled) {
        const Lines p = fuzzer.Next();
        const bool russian = compiled % 2 == 1;
        const AfgResult r = CompileAfg(p, "fuzz/prog.krg", russian);
        ASSERT_NO_FATAL_FAILURE(ExpectConsistent(r, p, russian));
        succeeded += r.ok;
        const AfgResult again = CompileAfg(p, "fuzz/prog.krg", russian);
        ASSERT_TRUE(again.words == r.words && again.message == r.message && again.listing == r.listing &&
                    again.errorLine == r.errorLine)
            << Shown(p);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ fuzz     ] seed %u: %llu programs, %llu compiled without error, %.2f s\n", GetParam(),
                static_cast<unsigned long long>(compiled), static_cast<unsigned long long>(succeeded), seconds);
    // The mutations must leave a fair share of programs valid, or only the
    // error paths would be exercised.
    EXPECT_GT(succeeded * 10, compiled);
}

INSTANTIATE_TEST_SUITE_P(Seeds, AfgCompilerFuzz, ::testing::ValuesIn(kSeeds));

}  // namespace
}  // namespace kr40
