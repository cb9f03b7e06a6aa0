#pragma once
#include <string>

namespace tornavel {

// Whether two paths name the same device file, links followed: the same
// character device (by its device number), or else the same file. Two paths
// of which either cannot be examined are the same only when they are equal.
bool SameDeviceFile(const std::string& a, const std::string& b);

// The path made absolute (not resolved), so another process with another
// working directory finds the same file.
std::string AbsolutePath(const std::string& path);

}  // namespace tornavel
