#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tornavel::service::upsnet {

// The words of one line of the UPS network protocol (RFC 9271): separated by
// spaces or tabs; a double quote starts or ends a stretch in which spaces
// belong to the word; a backslash takes the next character as it is, so \"
// and \\ stand for a quote and a backslash, in quotes or not. `""` is an empty
// word. Nothing for a line that cannot be read whole: an unterminated quote,
// a backslash at the end, a control character (the line end is not part of
// the line).
std::optional<std::vector<std::string>> SplitWords(const std::string& line);

// A word as it goes on a line: as it is when it needs nothing, else in double
// quotes with quotes and backslashes escaped; the empty word is "". Control
// characters are left out of a quoted text: nothing breaks a line.
std::string WordText(const std::string& word);
// Always in double quotes, escaped: the form of every value and description.
std::string QuotedText(const std::string& text);

}  // namespace tornavel::service::upsnet
