// Starts the way the window program starts, without a window, so a test can
// hand it any command line and see what start-up made of it. The install
// and config directory is QVR_STARTUP_CHILD_DIR; there the child leaves
// "local_path.txt" (the local path start-up took from the command line) and
// the trace, with two lines of its own after start-up's first, the first of
// them holding a line break.
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/platform.h"
#include "app/startup.h"
#include "support/recording_message_box_host.h"

int main(int argc, char** argv) {
    const char* dir = std::getenv("QVR_STARTUP_CHILD_DIR");
    if (!dir || !*dir) return 99;
    qvr::testing::RecordingMessageBoxHost boxes;
    qvr::StartupInputs inputs = qvr::StartupInputs::FromProcess(argc, argv);
    inputs.configDir = dir;
    const qvr::StartupResult result = qvr::RunApplication(
        inputs, boxes,
        [&](qvr::AppEnvironment& environment) {
            std::ofstream(qvr::platform::JoinPath(dir, "local_path.txt"), std::ios::binary)
                << environment.commandLineLocalPath;
            environment.trace.Trace("main window: %s", "two\nthree");
            environment.trace.Trace("main window: %s", "four");
            return 0;
        },
        dir);
    return result.dialogRan ? 0 : 98;
}
