#include "tools/quorvan/tool_env.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qvr::quorvan {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::string(value) : fallback;
}

}  // namespace

std::string QuorvanHome() {
    std::string home = EnvOr("QUORVAN_HOME", "");
    if (!home.empty()) return home;
    return EnvOr("HOME", ".") + "/.quorvan";
}

bool IsValidBrokerName(const std::string& broker, std::string& reason) {
    if (broker.empty()) {
        reason = "no broker given";
        return false;
    }
    if (broker == "." || broker == "..") {
        reason = "invalid broker name " + broker;
        return false;
    }
    for (char c : broker) {
        if (c == '/' || c == '\\' || c == '\0' || c == '\n' || c == '\r' || c == '\t') {
            reason = "invalid broker name " + broker;
            return false;
        }
    }
    return true;
}

std::string BrokerFile(const std::string& broker) { return QuorvanHome() + "/" + broker + ".qvrdb"; }

void RecordArgv(const std::vector<std::string>& args) {
    const char* file = std::getenv("QUORVAN_RECORD_ARGV");
    if (!file || !*file) return;
    std::string text;
    for (const auto& arg : args) text += arg + "\n";
    text += "--\n";
    // One append of the whole block, so tools started side by side do not
    // interleave their lines.
    int fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void ApplyDelay() {
    const char* value = std::getenv("QUORVAN_DELAY_MS");
    if (!value || !*value) return;
    char* end = nullptr;
    long long ms = std::strtoll(value, &end, 10);
    if (end == value || ms <= 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string CurrentUserName() { return EnvOr("USER", EnvOr("LOGNAME", "qvradmin")); }

}  // namespace qvr::quorvan
