#include "serial/devicefile.h"

#include <sys/stat.h>

#include <filesystem>

namespace tornavel {

bool SameDeviceFile(const std::string& a, const std::string& b)
{
    if (a == b) return true;
    struct stat first {
    }, second{};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    if (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) return first.st_rdev == second.st_rdev;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string AbsolutePath(const std::string& path)
{
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

}  // namespace tornavel
