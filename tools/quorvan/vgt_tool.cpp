// vgt: checks items out for browsing below the client path. Each item lands
// at its repository path below the view path; its log holds one line per
// item, "Error: ..." lines for failures and the closing summary.

#include "tools/quorvan/repo_path.h"
#include "tools/quorvan/tool_session.h"
#include "tools/quorvan/tools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace qvr::quorvan {

namespace fs = std::filesystem;

namespace {

const std::vector<OptionRule> kVgtOptions = {
    {"-b"},  {"-en"}, {"-st"}, {"-vp"}, {"-cp"},         {"-usr"},      {"-pw"},
    {"-o"},  {"-p"},  {"-op"}, {"-br", false}, {"-nvs", false}, {"-r", false},
};

constexpr const char* kSignatureFile = "quorvan.sig";

struct Counts {
    int total = 0;
    int success = 0;
    int failed = 0;
    int notProcessed = 0;
};

// What the positional argument asks for: every item matching a file pattern
// ("*") or one item named by its repository path ("\src\a.c").
struct ItemRequest {
    bool single = false;
    std::string pattern;   // file-name pattern when not single
    std::string folder;    // repository folder when single
    std::string file;      // file name when single
};

ItemRequest ParseItemRequest(const std::string& positional) {
    ItemRequest request;
    if (positional.find('\\') == std::string::npos) {
        request.pattern = positional;
        return request;
    }
    request.single = true;
    std::string path = NormalizeRepoPath(positional);
    std::size_t cut = path.rfind('\\');
    request.folder = cut == 0 ? "\\" : path.substr(0, cut);
    request.file = path.substr(cut + 1);
    return request;
}

// The reader takes the first ordinary line holding "TOTAL: " for the
// summary, so an item line must never hold it, whatever the names are.
std::string SafeInfoLine(const std::string& line) {
    static const std::string key = "TOTAL: ";
    std::string result;
    result.reserve(line.size() + 8);
    for (std::size_t i = 0; i < line.size(); ++i) {
        bool isKey = i + key.size() <= line.size();
        for (std::size_t k = 0; isKey && k < key.size(); ++k) {
            char c = line[i + k];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            isKey = c == key[k];
        }
        if (isKey) {
            // "Total: " becomes "Total : ".
            result.append(line, i, 5);
            result += ' ';
            i += 4;
            continue;
        }
        result += line[i];
    }
    return result;
}

std::string FileAgentError(const std::string& item, const std::string& reason) {
    return "Error: The File Agent error for item " + item + " - " + reason;
}

// The file being written and its folder: a stop signal (the program's
// Cancel asks the tool to end) removes it, so an interrupted checkout leaves
// no half-written copy. A new copy is written under its own name; one that
// replaces an old copy is written under a temporary name first and then put
// in place in one step, so even a kill leaves the old copy whole.
char g_writingName[NAME_MAX + 1];
volatile std::sig_atomic_t g_writingFolder = -1;
char g_tempName[64];

extern "C" void RemovePartialAndStop(int sig) {
    const int folder = g_writingFolder;
    if (folder >= 0) ::unlinkat(folder, g_writingName, 0);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void PrepareForStopSignals() {
    std::snprintf(g_tempName, sizeof g_tempName, ".vgt-%ld.tmp", static_cast<long>(::getpid()));
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, RemovePartialAndStop);
}

// Marks name in folder as the file being written (until Written()).
void Writing(int folder, const char* name) {
    g_writingFolder = -1;
    std::snprintf(g_writingName, sizeof g_writingName, "%s", name);
    g_writingFolder = folder;
}

void Written() { g_writingFolder = -1; }

std::string ErrnoText() { return std::strerror(errno); }

// A folder below the client path, held open: files are written relative to
// it, so no folder of the path can be swapped for a link while they are.
class FolderHandle {
public:
    FolderHandle() = default;
    ~FolderHandle() { Close(); }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    int Fd() const { return m_fd; }
    const fs::path& Path() const { return m_path; }

    // Opens clientPath/parts..., creating the folders that are missing. A
    // link or a file where a folder should be is an error, never followed.
    bool Enter(const fs::path& clientPath, const std::vector<std::string>& parts, std::string& error) {
        Close();
        fs::path path = clientPath;
        int fd = ::open(clientPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot create folder " + path.string() + ": " + ErrnoText();
            return false;
        }
        for (const std::string& part : parts) {
            path /= part;
            if (::mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
                error = "cannot create folder " + path.string() + ": " + ErrnoText();
                ::close(fd);
                return false;
            }
            const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const int openError = errno;
            ::close(fd);
            if (next < 0) {
                error = "cannot create folder " + path.string() + ": " + std::strerror(openError);
                return false;
            }
            fd = next;
        }
        m_fd = fd;
        m_path = path;
        return true;
    }

private:
    void Close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_path.clear();
    }

    int m_fd = -1;
    fs::path m_path;
};

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// What stands at a copy's place before the checkout writes it.
enum class OldCopy { None, Current, Other, Link };

