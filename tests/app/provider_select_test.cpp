#include "app/provider_select.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace kr40 {
namespace {

// --- Provider choice -------------------------------------------------------------

TEST(ProviderSelect, MakesKnownProvidersOnly)
{
    EXPECT_NE(MakeProvider("d2xx"), nullptr);
#ifdef KR40_HAVE_LIBFTDI1
    EXPECT_NE(MakeProvider("ftdi"), nullptr);
    EXPECT_EQ(DefaultProviderName(), "ftdi");
#else
    EXPECT_EQ(MakeProvider("ftdi"), nullptr);
    EXPECT_EQ(DefaultProviderName(), "d2xx");
#endif
    EXPECT_NE(MakeProvider("sim"), nullptr);
    EXPECT_EQ(MakeProvider("D2XX"), nullptr);
    EXPECT_EQ(MakeProvider(""), nullptr);
}

void SetEnv(const char* name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        SetEnv(name, value);
    }
    ~ScopedEnv() { SetEnv(name_, old_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ProviderSelect, NameFromArgsThenEnvironmentThenDefault)
{
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> env;
        std::string expected;
    };
    const std::string def = DefaultProviderName();
    const Case cases[] = {
        {{}, std::nullopt, def},
        {{"--lang=ru", "trace.krs"}, std::nullopt, def},
        {{}, "", def},
        {{}, "d2xx", "d2xx"},
        {{"--driver=d2xx"}, std::nullopt, "d2xx"},
        {{"--driver=ftdi"}, "d2xx", "ftdi"},
        {{"--simulate"}, "d2xx", "sim"},
        {{"--driver=d2xx", "--simulate"}, std::nullopt, "sim"},
        {{"--simulate", "--driver=d2xx"}, std::nullopt, "d2xx"},
        {{"--driver="}, "sim", "sim"},
        {{"--driver"}, std::nullopt, def},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + " env=" + c.env.value_or("(unset)"));
        ScopedEnv env("KR40_DRIVER", c.env);
        std::vector<std::string> storage = {"kr40"};
        storage.insert(storage.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& s : storage) argv.push_back(s.data());
        EXPECT_EQ(ProviderNameFromArgs(static_cast<int>(argv.size()), argv.data()), c.expected);
    }
}

}  // namespace
}  // namespace kr40
