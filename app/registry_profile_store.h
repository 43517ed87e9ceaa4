#pragma once
// The settings store of the program's own platform: the current user's
// registry, key "Software\<organisation>\<application>" with one subkey per
// section ("Settings"), every value a string. The key is the one a QSettings
// store of the same names uses on Windows, so both front ends see the same
// values. Windows only.

#include <string>
#include <string_view>

#include "app/profile_store.h"

namespace qvr {

class RegistryProfileStore final : public IProfileStore {
public:
    explicit RegistryProfileStore(std::string_view organization = kSettingsOrganization,
                                  std::string_view application = kSettingsApplication);

    // A value that is missing, or that is not a string, gives def.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view def) const override;
    // Creates the keys on the way; a failure is not reported (nor is it by
    // the profile writer the program always used).
    void WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override;

    // "Software\Vemtaro\QvrCompare\Settings" for the section "Settings".
    std::string KeyPath(std::string_view section) const;

private:
    std::string m_applicationKey;
};

}  // namespace qvr
