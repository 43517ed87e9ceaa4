// The path splitter over any path text: never a crash, and the parts it finds
// put together again give no more than the path held.

#include <cstdlib>
#include <string_view>

#include "app/path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qvr::CPath path(text);
    const std::string location = path.GetLocation();
    const std::string fileName = path.GetFileName();
    const std::string& whole = path.GetPath();
    if (whole.size() != location.size() + fileName.size()) std::abort();
    if (whole.size() > text.size()) std::abort();
    (void)qvr::AppendSeparator(text);
    (void)qvr::AppendSeparator(text, true);
    return 0;
}