// Looks at name in folder: a regular file holding exactly content leaves a
// checkout over existing copies nothing to write. A link is never read or
// written through.
OldCopy LookAtOldCopy(int folder, const std::string& name, const std::string& content, std::string& buffer) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) return OldCopy::Link;
        return errno == ENOENT ? OldCopy::None : OldCopy::Other;
    }
    struct stat info {};
    bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                static_cast<std::uint64_t>(info.st_size) == content.size();
    if (same) {
        buffer.resize(content.size());
        std::size_t done = 0;
        while (done < buffer.size()) {
            ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        same = done == buffer.size() && buffer == content;
    }
    ::close(fd);
    return same ? OldCopy::Current : OldCopy::Other;
}

// Writes content into a file of folder that must not exist yet; removed
// again when the writing fails.
bool WriteNewFile(int folder, const char* name, const std::string& content) {
    const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    Writing(folder, name);
    bool ok = WriteAll(fd, content);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        const int error = errno;
        ::unlinkat(folder, name, 0);
        errno = error;
    }
    Written();
    return ok;
}

// The copy as content says, whatever stood there before (but a link).
bool PutCopy(int folder, const std::string& name, OldCopy old, const std::string& content) {
    if (old == OldCopy::None) return WriteNewFile(folder, name.c_str(), content);
    ::unlinkat(folder, g_tempName, 0);  // left by a killed process of the same id
    if (!WriteNewFile(folder, g_tempName, content)) return false;
    if (::renameat(folder, g_tempName, folder, name.c_str()) == 0) return true;
    const int error = errno;
    ::unlinkat(folder, g_tempName, 0);
    errno = error;
    return false;
}

