#pragma once
// Files for system tests: a fresh temporary directory removed afterwards,
// a whole file's text, and how often a pattern occurs in a text.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

namespace tornavel::testing {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::size_t Count(const std::string& text, const std::string& pattern)
{
    const std::regex re(pattern);
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tornavel-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside; the folders it names ("state/shutdown") are made.
    std::string operator/(const std::string& name) const
    {
        std::filesystem::create_directories(path_ / name.substr(0, name.rfind('/') + 1));
        return (path_ / name).string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace tornavel::testing
