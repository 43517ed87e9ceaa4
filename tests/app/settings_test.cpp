#include "app/settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace qvr {
namespace {

// Remembers the keys read and the keys and values written, in order.
class RecordingStore final : public IProfileStore {
public:
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view def) const override {
        reads.push_back(std::string(section) + "/" + std::string(key));
        return values.GetProfileString(section, key, def);
    }
    void WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override {
        writes.emplace_back(std::string(section) + "/" + std::string(key), std::string(value));
        values.WriteProfileString(section, key, value);
    }
    void Put(std::string_view key, std::string_view value) {
        values.WriteProfileString(kSettingsSection, key, value);
    }
    std::string Stored(std::string_view key) const {
        return values.GetProfileString(kSettingsSection, key, "<missing>");
    }

    MemoryProfileStore values;
    mutable std::vector<std::string> reads;
    std::vector<std::pair<std::string, std::string>> writes;
};

const SettingsPaths kPaths{"/opt/qvr", "/opt/qvr/Temp", "", ""};

const char* const kVlxPlain =
    "vlx -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -usr %s -pw %s -iv lv -s \"*\" -o vlx.log";
const char* const kVgtPlain =
    "vgt \"%s\" -b \"%s\" -en \"%s\" -st \"%s\" -vp \\ -br -nvs -r -op pc -cp \"%s\" "
    "-usr %s -pw %s -o vgt.log";

TEST(DefaultTemplates, AreTheProgramsTexts) {
    EXPECT_EQ(DefaultVlxFmt(false), kVlxPlain);
    EXPECT_EQ(DefaultVlxFmt(true), std::string(kVlxPlain) + " -p \"%s\" ");
    EXPECT_EQ(DefaultVgtFmt(false), kVgtPlain);
    EXPECT_EQ(DefaultVgtFmt(true), std::string(kVgtPlain) + " -p \"%s\" ");
    EXPECT_EQ(DefaultVqryFmt(), "vqry -b \"%s\" -usr %s -pw %s -t -f \"%s\" -o \"%s\"");
    EXPECT_EQ(DefaultSqlFmt(), "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = '%s'");
    // The viewer in the install directory, in the platform's own terms.
    if (testing::kOnWindows) {
        EXPECT_EQ(DefaultDiffPgm("C:\\QvrCompare"), "C:\\QvrCompare\\Windiff.exe \"%s\" \"%s\"");
    } else {
        EXPECT_EQ(DefaultDiffPgm("/opt/qvr"), "/opt/qvr/Windiff \"%s\" \"%s\"");
    }
}

// The viewer's path stays one word of the command line and keeps its "%".
TEST(DefaultTemplates, DiffViewerPathIsOneWordOfTheTemplate) {
    QVR_SKIP_ON_WINDOWS("Windows keeps the plain path");
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/qvr", "/opt/qvr/Windiff \"%s\" \"%s\""},
        {"/home/John Doe/QvrCompare", "\"/home/John Doe/QvrCompare/Windiff\" \"%s\" \"%s\""},
        {"/home/tab\there", "\"/home/tab\there/Windiff\" \"%s\" \"%s\""},
        {"/home/say \"hi\"", "\"/home/say \"\"hi\"\"/Windiff\" \"%s\" \"%s\""},
        {"/home/100%s", "/home/100%%s/Windiff \"%s\" \"%s\""},
        {"/home/50% off", "\"/home/50%% off/Windiff\" \"%s\" \"%s\""},
    };
    for (const auto& [installDir, expected] : cases) {
        EXPECT_EQ(DefaultDiffPgm(installDir), expected) << installDir;
    }
}

