#include "history/eventhistory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

namespace tornavel {

namespace {

struct KindName {
    HistoryKind kind;
    const char* name;     // in the file
    const char* caption;  // in the window
};

constexpr std::array<KindName, 5> kKinds = {{
    {HistoryKind::Alert, "alert", "сигнал"},
    {HistoryKind::Connected, "connected", "подключение"},
    {HistoryKind::Disconnected, "disconnected", "отключение"},
    {HistoryKind::Change, "change", "изменение"},
    {HistoryKind::Test, "test", "тест"},
}};

// A line break or tab inside a text would split or shift the record.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

bool WriteAll(int fd, const std::string& bytes)
{
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void ReadLines(const std::string& path, std::vector<HistoryEntry>& entries)
{
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);)
        if (auto entry = ParseHistoryLine(line)) entries.push_back(std::move(*entry));
}

}  // namespace

std::string HistoryLine(const HistoryEntry& entry)
{
    const char* name = "alert";
    for (const auto& k : kKinds)
        if (k.kind == entry.kind) name = k.name;
    return std::to_string(static_cast<long long>(entry.at)) + "\t" + name + "\t" + OneLine(entry.text) + "\n";
}

std::optional<HistoryEntry> ParseHistoryLine(const std::string& line)
{
    const auto firstTab = line.find('\t');
    const auto secondTab = firstTab == std::string::npos ? firstTab : line.find('\t', firstTab + 1);
    if (secondTab == std::string::npos || firstTab == 0 || firstTab > 18) return std::nullopt;
    for (std::size_t i = 0; i < firstTab; ++i)
        if (line[i] < '0' || line[i] > '9') return std::nullopt;
    HistoryEntry entry;
    entry.at = static_cast<std::time_t>(std::stoll(line.substr(0, firstTab)));
    const std::string name = line.substr(firstTab + 1, secondTab - firstTab - 1);
    const auto kind = std::find_if(kKinds.begin(), kKinds.end(), [&](const KindName& k) { return name == k.name; });
    if (kind == kKinds.end()) return std::nullopt;
    entry.kind = kind->kind;
    entry.text = line.substr(secondTab + 1);
    if (entry.text != OneLine(entry.text)) return std::nullopt;  // a torn or foreign line
    return entry;
}

std::string KindCaption(HistoryKind kind)
{
    for (const auto& k : kKinds)
        if (k.kind == kind) return k.caption;
    return {};
}

std::string DefaultHistoryPath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return std::string(state) + "/tornavel/events.log";
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return std::string(home) + "/.local/state/tornavel/events.log";
    return {};
}

void EventHistory::Record(HistoryKind kind, const std::string& text, std::time_t at)
{
    const HistoryEntry entry{at, kind, OneLine(text)};
    Listener listener;
    {
        std::lock_guard lock(mutex_);
        listener = listener_;
        if (!path_.empty()) {
            const std::string line = HistoryLine(entry);
            std::error_code ignored;
            std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
            struct stat st;
            if (::stat(path_.c_str(), &st) == 0 && static_cast<std::size_t>(st.st_size) + line.size() > maxBytes_)
                std::filesystem::rename(path_, path_ + ".1", ignored);
            const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd >= 0) {
                // A line torn by a crash gets its end first, so that it
                // stays one broken line instead of spoiling this one.
                char last = '\n';
                const off_t size = ::lseek(fd, 0, SEEK_END);
                if (size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n') WriteAll(fd, "\n");
                WriteAll(fd, line);
                ::close(fd);
            }
        }
    }
    if (listener) listener(entry);
}

void EventHistory::SetListener(Listener listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

std::vector<HistoryEntry> EventHistory::Load() const
{
    std::lock_guard lock(mutex_);
    std::vector<HistoryEntry> entries;
    if (path_.empty()) return entries;
    ReadLines(path_ + ".1", entries);
    ReadLines(path_, entries);
    return entries;
}

}  // namespace tornavel
