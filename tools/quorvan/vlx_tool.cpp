// vlx: lists the latest version of every item of a state into its output file:
// a header, a line of minus signs, one tab-separated line of ten fields per
// item, and the success line.

#include "tools/quorvan/repo_path.h"
#include "tools/quorvan/tool_session.h"
#include "tools/quorvan/tools.h"

#include <string>

namespace qvr::quorvan {

namespace {

const std::vector<OptionRule> kVlxOptions = {
    {"-b"}, {"-en"}, {"-st"}, {"-vp"}, {"-usr"}, {"-pw"}, {"-iv"}, {"-s"}, {"-o"}, {"-p"},
};

constexpr const char* kHeader =
    "File\tPath\tVersion\tTag\tDatasize\tPackage\tCreator\tCreated Date\tModifier\tModified Date";
constexpr const char* kSeparator =
    "----------------------------------------------------------------------------------------";

// The reader splits at runs of tabs, so an empty field would shift every
// later column; an untagged version shows a single blank instead.
std::string FieldOrBlank(const std::string& text) { return text.empty() ? std::string(" ") : text; }

// Versions of one import share their time stamp; converting each to local
// time once keeps long listings fast.
class DateCache {
public:
    const std::string& Format(std::int64_t seconds) {
        if (!m_valid || seconds != m_seconds) {
            m_text = FormatListingDate(seconds);
            m_seconds = seconds;
            m_valid = true;
        }
        return m_text;
    }

private:
    bool m_valid = false;
    std::int64_t m_seconds = 0;
    std::string m_text;
};

void AppendListingLine(std::string& line, const VersionRow& row, DateCache& created,
                       DateCache& modified) {
    line.clear();
    line += row.file;
    line += '\t';
    line += row.path;
    line += '\t';
    line += std::to_string(row.number);
    line += '\t';
    line += FieldOrBlank(row.tag);
    line += '\t';
    line += std::to_string(row.size);
    line += '\t';
    line += FieldOrBlank(row.package);
    line += '\t';
    line += FieldOrBlank(row.creator);
    line += '\t';
    line += created.Format(row.created);
    line += '\t';
    line += FieldOrBlank(row.modifier);
    line += '\t';
    line += modified.Format(row.modified);
}

}  // namespace

int RunVlxTool(const std::vector<std::string>& args) {
    ToolSession session("vlx", args, kVlxOptions);
    int status = 0;
    if (!session.Start(status)) return status;
    if (!session.Parse(0, {"-b", "-en", "-st", "-usr", "-pw"})) return 1;
    const ParsedArgs& parsed = session.Args();
    std::string includeVersions = parsed.Value("-iv", "lv");
    if (includeVersions != "lv") return session.Fail("Unsupported value for -iv: " + includeVersions);

    Repository repo;
    if (!session.Login(repo)) return 1;
    Selection selection;
    std::string error;
    if (!repo.Resolve(parsed.Value("-en"), parsed.Value("-st"), parsed.Value("-p"), selection, error)) {
        return session.Fail(error);
    }

    Transaction snapshot(repo.Db(), Transaction::Kind::Read);
    if (!snapshot.Begin(error)) return session.Fail(error);
    std::string viewPath = NormalizeRepoPath(parsed.Value("-vp", "\\"));
    std::string pattern = parsed.Value("-s", "*");
    OutputFile& out = session.Out();
    out.Line(kHeader);
    out.Line(kSeparator);
    std::string line;
    DateCache created, modified;
    bool listed = repo.ForEachLatest(
        selection,
        [&](const VersionRow& row) {
            if (!IsInView(row.path, viewPath, true) || !WildcardMatch(pattern, row.file)) return;
            AppendListingLine(line, row, created, modified);
            out.Line(line);
        },
        error);
    if (!listed) return session.Fail(error);
    out.Line("vlx has been executed successfully.");
    return session.Finish();
}

}  // namespace qvr::quorvan
