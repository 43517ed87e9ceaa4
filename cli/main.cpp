// qvrcompare-cli: the populate and compare-report workflows for scripts and
// CI jobs, over the settings the window keeps.

#include <unistd.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/allocator_settings.h"
#include "app/platform.h"
#include "cli/cli_run.h"
#include "cli/settings_store.h"
#include "scm/launcher.h"

namespace {

#ifndef _WIN32
// Written when a run is interrupted; the list it was making is not written.
constexpr char kInterruptedLine[] = "qvrcompare-cli: interrupted; the list is incomplete and was not written\n";

// Ctrl+C, a hang-up or a request to end: the tools run in process groups of
// their own, out of the terminal's reach, so they are asked to end here; the
// program then says that its list is incomplete and ends with the error
// status, as any run that did not finish.
void EndWithTheTools(int /*sig*/) {
    qvr::process::EndRunningChildrenNow();
    // A progress line may stand on the terminal: the text starts below it.
    static constexpr char kNewLine[] = "\n";
    if (::isatty(STDERR_FILENO) == 1) (void)!::write(STDERR_FILENO, kNewLine, 1);
    (void)!::write(STDERR_FILENO, kInterruptedLine, sizeof kInterruptedLine - 1);
    ::_exit(2);
}

void EndTheToolsOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = EndWithTheTools;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}
#else
void EndTheToolsOnInterrupt() {}
#endif

// A terminal that cannot erase a line says so with TERM=dumb (or no TERM).
bool TerminalCanErase() {
    const char* term = std::getenv("TERM");
    return term != nullptr && *term != '\0' && std::string(term) != "dumb";
}

}  // namespace

int main(int argc, char** argv) {
    qvr::LimitAllocatorRetention();
    std::ios::sync_with_stdio(false);
    EndTheToolsOnInterrupt();
    qvr::platform::UseBinaryStandardOutput();
    const std::vector<std::string> args(argv, argv + argc);
    const std::unique_ptr<qvr::IProfileStore> store = qvr::cli::OpenSettingsStore();
    const bool errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    const qvr::cli::CliStreams streams{std::cout, std::cerr, errIsTerminal,
                                       !qvr::platform::kIsWindows ? TerminalCanErase() : errIsTerminal};
    // Once the list is out nothing is left to do: the trace is closed after
    // every line and the settings are only read, so the process ends without
    // taking its lists apart.
    const auto endNow = [](int status) {
        std::cout.flush();
        std::cerr.flush();
        std::_Exit(status);
    };
    return qvr::cli::RunCli(args, *store, streams, qvr::platform::ConfigDirectory(),
                            qvr::platform::HomeDirectory(), endNow);
}
