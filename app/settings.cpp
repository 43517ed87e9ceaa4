#include "app/settings.h"

#include <array>
#include <climits>
#include <cstdint>

#include "app/platform.h"

namespace qvr {
namespace {

// Fixed for good: passwords stored by this program unscramble only with
// this very table.
constexpr std::array<std::uint8_t, kScrambleKeyLength> kScrambleKey = {
    25, 1,  3,  9,  17, 30, 4,  1,  5,  21, 8,  22, 22, 17, 13, 28,
    21, 14, 25, 24, 13, 6,  27, 29, 5,  3,  10, 1,  8,  13, 21, 21,
    6,  29, 25, 23, 2,  15, 16, 8,  10, 13, 10, 16, 3,  28, 2,  8,
    3,  2,  10, 15, 20, 31, 12, 11, 1,  31, 30, 17, 3,  30, 4,  2,
    22, 3,  21, 20, 27, 1,  26, 7,  8,  27, 18, 30, 12, 9,  28, 4,
};

constexpr const char* kVlxFmt =
    R"(vlx -b "%s" -en "%s" -st "%s" -vp \ -usr %s -pw %s -iv lv -s "*" -o vlx.log)";
constexpr const char* kVgtFmt =
    R"(vgt "%s" -b "%s" -en "%s" -st "%s" -vp \ -br -nvs -r -op pc -cp "%s" -usr %s -pw %s -o vgt.log)";
constexpr const char* kPackageOption = R"( -p "%s" )";
constexpr const char* kVqryFmt = R"(vqry -b "%s" -usr %s -pw %s -t -f "%s" -o "%s")";
constexpr const char* kSqlFmt =
    "select envobjid from QVRENVIRONMENT where ENVIRONMENTNAME = '%s'";
constexpr const char* kDiffArguments = R"( "%s" "%s")";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A text setting: the stored value when there is one, else what the field
// held before (its default).
void LoadText(const IProfileStore& store, const char* key, std::string& field) {
    std::string stored = store.GetProfileString(kSettingsSection, key, field);
    if (!stored.empty()) field = std::move(stored);
}

int LoadNumber(const IProfileStore& store, const char* key, const char* def) {
    return DecimalTextToInt(store.GetProfileString(kSettingsSection, key, def));
}

void LoadContext(const IProfileStore& store, ScmContext& context) {
    LoadText(store, "UserId", context.userId);
    LoadText(store, "Pswd", context.password);
    LoadText(store, "Broker", context.broker);
    LoadText(store, "Project", context.project);
    LoadText(store, "State", context.state);
    LoadText(store, "Package", context.package);
}

// The local path given on the command line wins over the remembered one for
// this run only; what is saved at exit is what the window then holds.
void LoadLocalPath(const IProfileStore& store, const SettingsPaths& paths,
                   ScmContext& context) {
    LoadText(store, "LocalPath", context.localPath);
    if (!paths.commandLineLocalPath.empty()) context.localPath = paths.commandLineLocalPath;
}

void LoadDisplayOptions(const IProfileStore& store, DisplayOptions& display) {
    display.showNewFiles = LoadNumber(store, "ShowNewFiles", "0");
    display.showSameFiles = LoadNumber(store, "ShowSameFiles", "0");
    display.showDiffFiles = LoadNumber(store, "ShowDiffFiles", "0");
    display.subFolders = LoadNumber(store, "SubFolders", "1");
    display.showMissingFiles = LoadNumber(store, "ShowMissingFiles", "0");
}

// The listing and checkout defaults depend on the package just loaded.
void LoadToolTemplates(const IProfileStore& store, const std::string& package,
                       CommandTemplates& templates) {
    bool withPackage = !package.empty();
    templates.vlxFmt = DefaultVlxFmt(withPackage);
    templates.vgtFmt = DefaultVgtFmt(withPackage);
    LoadText(store, "VlxFmt", templates.vlxFmt);
    LoadText(store, "VgtFmt", templates.vgtFmt);
    templates.vqryFmt = DefaultVqryFmt();
    LoadText(store, "VqryFmt", templates.vqryFmt);
    templates.sqlFmt = DefaultSqlFmt();
    LoadText(store, "SqlFmt", templates.sqlFmt);
    LoadText(store, "RepoFolder", templates.repoFolder);
    LoadText(store, "ExcludePatterns", templates.excludePatterns);
}

void WriteText(IProfileStore& store, const char* key, std::string_view value) {
    store.WriteProfileString(kSettingsSection, key, value);
}

void WriteNumber(IProfileStore& store, const char* key, int value) {
    WriteText(store, key, std::to_string(value));
}

}  // namespace

std::string DefaultVlxFmt(bool withPackage) {
    std::string fmt = kVlxFmt;
    if (withPackage) fmt += kPackageOption;
    return fmt;
}

std::string DefaultVgtFmt(bool withPackage) {
    std::string fmt = kVgtFmt;
    if (withPackage) fmt += kPackageOption;
    return fmt;
}

std::string DefaultVqryFmt() { return kVqryFmt; }

std::string DefaultSqlFmt() { return kSqlFmt; }

// The viewer's path as the first word of a command template: a "%" stands as
// "%%" so filling the template keeps it, and a path with a blank or a quote
// (a home folder "John Doe") is quoted so it stays one word. Windows finds a
// program in a folder with blanks by itself and keeps its plain form.
namespace {
std::string ProgramWordOf(const std::string& path) {
    if constexpr (platform::kIsWindows) return path;
    std::string word;
    bool quote = false;
    for (char c : path) {
        if (c == '%') word += '%';
        if (c == '"') word += '"';
        quote = quote || c == ' ' || c == '\t' || c == '"';
        word += c;
    }
    return quote ? '"' + word + '"' : word;
}
}  // namespace

std::string DefaultDiffPgm(std::string_view installDir, std::string_view searchPath) {
    const std::string viewer = platform::ExecutableName("Windiff");
    const std::string inInstallDir = platform::JoinPath(installDir, viewer);
    if (!platform::IsExecutableFile(inInstallDir) && platform::IsProgramOnSearchPath(viewer, searchPath)) {
        return viewer + kDiffArguments;
    }
    return ProgramWordOf(inInstallDir) + kDiffArguments;
}

CommandTemplates DefaultTemplates(std::string_view package, std::string_view installDir) {
    bool withPackage = !package.empty();
    return {DefaultVlxFmt(withPackage), DefaultVgtFmt(withPackage), DefaultVqryFmt(),
            DefaultSqlFmt(), DefaultDiffPgm(installDir), {}, {}};
}

namespace {
// Length of the character that starts at text[at]: its UTF-8 sequence when
// that is well formed, else the single byte.
std::size_t CharacterLengthAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (at + length > text.size()) return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

// Bytes taken by the first count characters of text.
std::size_t BytesOfCharacters(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n) at += CharacterLengthAt(text, at);
    return at;
}
}  // namespace

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += CharacterLengthAt(text, at)) ++count;
    return count;
}

