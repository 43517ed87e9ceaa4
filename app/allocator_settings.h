#pragma once
// How the C library's allocator is told to keep memory, in the window and
// the command line alike.

namespace qvr {

// Gives memory the lists no longer use back to the system. Called once at
// the start, before any thread is started; nothing where the C library has
// no such settings.
void LimitAllocatorRetention();

}  // namespace qvr
