#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tornavel {

// What kind of thing happened to the unit.
enum class HistoryKind { Alert, Connected, Disconnected, Change, Test };

struct HistoryEntry {
    std::time_t at = 0;
    HistoryKind kind = HistoryKind::Alert;
    std::string text;  // UTF-8, one line, no control characters
};

// The history of events, kept one line each in a file that survives the
// run: "<unix seconds>\t<kind>\t<text>\n". Each event is appended with one
// write, so a crash loses at most the line being written and never garbles
// an earlier one. Once the file would grow past its bound it is renamed to
// "<file>.1" (replacing the older one) and a new file begins: at most twice
// the bound is kept. Record may be called from any thread.
class EventHistory {
public:
    static constexpr std::size_t kDefaultMaxBytes = 256 * 1024;
    using Listener = std::function<void(const HistoryEntry&)>;

    explicit EventHistory(std::string path, std::size_t maxBytes = kDefaultMaxBytes)
        : path_(std::move(path)), maxBytes_(maxBytes)
    {
    }

    // Keeps the event in the file and hands it to the listener. A file that
    // cannot be written loses the event from the file only.
    void Record(HistoryKind kind, const std::string& text, std::time_t at = std::time(nullptr));
    // Hears every recorded event, on the recording thread.
    void SetListener(Listener listener);
    // The kept events, oldest first; broken or foreign lines are skipped.
    std::vector<HistoryEntry> Load() const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::size_t maxBytes_;
    mutable std::mutex mutex_;
    Listener listener_;
};

// $XDG_STATE_HOME/tornavel/events.log, by default ~/.local/state/tornavel/events.log;
// empty when neither variable names a directory.
std::string DefaultHistoryPath();

// One line of the file, and back; nothing for a line that is not ours.
std::string HistoryLine(const HistoryEntry& entry);
std::optional<HistoryEntry> ParseHistoryLine(const std::string& line);

// The kind as the window names it: "сигнал", "подключение", ...
std::string KindCaption(HistoryKind kind);

}  // namespace tornavel
