#pragma once
// How the C library's allocator is told to keep memory, in the window and
// the command line alike.

#include <cstddef>

namespace qvr {

// Blocks of this size and larger are mapped from the system on their own and
// unmapped when freed; smaller ones are cut from the allocator's heap, where
// a freed one is the next one's without fresh pages from the system.
inline constexpr std::size_t kOwnMappingBytes = std::size_t{1} << 20;

// Gives memory the lists no longer use back to the system. Called once at
// the start, before any thread is started; nothing where the C library has
// no such settings.
void LimitAllocatorRetention();

}  // namespace qvr