// Installed programs live apart from the install directory (the packages put
// the viewer on PATH): the default names the viewer where it will be found.
TEST(DefaultTemplates, DiffViewerIsTakenFromThePathWhenTheInstallDirectoryHasNone) {
    QVR_SKIP_ON_WINDOWS("Windows finds the viewer beside the program by itself");
    testing::TempDir dir;
    const auto makeProgram = [&](const std::string& rel, std::filesystem::perms perms) {
        std::filesystem::permissions(dir.Write(rel, "#!/bin/sh\n"), perms);
    };
    const auto exec = std::filesystem::perms::owner_all;
    const auto plain = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    makeProgram("install/Windiff", exec);
    makeProgram("bin/Windiff", exec);
    makeProgram("plain/Windiff", plain);
    std::filesystem::create_directories(dir / "folder/Windiff");
    std::filesystem::create_directories(dir / "empty");
    const std::string d = dir.Str();
    const std::string inInstall = d + "/install/Windiff \"%s\" \"%s\"";
    const std::string inEmpty = d + "/empty/Windiff \"%s\" \"%s\"";
    const std::string bare = "Windiff \"%s\" \"%s\"";
    struct Case {
        std::string installDir, searchPath, expected;
    };
    const Case cases[] = {
        {d + "/install", d + "/bin", inInstall},                            // the install directory first
        {d + "/empty", d + "/bin", bare},                                   // else the one on PATH
        {d + "/empty", d + "/plain:" + d + "/folder:" + d + "/bin", bare},  // past what cannot run
        {d + "/empty", d + "/plain:" + d + "/folder", inEmpty},             // nothing runnable: as before
        {d + "/empty", "", inEmpty},                                        // no search path given
        {d + "/empty", ":" + d + "/nothing", inEmpty},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DefaultDiffPgm(c.installDir, c.searchPath), c.expected) << c.searchPath;
    }
    RecordingStore store;
    SettingsPaths paths{d + "/empty", d + "/empty/Temp", "", d + "/bin"};
    EXPECT_EQ(LoadSettings(store, paths).templates.diffPgm, bare);
    store.Put("DiffPgm", "mydiff %s %s");
    EXPECT_EQ(LoadSettings(store, paths).templates.diffPgm, "mydiff %s %s");  // a stored one stays
}

TEST(DefaultTemplates, PackageChoosesTheListingAndCheckoutForms) {
    struct Case {
        const char* package;
        bool withPackage;
    };
    for (Case c : {Case{"", false}, Case{"*", true}, Case{"PKG-1", true}}) {
        CommandTemplates t = DefaultTemplates(c.package, "/i");
        EXPECT_EQ(t.vlxFmt, DefaultVlxFmt(c.withPackage)) << c.package;
        EXPECT_EQ(t.vgtFmt, DefaultVgtFmt(c.withPackage)) << c.package;
        EXPECT_EQ(t.diffPgm, DefaultDiffPgm("/i"));

        RecordingStore store;
        store.Put("Package", c.package);
        AppSettings loaded = LoadSettings(store, kPaths);
        EXPECT_EQ(loaded.templates.vlxFmt, DefaultVlxFmt(c.withPackage)) << c.package;
        EXPECT_EQ(loaded.templates.vgtFmt, DefaultVgtFmt(c.withPackage)) << c.package;
    }
}

TEST(LoadSettings, EmptyStoreGivesEveryDefault) {
    RecordingStore store;
    AppSettings s = LoadSettings(store, kPaths);
    ScmContext expectedContext;
    expectedContext.tempPath = "/opt/qvr/Temp";
    EXPECT_EQ(s.context, expectedContext);
    EXPECT_EQ(s.templates, DefaultTemplates("", "/opt/qvr"));
    EXPECT_EQ(s.display, (DisplayOptions{0, 0, 0, 1, 0}));
}

TEST(LoadSettings, ReadsKeysInTheProgramsOrder) {
    RecordingStore store;
    LoadSettings(store, kPaths);
    std::vector<std::string> expected;
    for (const char* key :
         {"UserId", "Pswd", "Broker", "Project", "State", "Package", "DiffPgm", "LocalPath",
          "ShowNewFiles", "ShowSameFiles", "ShowDiffFiles", "SubFolders", "ShowMissingFiles", "VlxFmt",
          "VgtFmt", "VqryFmt", "SqlFmt", "RepoFolder", "ExcludePatterns"}) {
        expected.push_back(std::string("Settings/") + key);
    }
    EXPECT_EQ(store.reads, expected);
}

TEST(LoadSettings, StoredTextReplacesADefaultOnlyWhenNotEmpty) {
    struct Case {
        const char* key;
        std::string CommandTemplates::*field;
    };
    const Case cases[] = {{"VlxFmt", &CommandTemplates::vlxFmt},
                          {"VgtFmt", &CommandTemplates::vgtFmt},
                          {"VqryFmt", &CommandTemplates::vqryFmt},
                          {"SqlFmt", &CommandTemplates::sqlFmt},
                          {"DiffPgm", &CommandTemplates::diffPgm},
                          {"RepoFolder", &CommandTemplates::repoFolder},
                          {"ExcludePatterns", &CommandTemplates::excludePatterns}};
    CommandTemplates defaults = DefaultTemplates("", kPaths.installDir);
    for (const Case& c : cases) {
        RecordingStore typed;
        typed.Put(c.key, "my \"tool\" \\ %s");
        EXPECT_EQ(LoadSettings(typed, kPaths).templates.*c.field, "my \"tool\" \\ %s") << c.key;

        RecordingStore empty;
        empty.Put(c.key, "");
        EXPECT_EQ(LoadSettings(empty, kPaths).templates.*c.field, defaults.*c.field) << c.key;
    }
}

