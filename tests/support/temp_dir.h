#pragma once
// A fresh folder under the system temp folder, removed at the end of the test.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace kr40::test {

class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("kr40_test_" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    static void Write(const std::filesystem::path& p, const std::string& text)
    {
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string Read(const std::filesystem::path& p)
    {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

private:
    std::filesystem::path path_;
};

}  // namespace kr40::test
