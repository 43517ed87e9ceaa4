#include "tools/quorvan/repository.h"

#include "tools/quorvan/tool_env.h"

#include <sys/stat.h>

#include <filesystem>

namespace qvr::quorvan {

namespace {

// Project and state tables keep the names the broker check's statement uses.
constexpr const char* kSchema = R"sql(
CREATE TABLE QVRMETA(KEYNAME TEXT PRIMARY KEY, VALUE TEXT NOT NULL);
INSERT INTO QVRMETA VALUES('schema', '1');
CREATE TABLE QVRUSER(
  USERNAME TEXT PRIMARY KEY,
  PASSWORD TEXT NOT NULL);
CREATE TABLE QVRENVIRONMENT(
  envobjid INTEGER PRIMARY KEY,
  ENVIRONMENTNAME TEXT NOT NULL UNIQUE);
CREATE TABLE QVRSTATE(
  stateobjid INTEGER PRIMARY KEY,
  envobjid INTEGER NOT NULL REFERENCES QVRENVIRONMENT(envobjid) ON DELETE CASCADE,
  STATENAME TEXT NOT NULL,
  UNIQUE(envobjid, STATENAME));
CREATE TABLE QVRPACKAGE(
  pkgobjid INTEGER PRIMARY KEY,
  stateobjid INTEGER NOT NULL REFERENCES QVRSTATE(stateobjid) ON DELETE CASCADE,
  PACKAGENAME TEXT NOT NULL,
  UNIQUE(stateobjid, PACKAGENAME));
CREATE TABLE QVRITEM(
  itemobjid INTEGER PRIMARY KEY,
  stateobjid INTEGER NOT NULL REFERENCES QVRSTATE(stateobjid) ON DELETE CASCADE,
  PATHNAME TEXT NOT NULL,
  FILENAME TEXT NOT NULL,
  latestverobjid INTEGER,
  UNIQUE(stateobjid, PATHNAME, FILENAME));
CREATE TABLE QVRVERSION(
  verobjid INTEGER PRIMARY KEY,
  itemobjid INTEGER NOT NULL REFERENCES QVRITEM(itemobjid) ON DELETE CASCADE,
  VERSIONNUMBER INTEGER NOT NULL,
  TAG TEXT NOT NULL DEFAULT '',
  DATASIZE INTEGER NOT NULL,
  pkgobjid INTEGER NOT NULL REFERENCES QVRPACKAGE(pkgobjid) ON DELETE CASCADE,
  CREATOR TEXT NOT NULL,
  CREATED INTEGER NOT NULL,
  MODIFIER TEXT NOT NULL,
  MODIFIED INTEGER NOT NULL,
  UNIQUE(itemobjid, VERSIONNUMBER));
CREATE INDEX QVRVERSION_PKG ON QVRVERSION(pkgobjid);
CREATE INDEX QVRITEM_LISTING ON QVRITEM(stateobjid, PATHNAME, FILENAME, latestverobjid);
CREATE TABLE QVRCONTENT(
  verobjid INTEGER PRIMARY KEY REFERENCES QVRVERSION(verobjid) ON DELETE CASCADE,
  DATA BLOB NOT NULL);
)sql";

// A listing walks a state's items in path order and goes straight from each
// to its latest version: with the version's id in the index, the items
// themselves are never read. Brokers made before it get it when next opened
// for writing.
constexpr const char* kListingIndex =
    "CREATE INDEX IF NOT EXISTS QVRITEM_LISTING ON QVRITEM(stateobjid, PATHNAME, FILENAME, latestverobjid)";

constexpr const char* kLatestColumns =
    "SELECT v.verobjid, i.FILENAME, i.PATHNAME, v.VERSIONNUMBER, v.TAG, v.DATASIZE, p.PACKAGENAME,"
    " v.CREATOR, v.CREATED, v.MODIFIER, v.MODIFIED FROM QVRITEM i ";

bool FileExists(const std::string& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::int64_t> FindId(Database& db, const char* sql, std::int64_t parent,
                                   const std::string& name, bool hasParent) {
    std::string error;
    Statement stmt;
    if (!stmt.Prepare(db, sql, error)) return std::nullopt;
    int index = 1;
    if (hasParent) stmt.Bind(index++, parent);
    stmt.Bind(index, name);
    if (stmt.Step() != SQLITE_ROW) return std::nullopt;
    return stmt.Int(0);
}

}  // namespace

bool Repository::OpenFile(const std::string& broker, Database::Mode mode, std::string& error) {
    std::string file = BrokerFile(broker);
    if (!m_db.Open(file, mode, error)) {
        error = "Cannot open broker " + broker + ": " + error;
        return false;
    }
    std::string ignored;
    m_db.Exec("PRAGMA foreign_keys=ON", ignored);
    if (mode == Database::Mode::ReadOnly) m_db.Exec("PRAGMA query_only=ON", ignored);
    return true;
}

bool Repository::Probe(const std::string& broker, std::string& error) {
    Statement probe;
    std::string probeError;
    if (!probe.Prepare(m_db, "SELECT VALUE FROM QVRMETA WHERE KEYNAME='schema'", probeError)) {
        error = probeError.find("no such table") != std::string::npos
                    ? "Broker " + broker + " has no repository"
                    : "Cannot read broker " + broker + ": " + probeError;
        return false;
    }
    if (probe.Step() != SQLITE_ROW) {
        error = "Broker " + broker + " has no repository";
        return false;
    }
    return true;
}

bool Repository::RecoverInterruptedWrite(const std::string& broker) {
    // A write that was killed half-way leaves its journal behind; only a
    // connection that may write can roll it back, which the first read does.
    std::string file = BrokerFile(broker);
    if (!FileExists(file + "-journal")) return false;
    Database writer;
    std::string error;
    if (!writer.Open(file, Database::Mode::ReadWrite, error)) return false;
    Statement read;
    return read.Prepare(writer, "SELECT count(*) FROM sqlite_master", error) && read.Step() == SQLITE_ROW;
}

bool Repository::Open(const std::string& broker, Database::Mode mode, std::string& error) {
    std::string reason;
    if (!IsValidBrokerName(broker, reason)) {
        error = "Unknown broker " + broker + " (" + reason + ")";
        return false;
    }
    if (!FileExists(BrokerFile(broker))) {
        error = "Unknown broker " + broker;
        return false;
    }
    if (!OpenFile(broker, mode, error)) return false;
    if (Probe(broker, error)) {
        if (mode != Database::Mode::ReadOnly) {
            std::string ignored;
            m_db.Exec(kListingIndex, ignored);
        }
        return true;
    }
    if (mode != Database::Mode::ReadOnly || !RecoverInterruptedWrite(broker)) return false;
    return OpenFile(broker, mode, error) && Probe(broker, error);
}

bool Repository::Create(const std::string& broker, std::string& error) {
    std::string reason;
    if (!IsValidBrokerName(broker, reason)) {
        error = reason;
        return false;
    }
    if (FileExists(BrokerFile(broker))) {
        error = "Broker " + broker + " already exists";
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(QuorvanHome(), ignored);
    if (!OpenFile(broker, Database::Mode::Create, error)) return false;
    Transaction tx(m_db);
    if (!tx.Begin(error)) return false;
    if (!m_db.Exec(kSchema, error)) return false;
    return tx.Commit(error);
}

bool Repository::CheckLogin(const std::string& user, const std::string& password, std::string& error) {
    Statement stmt;
    if (!stmt.Prepare(m_db, "SELECT PASSWORD FROM QVRUSER WHERE USERNAME=?1", error)) return false;
    stmt.Bind(1, user);
    if (stmt.Step() != SQLITE_ROW || stmt.TextView(0) != password) {
        // One text for both causes, so a caller cannot probe for user names.
        error = "Login failed for user " + user + ": invalid user id or password";
        return false;
    }
    return true;
}

std::optional<std::int64_t> Repository::FindProject(const std::string& name) {
    return FindId(m_db, "SELECT envobjid FROM QVRENVIRONMENT WHERE ENVIRONMENTNAME=?1", 0, name, false);
}

std::optional<std::int64_t> Repository::FindState(std::int64_t projectId, const std::string& name) {
    return FindId(m_db, "SELECT stateobjid FROM QVRSTATE WHERE envobjid=?1 AND STATENAME=?2", projectId,
                  name, true);
}

std::optional<std::int64_t> Repository::FindPackage(std::int64_t stateId, const std::string& name) {
    return FindId(m_db, "SELECT pkgobjid FROM QVRPACKAGE WHERE stateobjid=?1 AND PACKAGENAME=?2",
                  stateId, name, true);
}

bool Repository::Resolve(const std::string& project, const std::string& state,
                         const std::string& package, Selection& selection, std::string& error) {
    auto projectId = FindProject(project);
    if (!projectId) {
        error = "Project " + project + " not found";
        return false;
    }
    auto stateId = FindState(*projectId, state);
    if (!stateId) {
        error = "State " + state + " not found in project " + project;
        return false;
    }
    selection.stateId = *stateId;
    selection.packageId.reset();
    if (package.empty()) return true;
    auto packageId = FindPackage(*stateId, package);
    if (!packageId) {
        error = "Package " + package + " not found in state " + state;
        return false;
    }
    selection.packageId = *packageId;
    return true;
}

bool Repository::ForEachLatest(const Selection& selection,
                               const std::function<void(const VersionRow&)>& visit,
                               std::string& error) {
    std::string sql = kLatestColumns;
    if (selection.packageId) {
        sql +=
            "JOIN QVRVERSION v ON v.verobjid = (SELECT v2.verobjid FROM QVRVERSION v2"
            " WHERE v2.itemobjid = i.itemobjid AND v2.pkgobjid = ?2"
            " ORDER BY v2.VERSIONNUMBER DESC LIMIT 1) ";
    } else {
        sql += "JOIN QVRVERSION v ON v.verobjid = i.latestverobjid ";
    }
    sql +=
        "JOIN QVRPACKAGE p ON p.pkgobjid = v.pkgobjid WHERE i.stateobjid = ?1"
        " ORDER BY i.PATHNAME, i.FILENAME";
    Statement stmt;
    if (!stmt.Prepare(m_db, sql, error)) return false;
    stmt.Bind(1, selection.stateId);
    if (selection.packageId) stmt.Bind(2, *selection.packageId);
    VersionRow row;
    int rc;
    while ((rc = stmt.Step()) == SQLITE_ROW) {
        row.versionId = stmt.Int(0);
        row.file.assign(stmt.TextView(1));
        row.path.assign(stmt.TextView(2));
        row.number = stmt.Int(3);
        row.tag.assign(stmt.TextView(4));
        row.size = stmt.Int(5);
        row.package.assign(stmt.TextView(6));
        row.creator.assign(stmt.TextView(7));
        row.created = stmt.Int(8);
        row.modifier.assign(stmt.TextView(9));
        row.modified = stmt.Int(10);
        visit(row);
    }
    if (rc != SQLITE_DONE) {
        error = m_db.LastError();
        return false;
    }
    return true;
}

bool Repository::ReadContent(std::int64_t versionId, std::string& content, std::string& error) {
    if (!m_readContent.ColumnCount() &&
        !m_readContent.Prepare(m_db, "SELECT DATA FROM QVRCONTENT WHERE verobjid=?1", error)) {
        return false;
    }
    m_readContent.Reset();
    m_readContent.Bind(1, versionId);
    int rc = m_readContent.Step();
    if (rc != SQLITE_ROW) {
        error = rc == SQLITE_DONE ? "no content stored" : m_db.LastError();
        m_readContent.Reset();
        return false;
    }
    content.assign(m_readContent.Blob(0));
    m_readContent.Reset();
    return true;
}

}  // namespace qvr::quorvan
