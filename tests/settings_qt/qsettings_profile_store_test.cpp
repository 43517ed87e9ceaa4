#include "settings_qt/qsettings_profile_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/settings.h"
#include "support/temp_dir.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Every test works on the real per-user settings file, moved into a fresh
// configuration directory of its own.
class QSettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", m_config.Str().c_str(), 1);
        // Qt reads the variable once per process; later tests set the path.
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope,
                               QString::fromStdString(m_config.Str()));
        }
    }

    fs::path ExpectedFile() const { return m_config / "Vemtaro" / "QvrCompare.conf"; }

    TempDir m_config;
};

AppSettings AwkwardSettings() {
    AppSettings s;
    s.context = {"broker \"one\"", "user\\name", "p@ss \"w\\rd\";$x,y=z#1 ", "My Project",
                 "State, with comma", "*", "/tmp/with space", " /lead/and/trail "};
    s.templates = DefaultTemplates(s.context.package, "/opt/My Qvr");
    s.display = {1, 1, 0, 0};
    return s;
}

TEST_F(QSettingsStore, DefaultTemplatesAndAwkwardTextsComeBackByteForByte) {
    const AppSettings saved = AwkwardSettings();
    {
        QSettingsProfileStore store;
        SaveSettings(store, saved, "/opt/My Qvr");
        store.Flush();
        EXPECT_EQ(fs::path(store.Location().toStdString()), ExpectedFile());
    }
    ASSERT_TRUE(fs::exists(ExpectedFile()));

    QSettingsProfileStore reopened;
    SettingsPaths paths{"/opt/My Qvr", "/tmp/with space", "", ""};
    EXPECT_EQ(LoadSettings(reopened, paths), saved);
    EXPECT_EQ(reopened.GetProfileString("Settings", "INSTALLDIR", ""), "/opt/My Qvr");
    EXPECT_EQ(reopened.GetProfileString("Settings", "VgtFmt", ""), DefaultVgtFmt(true));
}

TEST_F(QSettingsStore, ValuesAreStringsWhateverTheyLookLike) {
    const std::string values[] = {
        "",
        " ",
        "\\",
        "\"",
        "\"quoted\"",
        "a,b,c",
        "@ByteArray(abc)",
        "@Variant(x)",
        "true",
        "12",
        "tab\there",
        "semi;colon # hash = equals",
        "\xC3\xA4\xE2\x82\xAC utf-8",
        "DEL\x7F",
    };
    {
        QSettingsProfileStore store;
        for (std::size_t i = 0; i < std::size(values); ++i) {
            store.WriteProfileString("Settings", "K" + std::to_string(i), values[i]);
        }
    }
    QSettingsProfileStore store;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(store.GetProfileString("Settings", "K" + std::to_string(i), "<missing>"),
                  values[i])
            << i;
    }
}

TEST_F(QSettingsStore, EveryScrambledPrintablePasswordSurvives) {
    std::string all;
    for (char c = ' '; c < '\x7F'; ++c) all += c;
    AppSettings s = AwkwardSettings();
    for (std::size_t start = 0; start < all.size(); start += 40) {
        s.context.password = all.substr(start) + all.substr(0, start);
        {
            QSettingsProfileStore store;
            SaveSettings(store, s, "/opt");
        }
        QSettingsProfileStore store;
        EXPECT_EQ(LoadSettings(store, {"/opt", "/tmp/with space", "", ""}).context.password,
                  s.context.password);
    }
}

// The settings file holds the password only scrambled: its text does not
// show, whatever the other values hold; the password's text inside another
// value is that value's.
TEST_F(QSettingsStore, ThePasswordIsInTheFileOnlyScrambled) {
    struct Case {
        std::string password;
        std::string broker;
    };
    const Case cases[] = {
        {"s3cr3t", "B -pw "},
        {"p@ss w;rd -pw", "brk"},
        {"\"q\" pw", "brk"},
        {"s3cr3t", "mys3cr3tbroker"},
        {std::string(80, 'k'), "brk"},  // as long as the key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        AppSettings s = AwkwardSettings();
        s.context.password = c.password;
        s.context.broker = c.broker;
        {
            QSettingsProfileStore store;
            SaveSettings(store, s, "/opt");
            store.Flush();
        }
        std::ifstream in(ExpectedFile(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_NE(text.find("Pswd="), std::string::npos);
        if (c.broker.find(c.password) != std::string::npos) {
            for (std::size_t at = text.find(c.broker); at != std::string::npos; at = text.find(c.broker, at)) {
                text.erase(at, c.broker.size());
            }
        }
        EXPECT_EQ(text.find(c.password), std::string::npos) << text;
        QSettingsProfileStore store;
        EXPECT_EQ(LoadSettings(store, {"/opt", "/tmp/with space", "", ""}).context.password, c.password);
    }
}

TEST_F(QSettingsStore, MissingKeysAndSectionsGiveTheDefault) {
    QSettingsProfileStore store;
    store.WriteProfileString("Settings", "Present", "v");
    EXPECT_EQ(store.GetProfileString("Settings", "Absent", "def"), "def");
    EXPECT_EQ(store.GetProfileString("Other", "Present", "def"), "def");
    EXPECT_EQ(store.GetProfileString("Settings", "Present", "def"), "v");
}

TEST_F(QSettingsStore, HandWrittenListReadsAsItsText) {
    fs::create_directories(ExpectedFile().parent_path());
    std::ofstream(ExpectedFile()) << "[Settings]\nLocalPath=/a,/b\n";
    QSettingsProfileStore store;
    EXPECT_EQ(store.GetProfileString("Settings", "LocalPath", ""), "/a,/b");
}

}  // namespace
}  // namespace qvr
