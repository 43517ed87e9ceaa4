#include "app/allocator_settings.h"

// Any C library header says which C library it is.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qvr {

void LimitAllocatorRetention() {
#if defined(__GLIBC__)
    // A long listing's sort, its counterpart tables and its index are
    // blocks of megabytes that live for one step. By default the allocator
    // raises its mmap threshold to the largest block freed so far (up to
    // 32 MiB): from then on such blocks are cut from the heap and stay part
    // of the process after they are freed. A fixed threshold keeps them
    // mapped on their own and unmapped when freed.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMappingBytes));
    // Each thread that allocates (the index build, the compare workers)
    // would get a heap of its own, and what one frees the others cannot
    // reuse. Two heaps keep the worker off the window thread's lock.
    mallopt(M_ARENA_MAX, 2);
#endif
}

}  // namespace qvr
