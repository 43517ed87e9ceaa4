#include "cli/settings_store.h"

#include "settings_qt/qsettings_profile_store.h"

namespace qvr::cli {

std::unique_ptr<IProfileStore> OpenSettingsStore() { return std::make_unique<QSettingsProfileStore>(); }

}  // namespace qvr::cli
