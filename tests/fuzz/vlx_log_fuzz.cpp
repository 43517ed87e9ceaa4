// The listing reader over any vlx.log a tool (or a damaged disk) may leave:
// it must never crash, the count it returns is the number of records it
// kept, and no field of a record holds a tab or a line end.

#include <cstdlib>
#include <string_view>

#include "app/busy_flags.h"
#include "fuzz_bridge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qvr::fuzz::FuzzBridge fixture;
    qvr::ScmBridge& bridge = fixture.Bridge();
    fixture.WriteFile(bridge.VlxLogPath(), data, size);

    qvr::g_populateInProgress = 1;
    std::string errorText;
    const int count = bridge.ReadVlxLog(errorText);
    const qvr::CMapStrToFObj& records = fixture.Records();
    if (count != records.GetCount()) std::abort();
    for (auto position = records.GetStartPosition(); position;) {
        const qvr::RepoFileFields fields = records.GetNextFields(position);
        for (int field = 0; field < qvr::RepoFileRecord::kFieldCount; ++field) {
            if (fields.Field(field).find_first_of("\t\n") != std::string_view::npos) std::abort();
        }
        if (!fields.Field(qvr::RepoFileRecord::kFieldCount - 1).empty()) std::abort();  // the log has no Status
    }
    return 0;
}
