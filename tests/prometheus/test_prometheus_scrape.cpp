// A real Prometheus server scrapes tornavel-monitor running against the
// simulator: started here with its own configuration and storage on a free
// loopback port (never the system's service), queried over its HTTP API.
// promtool checks the exposition too.
#include <gtest/gtest.h>

#include <crypt.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "system/monitor_process.h"
#include "system/upssim_process.h"

namespace tornavel {
namespace {

using testing::HttpRequest;
using testing::MonitorProcess;
using testing::UpssimProcess;

// A free loopback port: bound, read and released (the server takes it next).
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Runs a program with `input` on its standard input; its exit status and
// everything it printed.
std::pair<int, std::string> RunWithInput(std::vector<std::string> args, const std::string& input)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC)) return {-1, "pipe failed"};
    const pid_t pid = testing::Spawn(std::move(args), in[0], out[1], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    (void)!::write(in[1], input.data(), input.size());
    ::close(in[1]);
    std::string printed;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
}

// Percent-encoding for a query string.
std::string UrlEncoded(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

class PrometheusServer {
public:
    // Scrapes the monitor every second and evaluates `rules` as often;
    // `moreJobs` are further entries of scrape_configs.
    PrometheusServer(const std::string& dir, int target, const std::string& rules, const std::string& moreJobs)
        : port_(FreePort())
    {
        const std::string config = dir + "/prometheus.yml";
        std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                                 "rule_files: ['"
                              << rules
                              << "']\n"
                                 "scrape_configs:\n  - job_name: tornavel\n    static_configs:\n"
                                 "      - targets: ['127.0.0.1:"
                              << target << "']\n"
                              << moreJobs;
        std::vector<std::string> args = {PROMETHEUS_PATH, "--config.file=" + config,
                                         "--storage.tsdb.path=" + dir + "/data",
                                         "--web.listen-address=127.0.0.1:" + std::to_string(port_)};
        const int log = ::open((dir + "/prometheus.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = testing::Spawn(std::move(args), -1, log, log);
        ::close(log);
    }
    ~PrometheusServer()
    {
        ::kill(pid_, SIGTERM);
        if (!MonitorProcess::waitUntil([&] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; }, 10000)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // The instant query's answer (JSON text).
    std::string Query(const std::string& promql)
    {
        return HttpRequest(port_, "GET", "/api/v1/query?query=" + UrlEncoded(promql)).body;
    }

private:
    int port_;
    pid_t pid_ = -1;
};

bool Succeeded(const std::string& answer)
{
    return answer.find(R"("status":"success")") != std::string::npos;
}
bool Empty(const std::string& answer)
{
    return answer.find(R"("result":[])") != std::string::npos;
}

// The dashboard's PromQL: every panel's and annotation's expression and the
// variables' queries, with Grafana's variables given values that select all.
std::vector<std::string> DashboardExpressions(const std::string& json)
{
    const auto [status, listed] = RunWithInput(
        {JQ_PATH, "-r", "[.. | objects | (.expr?, .definition?) | strings] | .[]"}, json);
    EXPECT_EQ(status, 0) << listed;
    std::vector<std::string> expressions;
    std::istringstream lines(listed);
    for (std::string line; std::getline(lines, line);) {
        for (const auto& [variable, value] :
             {std::pair{"$instance", ".+"}, {"$port", ".+"}, {"$__rate_interval", "1m"}}) {
            for (auto at = line.find(variable); at != std::string::npos; at = line.find(variable))
                line.replace(at, std::strlen(variable), value);
        }
        expressions.push_back(line);
    }
    return expressions;
}

// The series selectors in an expression: metric names of ours (or "up") with
// their label matchers.
std::vector<std::string> Selectors(const std::string& expression)
{
    static const std::regex selector(R"(\b(tornavel_[a-z_]+|up)(\{[^}]*\})?)");
    std::vector<std::string> found;
    for (std::sregex_iterator it(expression.begin(), expression.end(), selector), end; it != end; ++it)
        found.push_back(it->str());
    return found;
}

TEST(PrometheusScrape, InputVoltageReachesPrometheusAsTheSimulatorSetIt)
{
    ASSERT_TRUE(std::filesystem::exists(PROMETHEUS_PATH)) << "prometheus missing: run scripts/install-deps";
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups", "com4=ups2"});
    MonitorProcess monitor({"--ports", sim.ports(), "COM1", "COM4"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", 30000)) << monitor.events();
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM4"} 1)", 30000)) << monitor.events();

    // promtool reports nothing on the exposition: no lint, no error.
    const auto [status, report] = RunWithInput({PROMTOOL_PATH, "check", "metrics"}, monitor.metrics());
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(report, "");

    std::string dir = (std::filesystem::temp_directory_path() / "prometheus-test-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(dir.data()));

    // A second monitor behind TLS and basic authentication, scraped by one
    // job with the right password and one with a wrong one.
    UpssimProcess tlsSim({"--steady", "com1=ups"});
    const auto [made, said] = RunWithInput({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                            "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", dir + "/key.pem",
                                            "-out", dir + "/cert.pem", "-days", "2", "-subj", "/CN=localhost",
                                            "-addext", "subjectAltName=IP:127.0.0.1"},
                                           "");
    ASSERT_EQ(made, 0) << said;
    std::ofstream(dir + "/web.yml") << "tls_server_config:\n  cert_file: " << dir << "/cert.pem\n  key_file: " << dir
                                    << "/key.pem\nbasic_auth_users:\n  prom: "
                                    << ::crypt("s3cret", ::crypt_gensalt("$2b$", 4, nullptr, 0)) << "\n";
    MonitorProcess tlsMonitor({"--web-config", dir + "/web.yml", "--ports", tlsSim.ports(), "COM1"});
    const int tlsPort = tlsMonitor.port();
    ASSERT_GT(tlsPort, 0) << tlsMonitor.errors();
    std::string tlsJobs;
    for (const auto& [job, password] : {std::pair{"tornavel-tls", "s3cret"}, {"tornavel-wrong-password", "s3cre"}})
        tlsJobs += std::string("  - job_name: ") + job + "\n    scheme: https\n    tls_config:\n      ca_file: " + dir +
                   "/cert.pem\n    basic_auth:\n      username: prom\n      password: " + password +
                   "\n    static_configs:\n      - targets: ['127.0.0.1:" + std::to_string(tlsPort) + "']\n";
    {
        PrometheusServer prometheus(dir, monitor.port(), RULES_PATH, tlsJobs);
        const std::string query = R"(tornavel_ups_input_volts{port="COM1"})";
        std::string answer;
        const bool scraped = MonitorProcess::waitUntil(
            [&] {
                answer = prometheus.Query(query);
                return answer.find("\"229.3\"]") != std::string::npos;
            },
            30000);
        EXPECT_TRUE(scraped) << answer << "\n" << std::ifstream(dir + "/prometheus.log").rdbuf();
        EXPECT_NE(answer.find(R"("job":"tornavel")"), std::string::npos) << answer;
        EXPECT_NE(prometheus.Query(R"(tornavel_ups_input_volts{port="COM4"})").find("\"226.8\"]"), std::string::npos);

        // The right password over TLS gets the readings; the wrong one nothing.
        EXPECT_TRUE(MonitorProcess::waitUntil(
            [&] {
                answer = prometheus.Query(R"(tornavel_ups_input_volts{job="tornavel-tls",port="COM1"})");
                return answer.find("\"229.3\"]") != std::string::npos;
            },
            30000))
            << answer << "\n"
            << std::ifstream(dir + "/prometheus.log").rdbuf();
        EXPECT_TRUE(MonitorProcess::waitUntil(
            [&] {
                return (answer = prometheus.Query(R"(up{job="tornavel-wrong-password"})")).find("\"0\"]") !=
                       std::string::npos;
            },
            30000))
            << answer;
        EXPECT_TRUE(Empty(prometheus.Query(R"(tornavel_ups_up{job="tornavel-wrong-password"})")));

        // A mains failure on COM1 makes the shipped on-battery rule pending
        // (it fires after 30 s) for that unit alone.
        sim.event("com1 mains-fail");
        const std::string pending = R"(ALERTS{alertname="UpsOnBattery",alertstate="pending"})";
        EXPECT_TRUE(MonitorProcess::waitUntil([&] { return !Empty(answer = prometheus.Query(pending)); }, 30000))
            << answer << "\n"
            << std::ifstream(dir + "/prometheus.log").rdbuf();
        EXPECT_NE(answer.find(R"("port":"COM1")"), std::string::npos) << answer;
        EXPECT_EQ(answer.find(R"("port":"COM4")"), std::string::npos) << answer;
        // Wait for the alert's count to be scraped, so the event annotation selects it.
        EXPECT_TRUE(MonitorProcess::waitUntil(
            [&] { return !Empty(prometheus.Query(R"(tornavel_ups_alerts_total{alert="mains_failure"} > 0)")); },
            30000));

        // Every dashboard expression parses, and each series it selects is one
        // the monitor exports.
        std::ifstream dashboardFile(DASHBOARD_PATH);
        const std::string dashboard((std::istreambuf_iterator<char>(dashboardFile)), std::istreambuf_iterator<char>());
        const auto expressions = DashboardExpressions(dashboard);
        EXPECT_GT(expressions.size(), 20u);
        for (const std::string& expression : expressions) {
            if (expression.rfind("label_values(", 0) != 0) {
                answer = prometheus.Query(expression);
                EXPECT_TRUE(Succeeded(answer)) << expression << "\n" << answer;
            }
            for (const std::string& selector : Selectors(expression))
                EXPECT_FALSE(Empty(prometheus.Query(selector))) << selector << " in " << expression;
        }
    }
    std::filesystem::remove_all(dir);
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0);
}

}  // namespace
}  // namespace tornavel
