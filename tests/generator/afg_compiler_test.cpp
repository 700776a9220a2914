#include "generator/afg_compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/rounding.h"

namespace kr40 {
namespace {

using Lines = std::vector<std::string>;

AfgResult Compile(const Lines& lines, bool russian = false)
{
    return CompileAfg(lines, "dir/prog.krg", russian);
}

// The words of a successful compile, as a list.
std::vector<std::int32_t> Words(const AfgResult& r)
{
    EXPECT_TRUE(r.ok) << r.message;
    return {r.words.begin(), r.words.begin() + r.wordCount};
}

// The parameter of a word, sign-extended from 12 bits.
int Param(std::int32_t word)
{
    const int p = word & 0xFFF;
    return p > 2047 ? p - 4096 : p;
}

TEST(AfgCompilerTest, LabelOutJumpAndTheLabelList)
{
    const AfgResult r = Compile({"start: OUT 2048 // the middle", "JMP start"});
    EXPECT_EQ(Words(r), (std::vector<std::int32_t>{0x0800, 0x9000}));
    ASSERT_EQ(r.labels.size(), 1u);
    EXPECT_EQ(r.labels[0].name, "start");
    EXPECT_EQ(r.labels[0].address, 0);
    EXPECT_EQ(r.lineCount, 2);
    EXPECT_EQ(r.errorLine, 0);
    // A forward reference resolves as well, with the label's own address.
    EXPECT_EQ(Words(Compile({"jmp end", "out 1", "End:  ;  "})), (std::vector<std::int32_t>{0x9002, 0x0001}));
}

TEST(AfgCompilerTest, InstructionWords)
{
    struct Case {
        const char* statement;
        std::int32_t word;
    };
    const Case cases[] = {
        {"OUT 1", 0x0001},
        {"DIFF 1", 0x1001},
        {"STOP 1", 0x2001},
        {"LOOP 1", 0x3001},
        {"DELAY 1", 0x4001},
        {"REPEAT 1", 0x5001},
        {"ENDREP 1", 0x6001},
        {"RET 1", 0x7001},
        {"CALL 1", 0x8001},
        {"JMP 1", 0x9001},
        {"WAIT 1", 0xA001},
        {"LOADN 1", 0xB001},
        {"OUTN 1", 0xC001},
        {"DIFFN 1", 0xD001},
        {"DIFF -1", 0x1FFF},
        {"DIFF -4095", 0x1001},
        {"DIFFN -4095", 0xD001},
        {"ENDREP -1", 0x6FFF},
        {"RET -2", 0x7FFE},
        {"OUT 4095", 0x0FFF},
        {"CALL 2047", 0x87FF},
        {"WAIT 0", 0xA000},
        {"out 5", 0x0005},
        {"oUtN\t7", 0xC007},
        {"OUT\t \t9", 0x0009},
        {"OUT $FF", 0x00FF},
        {"OUT $ff", 0x00FF},
        {"OUT x1F", 0x001F},
        {"OUT X1f", 0x001F},
        {"OUT 0x1F", 0x001F},
        {"OUT 0X1F", 0x001F},
        {"OUT +12", 0x000C},
        {"OUT 007", 0x0007},
        {"DIFF -$10", 0x1FF0},
        {"DIFF -x10", 0x1FF0},
        {"DIFF -0x10", 0x1FF0},
        {"DIFF +$10", 0x1010},
        {"x1F", 0x001F},
        {"$10", 0x0010},
        {"100", 0x0064},
        {"  +3  ", 0x0003},
        {"OUT 0x0FFF", 0x0FFF},
        {"LOADN 000000000000000000000000000001", 0xB001},
    };
    for (const Case& c : cases) {
        const AfgResult r = Compile({c.statement});
        ASSERT_TRUE(r.ok) << c.statement << ": " << r.message;
        EXPECT_EQ(r.wordCount, 1) << c.statement;
        EXPECT_EQ(r.words[0], c.word) << c.statement;
    }
}

TEST(AfgCompilerTest, StatementErrors)
{
    struct Case {
        const char* statement;
        const char* error;
    };
    const Case cases[] = {
        {"DIFF 4096", "4096 is out of range"},
        {"DIFF -4096", "-4096 is out of range"},
        {"OUT -1", "-1 is out of range"},
        {"OUT 4096", "4096 is out of range"},
        {"CALL 2048", "2048 is out of range"},
        {"JMP $800", "$800 is out of range"},
        {"WAIT 2", "2 is out of range"},
        {"-$10", "-$10 is out of range"},  // a bare number is OUT, which takes no negatives
        {"OUT 99999999999999999999999999", "99999999999999999999999999 is out of range"},
        {"DIFF -99999999999999999999999999", "-99999999999999999999999999 is out of range"},
        {"OUT $FFFFFFFFFFFFFFFFFFFFFFFFFFFF", "$FFFFFFFFFFFFFFFFFFFFFFFFFFFF is out of range"},
        {"OUT 9223372036854775808", "9223372036854775808 is out of range"},
        {"OUT $-10", "Wrong parameter - $-10"},
        {"OUT $", "Wrong parameter - $"},
        {"OUT 1 2", "Wrong parameter - 1 2"},
        {"OUT --1", "Wrong parameter - --1"},
        {"OUT $1G", "Wrong parameter - $1G"},
        {"OUT 12a", "12a is undefined"},  // not a number, so a name
        {"OUT x", "x is undefined"},
        {"OUT 0x", "0x is undefined"},
        {"STOP", "Parameter is missing"},
        {"ret\t ", "Parameter is missing"},
        {"NOP 1", "Invalid command - NOP"},
        {"$", "Invalid command - $"},
        {"OUT\t5 6", "Invalid command - OUT\t5"},  // split at the first blank
        {"OUT5", "Invalid command - OUT5"},
        {"a: b: OUT 1", "Invalid command - b:"},
        {"#CLOCK 1000001", "Wrong parameter - 1000001"},
        {"#CLOCK start", "Wrong parameter - start"},
        {"_SIN 0", "Wrong parameter - 0"},
        {"_COM 512", "Wrong parameter - 512"},
        {"#BAUD", "Parameter is missing"},
    };
    for (const Case& c : cases) {
        const AfgResult r = Compile({"OUT 0", c.statement});
        EXPECT_FALSE(r.ok) << c.statement;
        EXPECT_EQ(r.errorLine, 2) << c.statement;
        EXPECT_EQ(r.errorText, c.error) << c.statement;
        EXPECT_EQ(r.message, std::string("Error in line 2\r\n") + c.error) << c.statement;
        EXPECT_TRUE(r.shortText.empty()) << c.statement;
    }
}

TEST(AfgCompilerTest, DirectiveRangesAndDefaults)
{
    struct Case {
        const char* name;
        int lo, hi;
    };
    const Case cases[] = {
        {"#CLOCK", 0, 1000000}, {"#AMP", 3, 100},    {"#NOMSG", 0, 2},   {"#BAUD", 100, 50000000},
        {"#AUTOR", 0, 1},       {"#SINF", 0, 50000}, {"#SINA", 0, 2047}, {"#SINPH", 0, 359},
        {"#LOG0", 0, 4095},     {"#LOG1", 0, 4095},  {"#BITS", 5, 9},    {"#PRTY", 0, 2},
        {"#SBITS", 1, 2},       {"#DCOM", 0, 1},     {"_SIN", 1, 2048},  {"_COM", 0, 511},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        for (const int v : {c.lo, c.hi}) {
            const AfgResult r = Compile({name + " " + std::to_string(v)});
            EXPECT_TRUE(r.ok) << name << " " << v << ": " << r.message;
        }
        for (const int v : {c.lo - 1, c.hi + 1}) {
            const AfgResult r = Compile({name + " " + std::to_string(v)});
            EXPECT_EQ(r.errorText, "Wrong parameter - " + std::to_string(v)) << name;
        }
    }

    const AfgResult none = Compile({"OUT 1"});
    EXPECT_FALSE(none.period || none.amplitude || none.baud);
    EXPECT_EQ(none.noMsg, 0);
    EXPECT_TRUE(none.autoRun);

    const AfgResult set = Compile({"#clock 500; #Amp 50", "#NOMSG 1 // quiet", "#AUTOR 0", "#AMP $20"});
    EXPECT_EQ(set.period, 500);
    EXPECT_EQ(set.amplitude, 32);  // the last one counts
    EXPECT_FALSE(set.baud);
    EXPECT_EQ(set.noMsg, 1);
    EXPECT_FALSE(set.autoRun);

    // The baud rate decides the period wherever "#CLOCK" stands.
    for (const Lines& lines : {Lines{"#CLOCK 5", "#BAUD 9600"}, Lines{"#BAUD 9600", "#CLOCK 5"}}) {
        const AfgResult r = Compile(lines);
        EXPECT_EQ(r.period, 10417);
        EXPECT_EQ(r.baud, 9600);
    }
    EXPECT_EQ(Compile({"#BAUD 50000000"}).period, 2);
    EXPECT_EQ(Compile({"#BAUD 100"}).period, 1000000);

    // On an error the directives read so far are there: the caller needs
    // "#NOMSG" to decide where the error goes.
    const AfgResult failed = Compile({"#NOMSG 2", "BAD 1", "#NOMSG 0"});
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.noMsg, 2);
}

TEST(AfgCompilerTest, BareNumbersAndSerialFrames)
{
    EXPECT_EQ(Words(Compile({"100"})), (std::vector<std::int32_t>{0x0064}));

    const auto frame = [](std::vector<int> bits, int log0 = 0, int log1 = 4000) {
        std::vector<std::int32_t> words;
        for (const int b : bits) words.push_back(0xC000 | (b ? log1 : log0));
        return words;
    };
    // 100 = 0b01100100, least significant bit first, between start and stop bit.
    EXPECT_EQ(Words(Compile({"#DCOM 1", "100"})), frame({0, 0, 0, 1, 0, 0, 1, 1, 0, 1}));

    struct Case {
        Lines lines;
        std::vector<std::int32_t> words;
    };
    const Case cases[] = {
        {{"_COM 0x55"}, frame({0, 1, 0, 1, 0, 1, 0, 1, 0, 1})},
        // 7 bits of 0x55 hold four ones: odd parity adds a one, even a zero.
        {{"#BITS 7; #PRTY 1; #SBITS 2; #LOG0 10; #LOG1 20", "_COM $55"},
         frame({0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1}, 10, 20)},
        {{"#BITS 7; #PRTY 2; #LOG0 10; #LOG1 20", "_com $55"}, frame({0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, 10, 20)},
        {{"#PRTY 1", "_COM 7"}, frame({0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1})},
        {{"#PRTY 2", "_COM 7"}, frame({0, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1})},
        // Bits beyond "#BITS" are not sent.
        {{"#BITS 5", "_COM 511"}, frame({0, 1, 1, 1, 1, 1, 1})},
        {{"#BITS 9", "_COM 256"}, frame({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1})},
        // The frame goes in front of the rest of its line.
        {{"OUT 1; _COM 0; OUT 2"},
         [&] {
             std::vector<std::int32_t> w{0x0001};
             for (const std::int32_t x : frame({0, 0, 0, 0, 0, 0, 0, 0, 0, 1})) w.push_back(x);
             w.push_back(0x0002);
             return w;
         }()},
    };
    for (const Case& c : cases) EXPECT_EQ(Words(Compile(c.lines)), c.words) << c.lines.back();

    // A frame's listing: the macro line, then one line per bit.
    const AfgResult r = Compile({"_COM 1"});
    EXPECT_EQ(r.listing[3], "_COM  1");
    EXPECT_EQ(r.listing[4], "0x000:  OUTN              0   0xC000");
    EXPECT_EQ(r.listing[5], "0x001:  OUTN              4000  0xCFA0");
}

TEST(AfgCompilerTest, SineSegment)
{
    const AfgResult r = Compile({"_SIN 100"});
    const std::vector<std::int32_t> words = Words(r);
    ASSERT_EQ(words.size(), 100u);
    for (std::size_t i = 0; i + 1 < words.size(); ++i) ASSERT_EQ(words[i] >> 12, AfgDiffN) << i;
    EXPECT_EQ(words.back() >> 12, AfgDiff);
    // One full period of amplitude 1000: the output after i words is v(i) - v(0).
    std::vector<int> level{0};
    for (const std::int32_t w : words) level.push_back(level.back() + Param(w));
    EXPECT_EQ(level[100], 0);
    EXPECT_EQ(level[10], 588);  // 1000 sin(36°) = 587.8
    EXPECT_EQ(level[25], 1000);
    EXPECT_EQ(level[50], 0);
    EXPECT_EQ(level[75], -1000);
    EXPECT_EQ(*std::max_element(level.begin(), level.end()), 1000);
    EXPECT_EQ(r.listing[4], "0x000:  DIFFN             63  0xD03F");

    // Phase, step and amplitude; the steepest segment still fits a DIFF.
    const AfgResult steep = Compile({"#SINF 50000; #SINA 2047; #SINPH 90; _SIN 3"});
    EXPECT_EQ(Words(steep), (std::vector<std::int32_t>{0xD000 | (4096 - 4094), 0xD000 | 4094, 0x1000 | (4096 - 4094)}));
    const AfgResult shifted = Compile({"#SINF 2500; #SINA 100; #SINPH 45", "_SIN 1; OUT 7"});
    const int expected = static_cast<int>(RoundHalfAway(100 * std::sin(2 * std::numbers::pi * (0.025 + 0.125))) -
                                          RoundHalfAway(100 * std::sin(2 * std::numbers::pi * 0.125)));
    EXPECT_EQ(Words(shifted), (std::vector<std::int32_t>{0x1000 | (expected & 0xFFF), 0x0007}));
}

TEST(AfgCompilerTest, NamesResolvedAfterTheLastLine)
{
    const AfgResult r = Compile({"a: OUT 1", "JMP nowhere", "CALL elsewhere", "OUT 2"});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Error in line 2\r\nnowhere is undefined");
    EXPECT_EQ(r.errorLine, 2);

    // Case-insensitive lookup; any instruction may take an address.
    EXPECT_EQ(Words(Compile({"OUT 0; OUT 0", "Here: DIFF HERE; LOADN here"})),
              (std::vector<std::int32_t>{0x0000, 0x0000, 0x1002, 0xB002}));

    // An address that the instruction's range cannot hold.
    struct Case {
        Lines lines;
        int line;
        const char* error;
    };
    const Case cases[] = {
        {{"OUT 0; OUT 0", "WAIT two", "two: OUT 1"}, 2, "two is out of range"},
        {{"JMP end", "_SIN 2047", "end:"}, 1, "end is out of range"},  // the end of a full memory is 2048
        {{"CALL end", "_SIN 2047", "end:"}, 1, "end is out of range"},
    };
    for (const Case& c : cases) {
        const AfgResult e = Compile(c.lines);
        EXPECT_EQ(e.errorLine, c.line) << c.error;
        EXPECT_EQ(e.errorText, c.error);
    }
    EXPECT_EQ(Words(Compile({"OUT 0", "one: WAIT one"}))[1], 0xA001);
    EXPECT_EQ(Words(Compile({"DIFF end", "_SIN 2047", "end:"}))[0], 0x1800);
}

TEST(AfgCompilerTest, Labels)
{
    const AfgResult r = Compile({"beta: OUT 1", "Alpha:", "gamma_2: OUT 2; OUT 3", "_9:"});
    ASSERT_EQ(r.labels.size(), 4u);
    EXPECT_EQ(r.labels[0].name, "_9");
    EXPECT_EQ(r.labels[0].address, 3);
    EXPECT_EQ(r.labels[1].name, "Alpha");
    EXPECT_EQ(r.labels[1].address, 1);
    EXPECT_EQ(r.labels[2].name, "beta");
    EXPECT_EQ(r.labels[2].address, 0);
    EXPECT_EQ(r.labels[3].name, "gamma_2");
    EXPECT_EQ(r.labels[3].address, 1);

    struct Case {
        Lines lines;
        int line;
        const char* error;
    };
    const Case cases[] = {
        {{"start: OUT 1", "START: OUT 2"}, 2, "Duplicate lable - START"},
        {{"my-label: OUT 1"}, 1, "Wrong lable - my-label"},
        {{"two words: OUT 1"}, 1, "Wrong lable - two words"},
        {{"метка: OUT 1"}, 1, "Wrong lable - метка"},
        {{":"}, 1, "Wrong lable - :"},
        {{"OUT 1", "  : OUT 1"}, 2, "Wrong lable - :"},
        {{"::"}, 1, "Wrong lable - :"},
        {{"a:", "a::"}, 2, "Duplicate lable - a"},
    };
    for (const Case& c : cases) {
        const AfgResult e = Compile(c.lines);
        EXPECT_EQ(e.errorLine, c.line) << c.error;
        EXPECT_EQ(e.errorText, c.error);
    }
    // A colon in a comment is no label.
    EXPECT_TRUE(Compile({"OUT 1 // see: here"}).labels.empty());
}

TEST(AfgCompilerTest, OutOfMemoryAtTheWord2049)
{
    Lines full(AfgProgramWords, "OUT 3");
    const AfgResult r = Compile(full);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.wordCount, AfgProgramWords);
    EXPECT_EQ(r.words.back(), 3);
    full.push_back("OUT 4");
    EXPECT_EQ(Compile(full).message, "Error in line 2049\r\nOut of memory");
    // Inside a macro the error is on the macro's line; a label after a full memory is fine.
    EXPECT_EQ(Compile({"OUT 1", "_SIN 2047", "end:"}).wordCount, AfgProgramWords);
    EXPECT_EQ(Compile({"OUT 1", "_SIN 2048"}).message, "Error in line 2\r\nOut of memory");
    EXPECT_EQ(Compile({"_SIN 2048; _COM 1"}).message, "Error in line 1\r\nOut of memory");
}

TEST(AfgCompilerTest, Summary)
{
    const AfgResult r = CompileAfg({"OUT 1", "OUT 2", "", "OUT 3"}, "C:\\afg\\prog.krg", false);
    EXPECT_EQ(r.message, "prog.krg\r\n\r\nLines = 4\r\nCommands = 3 (0.1%)");
    EXPECT_EQ(r.shortText, "Lines = 4  Commands = 3");
    const AfgResult ru = CompileAfg({"OUT 1", "OUT 2", "", "OUT 3"}, "/home/u/prog.krg", true);
    EXPECT_EQ(ru.message, "prog.krg\r\n\r\nЧисло строк = 4\r\nЧисло команд = 3 (0.1%)");
    EXPECT_EQ(ru.shortText, "Строк = 4  Команд = 3");

    const AfgResult baud = CompileAfg({"#BAUD 9600", "_COM 65"}, "prog.krg", false);
    EXPECT_EQ(baud.period, 10417);
    EXPECT_EQ(baud.message, "prog.krg\r\n\r\nLines = 2\r\nCommands = 10 (0.5%)\r\nBaud Rate = 9599.7 (Err = -0.003%)");
    EXPECT_EQ(CompileAfg({"#BAUD 33333333"}, "p.krg", false).message,
              "p.krg\r\n\r\nLines = 1\r\nCommands = 0 (0.0%)\r\nBaud Rate = 33333333.3 (Err = 0.000%)");
    EXPECT_EQ(Compile(Lines(AfgProgramWords, "OUT 0")).shortText, "Lines = 2048  Commands = 2048");
    EXPECT_NE(Compile(Lines(AfgProgramWords, "OUT 0")).message.find("Commands = 2048 (100.0%)"), std::string::npos);
}

TEST(AfgCompilerTest, ErrorTextsInBothLanguages)
{
    struct Case {
        Lines lines;
        const char *en, *ru;
    };
    const Case cases[] = {
        {{":"}, "Wrong lable - :", "Недопустимая метка - :"},
        {{"a-b:"}, "Wrong lable - a-b", "Недопустимый символ в имени метки - a-b"},
        {{"a:", "A:"}, "Duplicate lable - A", "Повтор метки - A"},
        {{"MOV 1"}, "Invalid command - MOV", "Недопустимая команда - MOV"},
        {{"JMP"}, "Parameter is missing", "Отсутствует параметр"},
        {{"_SIN 2048", "OUT 1"}, "Out of memory", "Недостаточно памяти"},
        {{"OUT 4096"}, "4096 is out of range", "Недопустимый параметр - 4096"},
        {{"JMP a.b"}, "Wrong parameter - a.b", "Недопустимый символ в имени параметра - a.b"},
        {{"#AMP 2"}, "Wrong parameter - 2", "Недопустимый параметр - 2"},
        {{"JMP nowhere"}, "nowhere is undefined", "Метка не найдена - nowhere"},
    };
    for (const Case& c : cases) {
        const AfgResult en = Compile(c.lines, false), ru = Compile(c.lines, true);
        const std::string line = std::to_string(en.errorLine);
        EXPECT_EQ(en.message, "Error in line " + line + "\r\n" + c.en);
        EXPECT_EQ(ru.message, "Ошибка в строке " + line + "\r\n" + c.ru);
        EXPECT_EQ(ru.errorText, c.ru);
    }
}

TEST(AfgCompilerTest, Listing)
{
    const Lines program = {"#CLOCK 100 // step", "start: OUT 5", " loop1:", "DIFF -1;  jmp start", "ret $1F0"};
    const AfgResult r = CompileAfg(program, "/data/prog.krg", false);
    ASSERT_TRUE(r.ok) << r.message;
    const Lines expected = {
        "-----------------------------------------",
        "/data/prog.krg",
        "",
        "#CLOCK  100",
        "start:",
        "0x000:  OUT               5   0x0005",
        "loop1:",
        "0x001:  DIFF              -1  0x1FFF",
        "0x002:  JMP               start  0x9000",
        "0x003:  RET               $1F0  0x71F0",
        "",
        "-----------------------------------------",
    };
    EXPECT_EQ(r.listing, expected);
    std::string text;
    for (const std::string& l : expected) text += l + "\r\n";
    EXPECT_EQ(AfgListingText(r), text);

    // An error leaves the lines up to it, the failing one included, without words.
    Lines bad = program;
    bad.back() = "ret 5000";
    const AfgResult e = CompileAfg(bad, "/data/prog.krg", false);
    ASSERT_FALSE(e.ok);
    const Lines upToError = {expected[0],
                             expected[1],
                             "",
                             "#CLOCK  100",
                             "start:",
                             "0x000:  OUT               5",
                             "loop1:",
                             "0x001:  DIFF              -1",
                             "0x002:  JMP               start",
                             "0x003:  RET               5000"};
    EXPECT_EQ(e.listing, upToError);
    // An undefined name is found after the last line: the listing is whole, not padded.
    bad.back() = "ret later";
    const AfgResult u = CompileAfg(bad, "/data/prog.krg", false);
    EXPECT_EQ(u.listing.size(), 10u);
    EXPECT_EQ(u.listing.back(), "0x003:  RET               later");
}

TEST(AfgCompilerTest, AwkwardInput)
{
    EXPECT_TRUE(Compile({}).ok);
    EXPECT_EQ(Compile({"", "   ", ";;;", " ; ;", "// only a comment", "\t"}).wordCount, 0);
    // Lines read from a file saved with CR LF.
    EXPECT_EQ(Words(Compile({"a: OUT 1\r", "JMP a\r", "\r"})), (std::vector<std::int32_t>{0x0001, 0x9000}));
    EXPECT_EQ(Words(Compile({"OUT 1;;; ;OUT 2;"})), (std::vector<std::int32_t>{1, 2}));

    const std::string longLine = std::string(1'000'000, ';') + "OUT 1" + std::string(1'000'000, ' ');
    EXPECT_EQ(Words(Compile({longLine})), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(Compile({"OUT " + std::string(100'000, '9')}).errorText, std::string(100'000, '9') + " is out of range");

    const AfgResult bytes = Compile({std::string("OUT \0\xff", 6)});
    EXPECT_EQ(bytes.errorText, std::string("Wrong parameter - \0\xff", 20));
    EXPECT_EQ(Compile({"\xd0\x9f 1"}).errorText, "Invalid command - \xd0\x9f");
}

}  // namespace
}  // namespace kr40
