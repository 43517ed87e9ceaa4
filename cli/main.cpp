// qvrcompare-cli: the populate and compare-report workflows for scripts and
// CI jobs, over the settings the window keeps.

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/platform.h"
#include "cli/cli_run.h"
#include "cli/settings_store.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    qvr::platform::UseBinaryStandardOutput();
    const std::vector<std::string> args(argv, argv + argc);
    const std::unique_ptr<qvr::IProfileStore> store = qvr::cli::OpenSettingsStore();
    const qvr::cli::CliStreams streams{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1};
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
