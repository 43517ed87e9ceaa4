#pragma once
// One broker's repository: users, environments (projects), states, packages,
// items and their versions with content, kept in one SQLite file. The tools
// open it read-only; only qvradmin writes, always inside a transaction.

#include "tools/quorvan/sqlite_db.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qvr::quorvan {

// The latest version of one item, as the listing shows it.
struct VersionRow {
    std::int64_t versionId = 0;
    std::string file;
    std::string path;  // "\" or "\src\lib"
    std::int64_t number = 0;
    std::string tag;
    std::int64_t size = 0;
    std::string package;
    std::string creator;
    std::int64_t created = 0;
    std::string modifier;
    std::int64_t modified = 0;
};

// The state (and optional package) a listing or checkout works on.
struct Selection {
    std::int64_t stateId = 0;
    std::optional<std::int64_t> packageId;
};

class Repository {
public:
    // Opens an existing broker's database; a missing file is an unknown broker.
    bool Open(const std::string& broker, Database::Mode mode, std::string& error);
    // Creates the database file and its tables; an existing broker is an error.
    bool Create(const std::string& broker, std::string& error);

    Database& Db() { return m_db; }

    bool CheckLogin(const std::string& user, const std::string& password, std::string& error);

    std::optional<std::int64_t> FindProject(const std::string& name);
    std::optional<std::int64_t> FindState(std::int64_t projectId, const std::string& name);
    std::optional<std::int64_t> FindPackage(std::int64_t stateId, const std::string& name);

    // Resolves project, state and (when not empty) package names into a
    // selection, with the tool's error text when one is unknown.
    bool Resolve(const std::string& project, const std::string& state, const std::string& package,
                 Selection& selection, std::string& error);

    // Calls visit for the latest version of every item of the selection (with
    // a package: the newest version of each item in that package), ordered by
    // path and file name.
    bool ForEachLatest(const Selection& selection, const std::function<void(const VersionRow&)>& visit,
                       std::string& error);

    bool ReadContent(std::int64_t versionId, std::string& content, std::string& error);

private:
    bool OpenFile(const std::string& broker, Database::Mode mode, std::string& error);
    // Checks that the file is one of our repositories (a file that is not is no broker either).
    bool Probe(const std::string& broker, std::string& error);
    bool RecoverInterruptedWrite(const std::string& broker);

    Database m_db;
    Statement m_readContent;
};

}  // namespace qvr::quorvan
