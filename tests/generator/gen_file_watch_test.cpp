#include "generator/gen_file_watch.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kr40 {
namespace {

TEST(GenFileWatchTest, ReloadOnlyWhenTheSameFileChanges)
{
    test::TempDir dir;
    const std::string a = (dir / "a.krg").string(), b = (dir / "b.krg").string();
    test::TempDir::Write(a, "1");
    test::TempDir::Write(b, "1");
    GenFileWatch w;
    EXPECT_FALSE(GenFileChangedOnDisk(w, a, true));  // first look
    EXPECT_FALSE(GenFileChangedOnDisk(w, a, true));  // unchanged

    std::filesystem::last_write_time(a, std::filesystem::last_write_time(a) + std::chrono::seconds(5));
    EXPECT_TRUE(GenFileChangedOnDisk(w, a, true));
    EXPECT_FALSE(GenFileChangedOnDisk(w, a, true));

    EXPECT_FALSE(GenFileChangedOnDisk(w, b, true));  // another file was loaded: no reload
    std::filesystem::remove(b);
    EXPECT_FALSE(GenFileChangedOnDisk(w, b, true));  // a vanished file has no valid time

    test::TempDir::Write(b, "2");
    EXPECT_FALSE(GenFileChangedOnDisk(w, b, false));  // table not loaded: not watched
    EXPECT_FALSE(GenFileChangedOnDisk(w, b, true));
}

}  // namespace
}  // namespace kr40
