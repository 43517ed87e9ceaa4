#include "tools/quorvan/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qvr::quorvan {

OutputFile::OutputFile(std::string path) : m_path(std::move(path)) {}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

bool OutputFile::Open(std::string& error) {
    struct stat info {};
    if (::stat(m_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "Cannot write output file " + m_path + ": it is a directory";
        return false;
    }
    std::string candidate = m_path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot write output file " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_file = ::fdopen(fd, "w");
    if (!m_file) {
        ::close(fd);
        ::unlink(candidate.c_str());
        error = "Cannot write output file " + m_path + ": " + std::strerror(errno);
        return false;
    }
    // Listings run to hundreds of thousands of lines; write them in big blocks.
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
    m_tempPath = candidate;
    return true;
}

void OutputFile::Line(std::string_view text) {
    if (!m_file) return;
    if (std::fwrite(text.data(), 1, text.size(), m_file) != text.size() ||
        std::fputc('\n', m_file) == EOF) {
        m_writeFailed = true;
    }
}

bool OutputFile::Commit(std::string& error) {
    if (!m_file) {
        error = "Output file " + m_path + " is not open";
        return false;
    }
    bool ok = !m_writeFailed && std::fflush(m_file) == 0;
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    if (!ok) {
        error = "Cannot write output file " + m_path + ": " + std::strerror(errno);
        Discard();
        return false;
    }
    if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        error = "Cannot write output file " + m_path + ": " + std::strerror(errno);
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

}  // namespace qvr::quorvan
