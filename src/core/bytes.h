#pragma once
#include <string>

namespace tornavel {

// A byte text: carries its length and may hold any byte (0x01, CR, LF, NUL).
// Wire bytes are Windows-1251; texts shown on the window are UTF-8.
using Bytes = std::string;

}  // namespace tornavel
