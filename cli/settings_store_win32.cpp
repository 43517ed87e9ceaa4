#include "cli/settings_store.h"

#include "app/registry_profile_store.h"

namespace qvr::cli {

std::unique_ptr<IProfileStore> OpenSettingsStore() { return std::make_unique<RegistryProfileStore>(); }

}  // namespace qvr::cli