TEST(LoadSettings, DisplayOptionsAreDecimalText) {
    struct Case {
        const char* stored;
        int expected;
    };
    const Case cases[] = {{"0", 0},     {"1", 1},      {"", 0},  // empty is not the default
                          {"abc", 0},   {" 12x", 12},  {"-3", -3},
                          {"+7", 7},    {"\t5", 5},    {"99999999999", INT_MAX},
                          {"-99999999999", INT_MIN}};
    for (const Case& c : cases) {
        RecordingStore store;
        for (const char* key : {"ShowNewFiles", "ShowSameFiles", "ShowDiffFiles", "SubFolders", "ShowMissingFiles"}) {
            store.Put(key, c.stored);
        }
        DisplayOptions d = LoadSettings(store, kPaths).display;
        EXPECT_EQ(d, (DisplayOptions{c.expected, c.expected, c.expected, c.expected, c.expected}))
            << '"' << c.stored << '"';
    }
}

TEST(LoadSettings, CommandLineLocalPathOverridesTheStoredOne) {
    struct Case {
        const char* stored;
        const char* commandLine;
        const char* expected;
    };
    const Case cases[] = {{"/stored", "", "/stored"},
                          {"/stored", "/given", "/given"},
                          {"", "/given", "/given"},
                          {"", "", ""}};
    for (const Case& c : cases) {
        RecordingStore store;
        store.Put("LocalPath", c.stored);
        SettingsPaths paths = kPaths;
        paths.commandLineLocalPath = c.commandLine;
        EXPECT_EQ(LoadSettings(store, paths).context.localPath, c.expected);
    }
}

TEST(LoadSettings, TempPathIsWrittenButNeverRead) {
    RecordingStore store;
    AppSettings s = LoadSettings(store, kPaths);
    s.context.tempPath = "/typed/by/user";
    SaveSettings(store, s, kPaths.installDir);
    EXPECT_EQ(store.Stored("TempPath"), "/typed/by/user");
    EXPECT_EQ(LoadSettings(store, kPaths).context.tempPath, "/opt/qvr/Temp");
}

AppSettings SampleSettings() {
    AppSettings s;
    s.context = {"broker1", "alice", "s3cr\"et;$x", "Proj", "Dev", "*", "/opt/qvr/Temp",
                 "/home/alice/src"};
    s.templates = DefaultTemplates("*", "/opt/qvr");
    s.templates.sqlFmt = "select 1 -- '%s'";
    s.templates.repoFolder = "\\server";
    s.templates.excludePatterns = "*.o;build";
    s.display = {1, 0, 1, 0, 1};
    return s;
}

TEST(SaveSettings, WritesKeysInTheProgramsOrder) {
    RecordingStore store;
    AppSettings s = SampleSettings();
    SaveSettings(store, s, "/opt/qvr");
    std::string scrambled = s.context.password;
    ScramblePassword(scrambled);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Settings/INSTALLDIR", "/opt/qvr"},
        {"Settings/UserId", "alice"},
        {"Settings/Pswd", scrambled},
        {"Settings/Broker", "broker1"},
        {"Settings/Project", "Proj"},
        {"Settings/State", "Dev"},
        {"Settings/Package", "*"},
        {"Settings/TempPath", "/opt/qvr/Temp"},
        {"Settings/LocalPath", "/home/alice/src"},
        {"Settings/DiffPgm", s.templates.diffPgm},
        {"Settings/VlxFmt", s.templates.vlxFmt},
        {"Settings/VgtFmt", s.templates.vgtFmt},
        {"Settings/VqryFmt", s.templates.vqryFmt},
        {"Settings/SqlFmt", "select 1 -- '%s'"},
        {"Settings/RepoFolder", "\\server"},
        {"Settings/ExcludePatterns", "*.o;build"},
        {"Settings/ShowNewFiles", "1"},
        {"Settings/ShowDiffFiles", "1"},
        {"Settings/ShowSameFiles", "0"},
        {"Settings/SubFolders", "0"},
        {"Settings/ShowMissingFiles", "1"},
    };
    EXPECT_EQ(store.writes, expected);
    EXPECT_NE(scrambled, s.context.password);
}

TEST(SaveSettings, RoundTripRestoresEverything) {
    RecordingStore store;
    AppSettings s = SampleSettings();
    SaveSettings(store, s, "/opt/qvr");
    EXPECT_EQ(LoadSettings(store, kPaths), s);
}

TEST(SaveSettings, EmptyPasswordIsStoredEmptyAndLoadsEmpty) {
    RecordingStore store;
    AppSettings s = SampleSettings();
    s.context.password.clear();
    SaveSettings(store, s, "/opt/qvr");
    EXPECT_EQ(store.Stored("Pswd"), "");
    EXPECT_EQ(LoadSettings(store, kPaths).context.password, "");
}

