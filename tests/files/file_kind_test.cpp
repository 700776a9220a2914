#include "files/file_kind.h"

#include <gtest/gtest.h>

namespace kr40 {
namespace {

TEST(FileKindTest, ByTheLastExtensionIgnoringCase)
{
    const std::pair<const char*, FileKind> cases[] = {
        {"/home/u/setup.krs", FileKind::Settings},
        {"C:\\data\\TRACE.KRD", FileKind::Data},
        {"sweep.Krg", FileKind::Generator},
        {"setup.krs.bak", FileKind::Other},
        {"/home/u.krs/notes", FileKind::Other},  // a dot in a folder name is not an extension
        {"krs", FileKind::Other},
        {"file.", FileKind::Other},
        {"", FileKind::Other},
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(FileKindOf(path), kind) << path;
}

}  // namespace
}  // namespace kr40
