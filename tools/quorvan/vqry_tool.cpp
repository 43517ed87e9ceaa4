// vqry: runs the one SQL statement of its statement file against the broker's
// database, opened read-only, and writes the column header and one
// tab-separated line per row, the zero-results line, or the database's error.

#include "tools/quorvan/tool_session.h"
#include "tools/quorvan/tools.h"

#include <fstream>
#include <sstream>

namespace qvr::quorvan {

namespace {

const std::vector<OptionRule> kVqryOptions = {
    {"-b"}, {"-usr"}, {"-pw"}, {"-f"}, {"-o"}, {"-t", false},
};

bool ReadStatement(const std::string& file, std::string& text, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "Cannot read statement file " + file;
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

bool IsBlankTail(std::string_view tail) {
    for (char c : tail) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ';') return false;
    }
    return true;
}

// A cell must stay on its line and in its column.
std::string CellText(const Statement& stmt, int column) {
    std::string text = stmt.Text(column);
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string JoinRow(const Statement& stmt, bool header) {
    std::string line;
    for (int column = 0; column < stmt.ColumnCount(); ++column) {
        if (column) line += '\t';
        line += header ? stmt.ColumnName(column) : CellText(stmt, column);
    }
    return line;
}

}  // namespace

int RunVqryTool(const std::vector<std::string>& args) {
    ToolSession session("vqry", args, kVqryOptions);
    int status = 0;
    if (!session.Start(status)) return status;
    if (!session.Parse(0, {"-b", "-usr", "-pw", "-f"})) return 1;
    const ParsedArgs& parsed = session.Args();

    std::string sql, error;
    if (!ReadStatement(parsed.Value("-f"), sql, error)) return session.Fail(error);
    Repository repo;
    if (!session.Login(repo)) return 1;

    Statement stmt;
    std::string_view tail;
    if (!stmt.Prepare(repo.Db(), sql, error, &tail)) return session.Fail(error);
    if (stmt.ColumnCount() == 0) return session.Fail("The statement returns no rows");
    if (!IsBlankTail(tail)) return session.Fail("Only one statement can be run");

    // Rows are collected first, so a failure half-way leaves only the error.
    std::vector<std::string> lines{JoinRow(stmt, true)};
    int rc;
    while ((rc = stmt.Step()) == SQLITE_ROW) lines.push_back(JoinRow(stmt, false));
    if (rc != SQLITE_DONE) return session.Fail(repo.Db().LastError());
    if (lines.size() == 1) lines.emplace_back("VQRY query has Zero results.");
    for (const auto& line : lines) session.Out().Line(line);
    return session.Finish();
}

}  // namespace qvr::quorvan
