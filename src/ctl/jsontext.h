#pragma once
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tornavel::ctl {

// A JSON string literal for UTF-8 text; control bytes are escaped.
inline std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

inline std::string JsonBool(bool value)
{
    return value ? "true" : "false";
}

// A JSON object built field by field, in the order given; a field set again
// keeps its place and takes the new value.
class JsonObject {
public:
    // `json` is already JSON text (a string literal, a number, an array...).
    JsonObject& Set(const std::string& key, std::string json)
    {
        for (auto& field : fields_)
            if (field.first == key) {
                field.second = std::move(json);
                return *this;
            }
        fields_.emplace_back(key, std::move(json));
        return *this;
    }
    JsonObject& SetText(const std::string& key, const std::string& text) { return Set(key, JsonString(text)); }
    bool Has(const std::string& key) const
    {
        for (const auto& field : fields_)
            if (field.first == key) return true;
        return false;
    }
    std::string Text() const
    {
        std::string text = "{";
        for (std::size_t i = 0; i < fields_.size(); ++i)
            text += (i ? ", " : "") + JsonString(fields_[i].first) + ": " + fields_[i].second;
        return text + "}";
    }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

// A JSON array of already-JSON items.
inline std::string JsonArray(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i];
    return text + "]";
}

}  // namespace tornavel::ctl
