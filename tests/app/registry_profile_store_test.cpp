// The registry store on Windows, checked against the registry itself: what
// it writes is read back with the system's own "reg" program.

#include "app/registry_profile_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/settings.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

using testing::TempDir;

// The values "reg query" lists for a key: name to (type, text).
std::map<std::string, std::pair<std::string, std::string>> RegQuery(const std::string& key,
                                                                    const TempDir& scratch) {
    const testing::CapturedRun run = testing::RunCapturing("reg query \"" + key + "\"", scratch.Str());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::map<std::string, std::pair<std::string, std::string>> values;
    std::size_t begin = 0;
    while (begin < run.out.size()) {
        std::size_t end = run.out.find('\n', begin);
        if (end == std::string::npos) end = run.out.size();
        std::string line = run.out.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "    Name    REG_SZ    text"
        if (line.rfind("    ", 0) != 0) continue;
        const std::size_t typeAt = line.find("    REG_", 4);
        if (typeAt == std::string::npos) continue;
        const std::size_t typeEnd = line.find("    ", typeAt + 4);
        const std::string name = line.substr(4, typeAt - 4);
        const std::string type = line.substr(typeAt + 4, typeEnd == std::string::npos ? std::string::npos
                                                                                       : typeEnd - typeAt - 4);
        const std::string text = typeEnd == std::string::npos ? std::string() : line.substr(typeEnd + 4);
        values[name] = {type, text};
    }
    return values;
}

// Each test works under an application key of its own, removed afterwards.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { QVR_SKIP_UNLESS_WINDOWS(); }
    void TearDown() override {
        if (testing::kOnWindows) {
            testing::RunCapturing("reg delete \"HKCU\\Software\\Vemtaro\\" + m_application + "\" /f",
                                  m_scratch.Str());
        }
    }

    RegistryProfileStore Store() const { return RegistryProfileStore("Vemtaro", m_application); }
    std::string SettingsKey() const { return "HKCU\\Software\\Vemtaro\\" + m_application + "\\Settings"; }

    const std::string m_application = "QvrCompareTest" + std::to_string(testing::OwnProcessId());
    TempDir m_scratch;
};

TEST_F(RegistryStore, KeyIsTheOneTheProgramAlwaysUsed) {
    EXPECT_EQ(RegistryProfileStore().KeyPath("Settings"), "Software\\Vemtaro\\QvrCompare\\Settings");
    EXPECT_EQ(Store().KeyPath("Settings"), "Software\\Vemtaro\\" + m_application + "\\Settings");
}

TEST_F(RegistryStore, ValuesAreStringsThatComeBackByteForByte) {
    const std::string values[] = {
        "",
        " ",
        " lead and trail ",
        "\\",
        "\"quoted\"",
        "a,b;c=d#e",
        "%PATH%",
        "tab\there",
        "C:\\Program Files\\QvrCompare\\Windiff.exe \"%s\" \"%s\"",
        std::string(254, 'x'),
        std::string(5000, 'y'),
        "caf\xE9",
    };
    {
        RegistryProfileStore store = Store();
        for (std::size_t i = 0; i < std::size(values); ++i) {
            store.WriteProfileString("Settings", "K" + std::to_string(i), values[i]);
        }
    }
    const RegistryProfileStore store = Store();
    const auto listed = RegQuery(SettingsKey(), m_scratch);
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "K" + std::to_string(i);
        EXPECT_EQ(store.GetProfileString("Settings", key, "<missing>"), values[i]) << key;
        ASSERT_EQ(listed.count(key), 1u) << key;
        EXPECT_EQ(listed.at(key).first, "REG_SZ") << key;
    }
    // reg prints the text as it is stored (the long one is spared the console).
    EXPECT_EQ(listed.at("K2").second, " lead and trail ");
    EXPECT_EQ(listed.at("K8").second, values[8]);
}

TEST_F(RegistryStore, MissingKeysSectionsAndOtherTypesGiveTheDefault) {
    RegistryProfileStore store = Store();
    EXPECT_EQ(store.GetProfileString("Settings", "Present", "def"), "def");  // no key at all yet
    store.WriteProfileString("Settings", "Present", "v");
    const testing::CapturedRun added =
        testing::RunCapturing("reg add \"" + SettingsKey() + "\" /v Number /t REG_DWORD /d 5 /f", m_scratch.Str());
    ASSERT_EQ(added.status, 0) << added.out << added.err;
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Settings", "Present", "v"},
        {"Settings", "Absent", "def"},
        {"Other", "Present", "def"},
        {"Settings", "Number", "def"},  // not a string
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store.GetProfileString(c.section, c.key, "def"), c.expected) << c.section << "/" << c.key;
    }
}

TEST_F(RegistryStore, SavedSettingsAreStringValuesInTheRegistryAndLoadBack) {
    AppSettings saved;
    saved.context = {"Main Broker", "jdoe", "open sesame", "My Project", "Release 2", "",
                     "C:\\Qvr Install\\Temp", "D:\\My Work"};
    saved.templates = DefaultTemplates(saved.context.package, "C:\\Qvr Install");
    saved.display = {1, 0, 1, 0};
    {
        RegistryProfileStore store = Store();
        SaveSettings(store, saved, "C:\\Qvr Install");
    }
    std::string scrambled = "open sesame";
    ScramblePassword(scrambled);
    const auto listed = RegQuery(SettingsKey(), m_scratch);
    const std::map<std::string, std::string> expected = {
        {"INSTALLDIR", "C:\\Qvr Install"}, {"UserId", "jdoe"},          {"Pswd", scrambled},
        {"Broker", "Main Broker"},         {"Project", "My Project"},   {"State", "Release 2"},
        {"Package", ""},                   {"TempPath", "C:\\Qvr Install\\Temp"},
        {"LocalPath", "D:\\My Work"},      {"DiffPgm", saved.templates.diffPgm},
        {"VlxFmt", saved.templates.vlxFmt}, {"VgtFmt", saved.templates.vgtFmt},
        {"VqryFmt", saved.templates.vqryFmt}, {"SqlFmt", saved.templates.sqlFmt},
        {"ShowNewFiles", "1"},             {"ShowDiffFiles", "1"},      {"ShowSameFiles", "0"},
        {"SubFolders", "0"},               {"ShowMissingFiles", "0"},   {"RepoFolder", ""},
        {"ExcludePatterns", ""},
    };
    EXPECT_EQ(listed.size(), expected.size());
    for (const auto& [key, text] : expected) {
        ASSERT_EQ(listed.count(key), 1u) << key;
        EXPECT_EQ(listed.at(key).first, "REG_SZ") << key;
        EXPECT_EQ(listed.at(key).second, text) << key;
    }
    EXPECT_NE(scrambled, "open sesame");

    const RegistryProfileStore store = Store();
    EXPECT_EQ(LoadSettings(store, {"C:\\Qvr Install", "C:\\Qvr Install\\Temp", "", ""}), saved);
}

}  // namespace
}  // namespace qvr
