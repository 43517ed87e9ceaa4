#pragma once
// The program's settings store over QSettings("Vemtaro", "QvrCompare"): on
// Windows the registry key the program has always used, elsewhere Qt's INI
// file for that organisation and application. A section is a group; values
// are strings and come back byte for byte.

#include <QSettings>

#include "app/profile_store.h"

namespace qvr {

class QSettingsProfileStore final : public IProfileStore {
public:
    QSettingsProfileStore();
    // A store over an INI file of its own (for tools and tests).
    explicit QSettingsProfileStore(const QString& iniFile);

    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view def) const override;
    void WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override;
    void Flush() override;

    // Where the values are kept (file name or registry path).
    QString Location() const { return m_settings.fileName(); }

private:
    mutable QSettings m_settings;
};

}  // namespace qvr
