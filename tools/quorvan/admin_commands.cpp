// qvradmin: builds and inspects the brokers' repositories for the demo and the
// tests. Every change runs inside one transaction.

#include "tools/quorvan/importer.h"
#include "tools/quorvan/repo_path.h"
#include "tools/quorvan/repository.h"
#include "tools/quorvan/tool_env.h"
#include "tools/quorvan/tools.h"

#include <ctime>
#include <functional>
#include <iostream>
#include <map>

namespace qvr::quorvan {

namespace {

constexpr const char* kUsage =
    "usage: qvradmin create-broker BROKER\n"
    "       qvradmin add-user BROKER USER PASSWORD\n"
    "       qvradmin import BROKER PROJECT STATE [--package P] [--user U] DIR\n"
    "       qvradmin tag BROKER PROJECT STATE TAG [--user U]\n"
    "       qvradmin list BROKER\n"
    "       qvradmin delete BROKER PROJECT [STATE]\n";

constexpr const char* kDefaultPackage = "BASE";

struct AdminArgs {
    std::string command;
    std::vector<std::string> positionals;
    std::map<std::string, std::string> options;
};

int UsageError(const std::string& message) {
    std::cerr << "qvradmin: " << message << "\n" << kUsage;
    return 2;
}

int Failure(const std::string& message) {
    std::cerr << "qvradmin: " << message << "\n";
    return 1;
}

bool ParseAdminArgs(const std::vector<std::string>& args, AdminArgs& out, std::string& error) {
    if (args.size() < 2) {
        error = "no command given";
        return false;
    }
    out.command = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--package" || arg == "--user") {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out.options[arg] = args[++i];
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            out.positionals.push_back(arg);
        }
    }
    return true;
}

// Names end up in tab-separated listing lines.
bool CheckName(const std::string& what, const std::string& name, std::string& error) {
    if (name.empty() || HasLineBreakingChar(name)) {
        error = "invalid " + what + " name \"" + name + "\" (empty, or holds a tab or line break)";
        return false;
    }
    return true;
}

std::string OptionOr(const AdminArgs& args, const std::string& option, const std::string& fallback) {
    auto it = args.options.find(option);
    return it == args.options.end() ? fallback : it->second;
}

int CreateBroker(const AdminArgs& args) {
    if (args.positionals.size() != 1) return UsageError("create-broker takes BROKER");
    Repository repo;
    std::string error;
    if (!repo.Create(args.positionals[0], error)) return Failure(error);
    std::cout << "Broker " << args.positionals[0] << " created in " << BrokerFile(args.positionals[0])
              << "\n";
    return 0;
}

int AddUser(const AdminArgs& args) {
    if (args.positionals.size() != 3) return UsageError("add-user takes BROKER USER PASSWORD");
    Repository repo;
    std::string error;
    if (!CheckName("user", args.positionals[1], error)) return Failure(error);
    if (!repo.Open(args.positionals[0], Database::Mode::ReadWrite, error)) return Failure(error);
    Statement stmt;
    if (!stmt.Prepare(repo.Db(),
                      "INSERT INTO QVRUSER(USERNAME, PASSWORD) VALUES(?1, ?2)"
                      " ON CONFLICT(USERNAME) DO UPDATE SET PASSWORD=excluded.PASSWORD",
                      error)) {
        return Failure(error);
    }
    stmt.Bind(1, args.positionals[1]);
    stmt.Bind(2, args.positionals[2]);
    if (stmt.Step() != SQLITE_DONE) return Failure(repo.Db().LastError());
    std::cout << "User " << args.positionals[1] << " set\n";
    return 0;
}

int Import(const AdminArgs& args) {
    if (args.positionals.size() != 4) {
        return UsageError("import takes BROKER PROJECT STATE [--package P] [--user U] DIR");
    }
    ImportRequest request{args.positionals[1], args.positionals[2],
                          OptionOr(args, "--package", kDefaultPackage),
                          OptionOr(args, "--user", CurrentUserName()), args.positionals[3]};
    std::string error;
    if (!CheckName("project", request.project, error) || !CheckName("state", request.state, error) ||
        !CheckName("package", request.package, error) || !CheckName("user", request.user, error)) {
        return Failure(error);
    }
    Repository repo;
    if (!repo.Open(args.positionals[0], Database::Mode::ReadWrite, error)) return Failure(error);
    ImportResult result;
    if (!ImportTree(repo, request, result, error)) return Failure("import failed, nothing changed: " + error);
    for (const auto& path : result.skipped) {
        std::cerr << "qvradmin: skipped " << path << " (a backslash, tab or line break in its name)\n";
    }
    std::cout << "Imported into " << request.project << "/" << request.state << " package "
              << request.package << ": " << result.newItems << " new items, " << result.newVersions
              << " new versions, " << result.unchanged << " unchanged, " << result.skipped.size()
              << " skipped\n";
    return 0;
}

