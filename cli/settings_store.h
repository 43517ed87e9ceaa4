#pragma once
// The settings the headless program reads: the store the window keeps them
// in on this platform.

#include <memory>

#include "app/profile_store.h"

namespace qvr::cli {

// Elsewhere the QSettings store of the window; on Windows the registry key
// itself, so the program needs no Qt there.
std::unique_ptr<IProfileStore> OpenSettingsStore();

}  // namespace qvr::cli
