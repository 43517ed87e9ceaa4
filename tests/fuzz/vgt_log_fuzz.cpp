// The checkout-log reader over any vgt.log: it must never crash and always
// answer success (1) or failure (0).

#include <cstdlib>

#include "app/busy_flags.h"
#include "fuzz_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qvr::fuzz::FuzzBridge fixture;
    qvr::ScmBridge& bridge = fixture.Bridge();
    fixture.WriteFile(bridge.VgtLogPath(), data, size);

    // The first byte decides whether a report is running, so the pumping
    // branch is explored too.
    qvr::g_reportInProgress = (size > 0 && (data[0] & 1) != 0) ? 1 : 0;
    std::string line;
    const int result = bridge.ReadVgtLog(line);
    if (result != 0 && result != 1) std::abort();
    if (bridge.VgtLogUnreadable()) std::abort();  // the file was there and readable
    qvr::g_reportInProgress = 0;
    return 0;
}