int Tag(const AdminArgs& args) {
    if (args.positionals.size() != 4) return UsageError("tag takes BROKER PROJECT STATE TAG");
    std::string error;
    std::string user = OptionOr(args, "--user", CurrentUserName());
    if (!CheckName("tag", args.positionals[3], error) || !CheckName("user", user, error)) {
        return Failure(error);
    }
    Repository repo;
    Selection selection;
    if (!repo.Open(args.positionals[0], Database::Mode::ReadWrite, error) ||
        !repo.Resolve(args.positionals[1], args.positionals[2], "", selection, error)) {
        return Failure(error);
    }
    Transaction tx(repo.Db());
    Statement stmt;
    if (!tx.Begin(error) ||
        !stmt.Prepare(repo.Db(),
                      "UPDATE QVRVERSION SET TAG=?2, MODIFIER=?3, MODIFIED=?4 WHERE verobjid IN"
                      " (SELECT latestverobjid FROM QVRITEM WHERE stateobjid=?1)",
                      error)) {
        return Failure(error);
    }
    stmt.Bind(1, selection.stateId);
    stmt.Bind(2, args.positionals[3]);
    stmt.Bind(3, user);
    stmt.Bind(4, static_cast<std::int64_t>(std::time(nullptr)));
    if (stmt.Step() != SQLITE_DONE) return Failure(repo.Db().LastError());
    int changed = sqlite3_changes(repo.Db().Handle());
    stmt = Statement();
    if (!tx.Commit(error)) return Failure(error);
    std::cout << "Tagged " << changed << " versions " << args.positionals[3] << "\n";
    return 0;
}

int Delete(const AdminArgs& args) {
    if (args.positionals.size() != 2 && args.positionals.size() != 3) {
        return UsageError("delete takes BROKER PROJECT [STATE]");
    }
    Repository repo;
    std::string error;
    if (!repo.Open(args.positionals[0], Database::Mode::ReadWrite, error)) return Failure(error);
    auto projectId = repo.FindProject(args.positionals[1]);
    if (!projectId) return Failure("Project " + args.positionals[1] + " not found");
    Statement stmt;
    if (args.positionals.size() == 3) {
        auto stateId = repo.FindState(*projectId, args.positionals[2]);
        if (!stateId) return Failure("State " + args.positionals[2] + " not found in project " + args.positionals[1]);
        if (!stmt.Prepare(repo.Db(), "DELETE FROM QVRSTATE WHERE stateobjid=?1", error)) return Failure(error);
        stmt.Bind(1, *stateId);
    } else {
        if (!stmt.Prepare(repo.Db(), "DELETE FROM QVRENVIRONMENT WHERE envobjid=?1", error)) return Failure(error);
        stmt.Bind(1, *projectId);
    }
    // One statement is one transaction: the cascade goes all the way or not at all.
    if (stmt.Step() != SQLITE_DONE) return Failure(repo.Db().LastError());
    std::cout << "Deleted\n";
    return 0;
}

bool ForEachRow(Database& db, const std::string& sql, const std::function<void(Statement&)>& visit,
                std::string& error) {
    Statement stmt;
    if (!stmt.Prepare(db, sql, error)) return false;
    int rc;
    while ((rc = stmt.Step()) == SQLITE_ROW) visit(stmt);
    if (rc != SQLITE_DONE) {
        error = db.LastError();
        return false;
    }
    return true;
}

int List(const AdminArgs& args) {
    if (args.positionals.size() != 1) return UsageError("list takes BROKER");
    Repository repo;
    std::string error;
    if (!repo.Open(args.positionals[0], Database::Mode::ReadOnly, error)) return Failure(error);
    std::cout << "Broker " << args.positionals[0] << " (" << BrokerFile(args.positionals[0]) << ")\n";
    std::cout << "Users:";
    bool ok = ForEachRow(repo.Db(), "SELECT USERNAME FROM QVRUSER ORDER BY USERNAME",
                         [](Statement& s) { std::cout << " " << s.Text(0); }, error);
    std::cout << "\n";
    ok = ok && ForEachRow(
                   repo.Db(),
                   "SELECT e.ENVIRONMENTNAME, e.envobjid, s.STATENAME,"
                   " (SELECT COUNT(*) FROM QVRITEM i WHERE i.stateobjid=s.stateobjid),"
                   " (SELECT COUNT(*) FROM QVRVERSION v JOIN QVRITEM i ON i.itemobjid=v.itemobjid"
                   "   WHERE i.stateobjid=s.stateobjid),"
                   " (SELECT group_concat(PACKAGENAME, ', ') FROM QVRPACKAGE p WHERE p.stateobjid=s.stateobjid)"
                   " FROM QVRENVIRONMENT e LEFT JOIN QVRSTATE s ON s.envobjid=e.envobjid"
                   " ORDER BY e.ENVIRONMENTNAME, s.STATENAME",
                   [last = std::string("\x01")](Statement& s) mutable {
                       if (s.Text(0) != last) {
                           last = s.Text(0);
                           std::cout << "Project " << last << " (envobjid " << s.Int(1) << ")\n";
                       }
                       if (s.IsNull(2)) return;
                       std::cout << "  State " << s.Text(2) << ": " << s.Int(3) << " items, " << s.Int(4)
                                 << " versions; packages: " << s.Text(5) << "\n";
                   },
                   error);
    if (!ok) return Failure(error);
    return 0;
}

}  // namespace

int RunAdminTool(const std::vector<std::string>& args) {
    AdminArgs parsed;
    std::string error;
    if (!ParseAdminArgs(args, parsed, error)) return UsageError(error);
    static const std::map<std::string, std::function<int(const AdminArgs&)>> commands = {
        {"create-broker", CreateBroker}, {"add-user", AddUser}, {"import", Import},
        {"tag", Tag},                    {"list", List},        {"delete", Delete},
    };
    auto it = commands.find(parsed.command);
    if (it == commands.end()) {
        if (parsed.command == "--help" || parsed.command == "-h") {
            std::cout << kUsage;
            return 0;
        }
        return UsageError("unknown command " + parsed.command);
    }
    return it->second(parsed);
}

}  // namespace qvr::quorvan
