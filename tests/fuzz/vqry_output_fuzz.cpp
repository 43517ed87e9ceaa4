// The query-output reader over any result file: it must never crash and
// always answer found (1) or not found (0).

#include <cstdlib>

#include "fuzz_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qvr::fuzz::FuzzBridge fixture;
    qvr::ScmBridge& bridge = fixture.Bridge();
    fixture.WriteFile(bridge.QueryOutputPath(), data, size);

    std::string result;
    const int found = bridge.ReadVqryOutput(result);
    if (found != 0 && found != 1) std::abort();
    if (found == 1 && result.size() > size) std::abort();  // a line comes from the file
    return 0;
}
