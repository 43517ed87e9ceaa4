// The listing reader over any vlx.log a tool (or a damaged disk) may leave:
// it must never crash, and the count it returns is the number of records it
// kept.

#include <cstdlib>

#include "app/busy_flags.h"
#include "fuzz_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qvr::fuzz::FuzzBridge fixture;
    qvr::ScmBridge& bridge = fixture.Bridge();
    fixture.WriteFile(bridge.VlxLogPath(), data, size);

    qvr::g_populateInProgress = 1;
    std::string errorText;
    const int count = bridge.ReadVlxLog(errorText);
    if (count != fixture.Records().GetCount()) std::abort();
    return 0;
}
