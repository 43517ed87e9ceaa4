#pragma once
// qvrcompare-cli: the window's two workflows without a window. Start-up as
// the window program does it (install directory, a new trace, the temporary
// directory), the stored settings with the command line's values on top, one
// workflow run, and its list written in the export format.

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "app/profile_store.h"
#include "compare/report_table.h"

namespace qvr::cli {

// The process's exit statuses.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitDifferences = 1,  // the report listed a New or Diff file
    kExitError = 2,        // any error, or bad usage
};

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    // Whether that terminal takes the erase-line sequence (TERM=dumb does not).
    bool errCanErase = true;
    // Where "--password -" reads its line; nullptr: the process's standard input.
    std::istream* in = nullptr;
};

// What the run knows about itself when the workflow has returned.
struct RunOutcome {
    std::string finalStatus;
    bool errorStatusSeen = false;
    int messageBoxes = 0;
};

// A run succeeded when nothing reported an error on the way (no box, no
// " Error" status) and the status line ends on " Ready...", as every
// successful end of both workflows leaves it.
bool RunSucceeded(const RunOutcome& outcome);

// 1 when a Bottom List row's status is New or Diff, else 0.
int ReportExitStatus(const ReportTable& bottom);

// The one line a successful run ends with: how many files the list holds
// and, for a report, how many of each status.
std::string SummaryLine(bool report, const ReportTable& list);

// Why the list cannot be written to path, found before any tool runs; empty
// when it can. A file made for the test is removed again.
std::string CsvTargetProblem(const std::string& path);

// Called with the exit status once the list is written, while the run's
// lists are still alive. A program that ends right there spares itself
// handing hundreds of thousands of rows back to the allocator one by one.
using FinishAction = std::function<void(int exitStatus)>;

// args: the whole command line, the program's name first. store: the
// settings the window would load (read only; the CLI never saves them).
// configDir and homeDir as start-up reads them.
int RunCli(const std::vector<std::string>& args, IProfileStore& store, const CliStreams& streams,
           const std::string& configDir, const std::string& homeDir, const FinishAction& finish = {});

}  // namespace qvr::cli