TEST(SaveCommandTemplates, WritesTheFiveTemplatesInDialogOrder) {
    RecordingStore store;
    CommandTemplates t{"a", "b", "c", "d", "e", "\\lib", "*.o;build"};
    SaveCommandTemplates(store, t);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Settings/VlxFmt", "a"}, {"Settings/VgtFmt", "b"}, {"Settings/VqryFmt", "c"},
        {"Settings/SqlFmt", "d"}, {"Settings/DiffPgm", "e"},
        {"Settings/RepoFolder", "\\lib"}, {"Settings/ExcludePatterns", "*.o;build"}};
    EXPECT_EQ(store.writes, expected);
}

std::string Printable(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(' ' + i % 95);
    return text;
}

TEST(ScramblePassword, KeyIsEightyBytesFromOneToThirtyOne) {
    // Scrambling zero bytes exposes the key itself.
    std::string zeros(kScrambleKeyLength, '\0');
    ScramblePassword(zeros);
    for (std::size_t i = 0; i < zeros.size(); ++i) {
        EXPECT_GE(zeros[i], 1) << i;
        EXPECT_LE(zeros[i], 31) << i;
    }
}

TEST(ScramblePassword, PrintableTextStaysPrintableAndComesBack) {
    struct Case {
        std::size_t length;
        std::size_t scrambled;  // leading characters changed by the key
    };
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{80, 80}, Case{83, 80}, Case{200, 80}}) {
        const std::string plain = Printable(c.length);
        std::string text = plain;
        EXPECT_EQ(ScramblePassword(text), c.length);
        ASSERT_EQ(text.size(), c.length);
        for (std::size_t i = 0; i < c.length; ++i) {
            auto ch = static_cast<unsigned char>(text[i]);
            EXPECT_GE(ch, 32u) << i;
            EXPECT_LE(ch, 127u) << i;
            if (i < c.scrambled) {
                EXPECT_NE(text[i], plain[i]) << i;
            } else {
                EXPECT_EQ(text[i], plain[i]) << "kept unscrambled at " << i;
            }
        }
        EXPECT_EQ(ScramblePassword(text), c.length);
        EXPECT_EQ(text, plain);
    }
}

TEST(ScramblePassword, LongPasswordRoundTripsThroughTheStore) {
    for (std::size_t length : {83u, 200u}) {
        RecordingStore store;
        AppSettings s = SampleSettings();
        s.context.password = Printable(length);
        SaveSettings(store, s, "/opt/qvr");
        EXPECT_EQ(store.Stored("Pswd").size(), length);
        EXPECT_EQ(LoadSettings(store, kPaths).context.password, s.context.password) << length;
    }
}

TEST(ScramblePassword, BytesAboveSevenBitsAreKept) {
    const std::string plain = "p\xC3\xA4ss\xE2\x82\xAC";  // UTF-8 letters among ASCII ones
    std::string text = plain;
    ScramblePassword(text);
    EXPECT_EQ(text.substr(1, 2), "\xC3\xA4");
    EXPECT_EQ(text.substr(5), "\xE2\x82\xAC");
    ScramblePassword(text);
    EXPECT_EQ(text, plain);
}

TEST(EditTextLimit, CountsCharactersAndNeverCutsOne) {
    const std::string e = "\xC3\xA9";
    const std::string sun = "\xE6\x97\xA5";
    const std::string face = "\xF0\x9F\x98\x80";
    const auto times = [](const std::string& text, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += text;
        return out;
    };
    struct Case {
        const char* name;
        std::string text;
        std::size_t characters;
        std::string limited;
    };
    const Case cases[] = {
        {"empty", "", 0, ""},
        {"ASCII", std::string(300, 'a'), 300, std::string(254, 'a')},
        {"two-byte letters at an odd byte", "a" + times(e, 300), 301, "a" + times(e, 253)},
        {"three-byte letters", times(sun, 300), 300, times(sun, 254)},
        {"four-byte letters", "ab" + times(face, 300), 302, "ab" + times(face, 252)},
        {"exactly the limit", times(sun, 254), 254, times(sun, 254)},
        // Bytes that are not UTF-8 count one each, as single-byte text.
        {"Latin-1 bytes", std::string(300, '\xE9'), 300, std::string(254, '\xE9')},
        {"a sequence cut short", std::string(253, 'a') + "\xE6\x97", 255, std::string(253, 'a') + "\xE6"},
        {"stray continuation bytes", "\x80\x80" + sun, 3, "\x80\x80" + sun},
        {"overlong lead", "\xC0\xAF", 2, "\xC0\xAF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CharacterCount(c.text), c.characters);
        EXPECT_EQ(LimitToEditText(c.text), c.limited);
    }
}

}  // namespace
}  // namespace qvr
