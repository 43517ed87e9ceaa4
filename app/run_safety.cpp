#include "app/run_safety.h"

#include <filesystem>
#include <system_error>

#include "app/platform.h"

namespace qvr {

bool ResolveFolder(const std::string& path, std::string& resolved, int& error) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) resolved = std::filesystem::weakly_canonical(absolute, ec).string();
    if (ec) {
        error = ec.value();
        return false;
    }
    // A trailing separator would make the same folder look like two.
    while (resolved.size() > 1 && platform::IsSeparator(resolved.back())) resolved.pop_back();
    return true;
}

bool PathIsWithin(std::string_view inner, std::string_view outer) {
    std::string in(inner);
    std::string out(outer);
    if constexpr (platform::kIsWindows) {
        in = platform::UpperAscii(in);
        out = platform::UpperAscii(out);
    }
    while (!out.empty() && platform::IsSeparator(out.back())) out.pop_back();
    if (in.size() < out.size() || in.compare(0, out.size(), out) != 0) return false;
    return in.size() == out.size() || platform::IsSeparator(in[out.size()]);
}

}  // namespace qvr
