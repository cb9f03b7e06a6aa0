#pragma once
#include <string>

namespace tornavel::service {

// The metrics as a file for node_exporter's textfile collector. Each write
// goes to a temporary file in the same directory, which is then renamed over
// the target once it is on disk: a reader sees the old file or the new one,
// never half of one.
// The monitor writes it once at start, so a wrong path fails there.
class TextfileWriter {
public:
    explicit TextfileWriter(std::string path) : path_(std::move(path)) {}

    bool Write(const std::string& text, std::string& error) const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace tornavel::service
