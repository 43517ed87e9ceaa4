#pragma once
// The settings store: text values by section and key. The program keeps every
// setting as text ("Settings" section); integers are stored as decimal text.
// The window uses the QSettings-backed store (settings_qt/), the headless
// front end the same one, or on Windows the registry store beside this
// header; tests use the in-memory one.

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace qvr {

// Where every store keeps the settings: the organisation's and the
// application's name (on Windows the registry key
// Software\Vemtaro\QvrCompare of the current user).
inline constexpr const char* kSettingsOrganization = "Vemtaro";
inline constexpr const char* kSettingsApplication = "QvrCompare";

class IProfileStore {
public:
    virtual ~IProfileStore() = default;
    // The stored text, or def when the key is missing.
    virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view def) const = 0;
    virtual void WriteProfileString(std::string_view section, std::string_view key,
                                    std::string_view value) = 0;
    // Makes every write so far durable. Called before the program ends itself
    // abruptly, when no destructor will run to do it.
    virtual void Flush() {}
};

class MemoryProfileStore final : public IProfileStore {
public:
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view def) const override {
        auto it = m_values.find({std::string(section), std::string(key)});
        return it == m_values.end() ? std::string(def) : it->second;
    }
    void WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override {
        m_values[{std::string(section), std::string(key)}] = std::string(value);
    }
    bool Has(std::string_view section, std::string_view key) const {
        return m_values.count({std::string(section), std::string(key)}) != 0;
    }

private:
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

}  // namespace qvr
