#pragma once
// A fresh directory under the system's temporary folder, removed with
// everything in it when the test ends.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_platform.h"

namespace qvr::testing {

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("qvrtest-" + std::to_string(rd()));
            if (std::filesystem::create_directory(m_path)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        // Restore permissions a test may have taken away, so removal works.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    std::filesystem::path operator/(std::string_view rel) const { return m_path / rel; }

    // Writes a file (creating its folders) and returns its path.
    std::filesystem::path Write(std::string_view rel, std::string_view content) const {
        auto p = m_path / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return p;
    }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a text file the program writes in text mode; on Windows each
// must end in CR LF, the text-mode line end.
inline std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (kOnWindows && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace qvr::testing
