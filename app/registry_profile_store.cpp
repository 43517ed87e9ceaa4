// The registry holds what the program remembers between runs, as it always
// did on Windows: string values under the current user's key.

#include "app/registry_profile_store.h"

#include "app/windows_api.h"

#include <vector>

namespace qvr {
namespace {

// Closes an open key when it goes out of scope.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (m_key) RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}  // namespace

RegistryProfileStore::RegistryProfileStore(std::string_view organization,
                                           std::string_view application)
    : m_applicationKey("Software\\" + std::string(organization) + "\\" + std::string(application)) {}

std::string RegistryProfileStore::KeyPath(std::string_view section) const {
    return m_applicationKey + "\\" + std::string(section);
}

std::string RegistryProfileStore::GetProfileString(std::string_view section, std::string_view key,
                                                   std::string_view def) const {
    OpenKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, KEY_QUERY_VALUE, opened.Out()) !=
        ERROR_SUCCESS) {
        return std::string(def);
    }
    const std::string name(key);
    // The value may grow between asking for its size and reading it: ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::string(def);
        }
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
        DWORD got = size;
        const LONG read = RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (read == ERROR_MORE_DATA) continue;
        if (read != ERROR_SUCCESS || type != REG_SZ) return std::string(def);
        // A string value need not be stored with its terminator: take the
        // bytes up to the first zero, or all of them.
        std::string value(buffer.data(), got);
        const std::size_t zero = value.find('\0');
        if (zero != std::string::npos) value.resize(zero);
        return value;
    }
    return std::string(def);
}

void RegistryProfileStore::WriteProfileString(std::string_view section, std::string_view key,
                                              std::string_view value) {
    OpenKey opened;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, opened.Out(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::string name(key);
    const std::string text(value);  // with its terminator, as string values are stored
    RegSetValueExA(opened.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

}  // namespace qvr