std::string LimitToEditText(std::string_view text) {
    return std::string(text.substr(0, BytesOfCharacters(text, kEditTextLimit)));
}

std::size_t ScramblePassword(std::string& text) {
    for (std::size_t i = 0; i < text.size() && i < kScrambleKeyLength; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        // Scrambling keeps seven bits; an eighth would be lost for good.
        if (c & 0x80) continue;
        text[i] = static_cast<char>((c ^ kScrambleKey[i]) & 0x7F);
    }
    return text.size();
}

int DecimalTextToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(INT_MAX) + 1) break;  // saturated either way
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

AppSettings LoadSettings(const IProfileStore& store, const SettingsPaths& paths) {
    AppSettings settings;
    LoadContext(store, settings.context);
    settings.templates.diffPgm = DefaultDiffPgm(paths.installDir, paths.programSearchPath);
    LoadText(store, "DiffPgm", settings.templates.diffPgm);
    // "TempPath" is only ever written: every run starts in the program's own
    // temporary directory.
    settings.context.tempPath = paths.tempDir;
    LoadLocalPath(store, paths, settings.context);
    LoadDisplayOptions(store, settings.display);
    ScramblePassword(settings.context.password);
    LoadToolTemplates(store, settings.context.package, settings.templates);
    return settings;
}

void SaveSettings(IProfileStore& store, const AppSettings& settings, std::string_view installDir) {
    const ScmContext& context = settings.context;
    std::string scrambled = context.password;
    ScramblePassword(scrambled);

    WriteText(store, "INSTALLDIR", installDir);
    WriteText(store, "UserId", context.userId);
    WriteText(store, "Pswd", scrambled);
    WriteText(store, "Broker", context.broker);
    WriteText(store, "Project", context.project);
    WriteText(store, "State", context.state);
    WriteText(store, "Package", context.package);
    WriteText(store, "TempPath", context.tempPath);
    WriteText(store, "LocalPath", context.localPath);
    const CommandTemplates& templates = settings.templates;
    WriteText(store, "DiffPgm", templates.diffPgm);
    WriteText(store, "VlxFmt", templates.vlxFmt);
    WriteText(store, "VgtFmt", templates.vgtFmt);
    WriteText(store, "VqryFmt", templates.vqryFmt);
    WriteText(store, "SqlFmt", templates.sqlFmt);
    WriteText(store, "RepoFolder", templates.repoFolder);
    WriteText(store, "ExcludePatterns", templates.excludePatterns);
    const DisplayOptions& display = settings.display;
    WriteNumber(store, "ShowNewFiles", display.showNewFiles);
    WriteNumber(store, "ShowDiffFiles", display.showDiffFiles);
    WriteNumber(store, "ShowSameFiles", display.showSameFiles);
    WriteNumber(store, "SubFolders", display.subFolders);
    WriteNumber(store, "ShowMissingFiles", display.showMissingFiles);
}

void SaveCommandTemplates(IProfileStore& store, const CommandTemplates& templates) {
    WriteText(store, "VlxFmt", templates.vlxFmt);
    WriteText(store, "VgtFmt", templates.vgtFmt);
    WriteText(store, "VqryFmt", templates.vqryFmt);
    WriteText(store, "SqlFmt", templates.sqlFmt);
    WriteText(store, "DiffPgm", templates.diffPgm);
    WriteText(store, "RepoFolder", templates.repoFolder);
    WriteText(store, "ExcludePatterns", templates.excludePatterns);
}

}  // namespace qvr