bool WriteCheckedOutFile(const fs::path& target, const std::string& content, std::string& error) {
    // Never write through a symbolic link planted in the client path.
    int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot write " + target.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!WriteAll(fd, content)) {
        error = "cannot write " + target.string() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        error = "cannot write " + target.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

class Checkout {
public:
    Checkout(Repository& repo, OutputFile& out, const ParsedArgs& args)
        : m_repo(repo), m_out(out), m_args(args),
          m_viewPath(NormalizeRepoPath(args.Value("-vp", "\\"))),
          m_clientPath(args.Value("-cp")),
          m_recursive(args.flags.count("-r") != 0),
          m_writeSignatures(args.flags.count("-nvs") == 0) {}

    bool Run(const Selection& selection, const ItemRequest& request, std::string& error);
    const Counts& Totals() const { return m_counts; }

private:
    std::vector<VersionRow> Select(const Selection& selection, const ItemRequest& request,
                                   std::string& error);
    void CheckOutOne(const VersionRow& row);
    void WriteSignatures();

    Repository& m_repo;
    OutputFile& m_out;
    const ParsedArgs& m_args;
    std::string m_viewPath;
    fs::path m_clientPath;
    bool m_recursive;
    bool m_writeSignatures;
    Counts m_counts;
    std::string m_content;
    std::string m_existing;
    // The folder of the item written last; items come ordered by path, so
    // most share it.
    FolderHandle m_folder;
    // Folder written -> file name -> version, for the signature files.
    std::map<fs::path, std::map<std::string, std::int64_t>> m_written;
};

std::vector<VersionRow> Checkout::Select(const Selection& selection, const ItemRequest& request,
                                         std::string& error) {
    std::vector<VersionRow> rows;
    std::vector<VersionRow> caseInsensitive;
    bool ok = m_repo.ForEachLatest(
        selection,
        [&](const VersionRow& row) {
            if (request.single) {
                if (row.path == request.folder && row.file == request.file) {
                    rows.push_back(row);
                } else if (EqualsNoCase(row.path, request.folder) && EqualsNoCase(row.file, request.file)) {
                    caseInsensitive.push_back(row);
                }
                return;
            }
            if (IsInView(row.path, m_viewPath, m_recursive) && WildcardMatch(request.pattern, row.file)) {
                rows.push_back(row);
            }
        },
        error);
    if (!ok) rows.clear();
    // The program names items in the repository's own letter case; a name in
    // another case still finds the item when it is the only one.
    if (ok && request.single && rows.empty() && caseInsensitive.size() == 1) rows = caseInsensitive;
    return rows;
}

bool Checkout::Run(const Selection& selection, const ItemRequest& request, std::string& error) {
    std::vector<VersionRow> rows = Select(selection, request, error);
    if (!error.empty()) return false;
    if (request.single && rows.empty()) {
        m_counts.total = 1;
        m_counts.failed = 1;
        m_out.Line(FileAgentError(JoinRepoPath(request.folder, request.file),
                                  "item not found in project " + m_args.Value("-en") + " state " +
                                      m_args.Value("-st")));
        return true;
    }
    m_counts.total = static_cast<int>(rows.size());
    std::error_code ec;
    fs::create_directories(m_clientPath, ec);
    if (ec || !fs::is_directory(m_clientPath, ec)) {
        m_counts.notProcessed = m_counts.total;
        error = "Cannot create client path " + m_clientPath.string();
        return false;
    }
    m_out.Line(SafeInfoLine("Checkout for browse of " + std::to_string(rows.size()) + " item(s) into " +
                            m_clientPath.string()));
    for (const auto& row : rows) CheckOutOne(row);
    if (m_writeSignatures) WriteSignatures();
    return true;
}

void Checkout::CheckOutOne(const VersionRow& row) {
    std::string item = JoinRepoPath(row.path, row.file);
    auto parts = LocalParts(item, m_viewPath);
    if (!parts) {
        ++m_counts.failed;
        m_out.Line(FileAgentError(item, "not a valid path below view path " + m_viewPath));
        return;
    }
    const std::string name = parts->back();
    parts->pop_back();
    fs::path folder = m_clientPath;
    for (const auto& part : *parts) folder /= part;
    const fs::path target = folder / name;
    std::string error;
    bool ok = folder == m_folder.Path() || m_folder.Enter(m_clientPath, *parts, error);
    ok = ok && m_repo.ReadContent(row.versionId, m_content, error);
    if (ok) {
        const OldCopy old = LookAtOldCopy(m_folder.Fd(), name, m_content, m_existing);
        if (old == OldCopy::Link) {
            error = "cannot write " + target.string() + ": " + std::strerror(ELOOP);
            ok = false;
        } else if (old != OldCopy::Current && !PutCopy(m_folder.Fd(), name, old, m_content)) {
            error = "cannot write " + target.string() + ": " + ErrnoText();
            ok = false;
        }
    }
    if (!ok) {
        ++m_counts.failed;
        m_out.Line(FileAgentError(item, error));
        return;
    }
    ++m_counts.success;
    m_written[folder][row.file] = row.number;
    m_out.Line(SafeInfoLine("Checked out " + item + " version " + std::to_string(row.number)));
}

void Checkout::WriteSignatures() {
    for (const auto& [folder, files] : m_written) {
        fs::path sig = folder / kSignatureFile;
        // Keep what earlier checkouts recorded for other files of the folder.
        std::map<std::string, std::string> lines;
        std::ifstream in(sig);
        for (std::string line; std::getline(in, line);) {
            std::size_t tab = line.find('\t');
            if (tab != std::string::npos) lines[line.substr(0, tab)] = line;
        }
        in.close();
        for (const auto& [file, version] : files) {
            lines[file] = file + "\t" + std::to_string(version) + "\t" + m_args.Value("-b") + "\t" +
                          m_args.Value("-en") + "\t" + m_args.Value("-st");
        }
        std::string text;
        for (const auto& [file, line] : lines) text += line + "\n";
        std::string error;
        if (!WriteCheckedOutFile(sig, text, error)) {
            // Carries "Signature" so the program shows no box for it, and the
            // file-agent text so it reads on to the summary.
            m_out.Line(FileAgentError(sig.string(), "Signature file not written: " + error));
        }
    }
}

std::string Summary(const Counts& counts) {
    return "Total: " + std::to_string(counts.total) + "; Success: " + std::to_string(counts.success) +
           "; Failed: " + std::to_string(counts.failed) +
           "; Not Processed: " + std::to_string(counts.notProcessed) + ".";
}

}  // namespace

int RunVgtTool(const std::vector<std::string>& args) {
    ToolSession session("vgt", args, kVgtOptions);
    int status = 0;
    if (!session.Start(status)) return status;
    if (!session.Parse(1, {"-b", "-en", "-st", "-cp", "-usr", "-pw"})) return 1;
    const ParsedArgs& parsed = session.Args();
    if (parsed.positionals.empty()) return session.Fail("No item given (use \"*\" for every item)");
    if (parsed.Has("-op") && parsed.Value("-op") != "pc") {
        return session.Fail("Unsupported value for -op: " + parsed.Value("-op"));
    }
    if (parsed.Value("-cp").empty()) return session.Fail("Option -cp needs a client path");

    Repository repo;
    if (!session.Login(repo)) return 1;
    PrepareForStopSignals();
    Selection selection;
    std::string error;
    if (!repo.Resolve(parsed.Value("-en"), parsed.Value("-st"), parsed.Value("-p"), selection, error)) {
        return session.Fail(error);
    }
    Transaction snapshot(repo.Db(), Transaction::Kind::Read);
    if (!snapshot.Begin(error)) return session.Fail(error);
    Checkout checkout(repo, session.Out(), parsed);
    bool ran = checkout.Run(selection, ParseItemRequest(parsed.positionals.front()), error);
    if (!ran) session.Out().Line("Error: " + error);
    session.Out().Line(Summary(checkout.Totals()));
    bool clean = ran && checkout.Totals().failed == 0;
    session.Out().Line(clean ? "vgt has been executed successfully." : "vgt has completed with errors.");
    return session.Finish(clean ? 0 : 1);
}

}  // namespace qvr::quorvan
