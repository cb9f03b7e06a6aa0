#include "upsnet/upsfollow.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <memory>

#include "upsnet/variables.h"
#include "upsnet/wordline.h"

namespace tornavel::service::upsnet {

namespace {

constexpr std::size_t kMaxAnswerLine = 4096;

// The variable the server publishes the reading in `slot` as.
std::string VariableOf(Slot slot)
{
    return std::string(ReadingOf(slot).rfc9271.name);
}

std::optional<double> Number(const std::string& text)
{
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        if (used != text.size() || !std::isfinite(value)) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::string PasswordFromLine(const std::string& line, const std::string& user)
{
    if (!user.empty() && line.rfind(user + ":", 0) == 0) return line.substr(user.size() + 1);
    return line;
}

UpsFollowSource::UpsFollowSource(UpsUrl url, std::string password, std::optional<std::string> caFile,
                                 int timeoutSeconds)
    : url_(std::move(url)), password_(std::move(password)), caFile_(std::move(caFile)), timeoutSeconds_(timeoutSeconds)
{
}

UpsFollowSource::~UpsFollowSource()
{
    Close();
}

void UpsFollowSource::Close()
{
    tls_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffered_.clear();
}

bool UpsFollowSource::Send(const std::string& line)
{
    const std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        const long wrote = tls_ ? tls_->Write(text.data() + sent, text.size() - sent)
                                : ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (wrote <= 0) return false;
        sent += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool UpsFollowSource::ReceiveLine(std::string& line)
{
    while (true) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (buffered_.size() > kMaxAnswerLine) return false;
        char buffer[1024];
        const long got = tls_ ? tls_->Read(buffer, sizeof buffer) : ::recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        buffered_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool UpsFollowSource::Ask(const std::string& line, std::string& answer, std::string& error)
{
    if (!Send(line) || !ReceiveLine(answer)) {
        error = "the connection to " + url_.host + " failed or timed out";
        Close();
        return false;
    }
    return true;
}

bool UpsFollowSource::Connect(std::string& error)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int result = ::getaddrinfo(url_.host.c_str(), std::to_string(url_.port).c_str(), &hints, &found)) {
        error = "cannot find " + url_.host + ": " + gai_strerror(result);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    for (const addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd_ < 0) continue;
        const timeval patience{timeoutSeconds_, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        if (::connect(fd_, a->ai_addr, a->ai_addrlen) != 0) Close();
    }
    if (fd_ < 0) {
        error = "cannot connect to " + url_.host + ":" + std::to_string(url_.port);
        return false;
    }
    std::string answer;
    if (caFile_) {
        if (!Ask("STARTTLS", answer, error)) return false;
        if (answer != "OK STARTTLS") {
            error = "the server refuses STARTTLS: " + answer;
            Close();
            return false;
        }
        tls_ = std::make_unique<TlsClient>();
        if (!tls_->Start(fd_, *caFile_, url_.host, error)) {
            Close();
            return false;
        }
    }
    if (url_.user.empty()) return true;
    const std::pair<std::string, std::string> login[] = {{"USERNAME " + WordText(url_.user), "OK"},
                                                         {"PASSWORD " + WordText(password_), "OK"}};
    for (const auto& [line, expected] : login) {
        if (!Ask(line, answer, error)) return false;
        if (answer != expected) {
            error = "the server refuses the login: " + answer;
            Close();
            return false;
        }
    }
    // LOGIN is what servers in the field know; ATTACH is its name in the RFC.
    if (!Ask("LOGIN " + WordText(url_.name), answer, error)) return false;
    if (answer == "ERR UNKNOWN-COMMAND" && !Ask("ATTACH " + WordText(url_.name), answer, error)) return false;
    if (answer != "OK") {
        error = "the server refuses to attach this follower: " + answer;
        Close();
        return false;
    }
    return true;
}

std::optional<std::string> UpsFollowSource::Variable(const std::string& name, std::string& refused, std::string& error)
{
    std::string answer;
    if (!Ask("GET VAR " + WordText(url_.name) + " " + name, answer, error)) return std::nullopt;
    const auto words = SplitWords(answer);
    if (words && words->size() == 4 && (*words)[0] == "VAR" && (*words)[2] == name) return (*words)[3];
    refused = answer;
    return std::nullopt;
}

std::optional<PolicyReading> UpsFollowSource::Read(std::string& error)
{
    const bool connecting = fd_ < 0;
    if (connecting && !Connect(error)) return std::nullopt;
    std::string refused;
    const auto status = Variable(VariableOf(kSlotStatus), refused, error);
    if (!error.empty()) return std::nullopt;
    // A server that says its data is stale, or gives no status, gives no
    // reading: the policy counts that towards a lost link.
    if (!status) return std::nullopt;
    PolicyReading reading;
    const ReadStatus read = StatusFromSymbols(*status);
    if (read.forcedShutdown) {
        reading.primaryDecided = true;
        return reading;
    }
    reading.status = StatusFlags{read.statusByte};
    // The protocol carries no alerts: a unit on battery is taken as a mains
    // failure (doubt counts as an outage), and a new connection may have
    // missed the transfer. A calibration still shows as CAL.
    reading.signs.mainsFailureAlert = SaysOnBattery(*reading.status);
    reading.signs.linkResumed = connecting;
    if (const auto charge = Variable(VariableOf(kSlotCharge), refused, error)) reading.chargePercent = Number(*charge);
    if (!error.empty()) return std::nullopt;
    if (const auto runtime = Variable(VariableOf(kSlotRuntime), refused, error))
        reading.runtimeSeconds = Number(*runtime);
    if (!error.empty()) return std::nullopt;
    return reading;
}

void UpsFollowSource::Leave()
{
    if (fd_ < 0) return;
    std::string answer, error;
    Ask("LOGOUT", answer, error);
    Close();
}

}  // namespace tornavel::service::upsnet
