#include "tools/quorvan/importer.h"

#include "tools/quorvan/repo_path.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qvr::quorvan {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSignatureFile = "quorvan.sig";

struct LocalFile {
    fs::path path;
    std::string folder;  // repository folder, "\" or "\src\lib"
    std::string name;
};

// A backslash would split the name in the repository, and tabs or line ends
// would break the listing's lines.
bool IsRepresentable(const std::string& name) {
    return name.find('\\') == std::string::npos && !HasLineBreakingChar(name);
}

std::string RepoFolderOf(const fs::path& relativeParent) {
    std::string folder;
    for (const auto& part : relativeParent) {
        if (part.empty() || part == ".") continue;
        folder += '\\';
        folder += part.string();
    }
    return folder.empty() ? "\\" : folder;
}

bool CollectFiles(const fs::path& root, std::vector<LocalFile>& files, ImportResult& result,
                  std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        error = "Not a directory: " + root.string();
        return false;
    }
    // Links to folders are not followed (no cycles); a link to a file counts
    // as that file.
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeError;
        if (entry.is_symlink(typeError) && entry.is_directory(typeError)) {
            it.disable_recursion_pending();
            continue;
        }
        if (!entry.is_regular_file(typeError)) continue;
        fs::path relative = entry.path().lexically_relative(root);
        std::string name = relative.filename().string();
        if (name == kSignatureFile) continue;
        bool representable = IsRepresentable(name);
        for (const auto& part : relative.parent_path()) representable = representable && IsRepresentable(part.string());
        if (!representable) {
            result.skipped.push_back(entry.path().string());
            continue;
        }
        files.push_back({entry.path(), RepoFolderOf(relative.parent_path()), name});
    }
    if (ec) {
        error = "Cannot read " + root.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool ReadWholeFile(const fs::path& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return !in.bad();
}

class ImportWriter {
public:
    ImportWriter(Repository& repo, const ImportRequest& request) : m_repo(repo), m_request(request) {}

    bool Prepare(std::string& error);
    bool Store(const LocalFile& file, const std::string& content, ImportResult& result,
               std::string& error);

private:
    bool EnsureIds(std::string& error);
    bool InsertVersion(std::int64_t itemId, std::int64_t number, const std::string& content,
                       std::string& error);
    bool StepDone(Statement& stmt, std::string& error);

    Repository& m_repo;
    const ImportRequest& m_request;
    std::int64_t m_stateId = 0;
    std::int64_t m_packageId = 0;
    std::int64_t m_now = static_cast<std::int64_t>(std::time(nullptr));
    Statement m_findItem, m_insertItem, m_insertVersion, m_insertContent, m_setLatest;
};

bool ImportWriter::StepDone(Statement& stmt, std::string& error) {
    int rc = stmt.Step();
    stmt.Reset();
    if (rc != SQLITE_DONE) {
        error = m_repo.Db().LastError();
        return false;
    }
    return true;
}

bool ImportWriter::EnsureIds(std::string& error) {
    Database& db = m_repo.Db();
    auto upsert = [&](const char* insertSql, std::int64_t parent, bool hasParent,
                      const std::string& name) -> bool {
        Statement stmt;
        if (!stmt.Prepare(db, insertSql, error)) return false;
        int index = 1;
        if (hasParent) stmt.Bind(index++, parent);
        stmt.Bind(index, name);
        return StepDone(stmt, error);
    };
    if (!upsert("INSERT OR IGNORE INTO QVRENVIRONMENT(ENVIRONMENTNAME) VALUES(?1)", 0, false,
                m_request.project)) {
        return false;
    }
    std::int64_t projectId = *m_repo.FindProject(m_request.project);
    if (!upsert("INSERT OR IGNORE INTO QVRSTATE(envobjid, STATENAME) VALUES(?1, ?2)", projectId, true,
                m_request.state)) {
        return false;
    }
    m_stateId = *m_repo.FindState(projectId, m_request.state);
    if (!upsert("INSERT OR IGNORE INTO QVRPACKAGE(stateobjid, PACKAGENAME) VALUES(?1, ?2)", m_stateId,
                true, m_request.package)) {
        return false;
    }
    m_packageId = *m_repo.FindPackage(m_stateId, m_request.package);
    return true;
}

bool ImportWriter::Prepare(std::string& error) {
    if (!EnsureIds(error)) return false;
    Database& db = m_repo.Db();
    return m_findItem.Prepare(db,
                              "SELECT i.itemobjid, v.VERSIONNUMBER, v.DATASIZE, c.DATA FROM QVRITEM i"
                              " JOIN QVRVERSION v ON v.verobjid = i.latestverobjid"
                              " JOIN QVRCONTENT c ON c.verobjid = v.verobjid"
                              " WHERE i.stateobjid=?1 AND i.PATHNAME=?2 AND i.FILENAME=?3",
                              error) &&
           m_insertItem.Prepare(db,
                                "INSERT INTO QVRITEM(stateobjid, PATHNAME, FILENAME) VALUES(?1, ?2, ?3)",
                                error) &&
           m_insertVersion.Prepare(db,
                                   "INSERT INTO QVRVERSION(itemobjid, VERSIONNUMBER, TAG, DATASIZE,"
                                   " pkgobjid, CREATOR, CREATED, MODIFIER, MODIFIED)"
                                   " VALUES(?1, ?2, '', ?3, ?4, ?5, ?6, ?5, ?6)",
                                   error) &&
           m_insertContent.Prepare(db, "INSERT INTO QVRCONTENT(verobjid, DATA) VALUES(?1, ?2)", error) &&
           m_setLatest.Prepare(db, "UPDATE QVRITEM SET latestverobjid=?2 WHERE itemobjid=?1", error);
}

bool ImportWriter::InsertVersion(std::int64_t itemId, std::int64_t number, const std::string& content,
                                 std::string& error) {
    m_insertVersion.Bind(1, itemId);
    m_insertVersion.Bind(2, number);
    m_insertVersion.Bind(3, static_cast<std::int64_t>(content.size()));
    m_insertVersion.Bind(4, m_packageId);
    m_insertVersion.Bind(5, m_request.user);
    m_insertVersion.Bind(6, m_now);
    if (!StepDone(m_insertVersion, error)) return false;
    std::int64_t versionId = m_repo.Db().LastInsertId();
    m_insertContent.Bind(1, versionId);
    m_insertContent.BindBlob(2, content);
    if (!StepDone(m_insertContent, error)) return false;
    m_setLatest.Bind(1, itemId);
    m_setLatest.Bind(2, versionId);
    return StepDone(m_setLatest, error);
}

bool ImportWriter::Store(const LocalFile& file, const std::string& content, ImportResult& result,
                         std::string& error) {
    m_findItem.Bind(1, m_stateId);
    m_findItem.Bind(2, file.folder);
    m_findItem.Bind(3, file.name);
    int rc = m_findItem.Step();
    if (rc == SQLITE_ROW) {
        std::int64_t itemId = m_findItem.Int(0);
        std::int64_t number = m_findItem.Int(1);
        bool same = m_findItem.Int(2) == static_cast<std::int64_t>(content.size()) &&
                    m_findItem.Blob(3) == std::string_view(content);
        m_findItem.Reset();
        if (same) {
            ++result.unchanged;
            return true;
        }
        ++result.newVersions;
        return InsertVersion(itemId, number + 1, content, error);
    }
    m_findItem.Reset();
    if (rc != SQLITE_DONE) {
        error = m_repo.Db().LastError();
        return false;
    }
    m_insertItem.Bind(1, m_stateId);
    m_insertItem.Bind(2, file.folder);
    m_insertItem.Bind(3, file.name);
    if (!StepDone(m_insertItem, error)) return false;
    ++result.newItems;
    return InsertVersion(m_repo.Db().LastInsertId(), 1, content, error);
}

}  // namespace

bool ImportTree(Repository& repo, const ImportRequest& request, ImportResult& result,
                std::string& error) {
    std::vector<LocalFile> files;
    if (!CollectFiles(request.folder, files, result, error)) return false;
    Transaction tx(repo.Db());
    if (!tx.Begin(error)) return false;
    ImportWriter writer(repo, request);
    if (!writer.Prepare(error)) return false;
    std::string content;
    for (const auto& file : files) {
        if (!ReadWholeFile(file.path, content)) {
            error = "Cannot read " + file.path.string();
            return false;
        }
        if (!writer.Store(file, content, result, error)) return false;
    }
    return tx.Commit(error);
}

}  // namespace qvr::quorvan
