#include "upsnet/wordline.h"

namespace tornavel::service::upsnet {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 && c != '\t';
}

}  // namespace

std::optional<std::vector<std::string>> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // a word has begun (it may still be empty: "")
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (IsControl(c) || c == '\x7f') return std::nullopt;
        if (c == '\\') {
            if (++i == line.size() || IsControl(line[i])) return std::nullopt;
            word += line[i];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (IsBlank(c) && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::string QuotedText(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (IsControl(c) || c == '\x7f') continue;  // a value never breaks its line
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string WordText(const std::string& word)
{
    if (word.empty()) return "\"\"";
    for (const char c : word)
        if (IsBlank(c) || IsControl(c) || c == '"' || c == '\\' || c == '\x7f') return QuotedText(word);
    return word;
}

}  // namespace tornavel::service::upsnet
