// qvr-demo-settings: writes a settings profile for the demo the way the
// window saves its own (same store, same keys, the password scrambled), and
// the install directory into QvrCompare.ini, so the window and the headless
// front end open on the demo context. It writes to the store of the current
// XDG_CONFIG_HOME: the demo points that at its own folder.

#include <cstdio>
#include <map>
#include <string>

#include "app/ini_file.h"
#include "app/platform.h"
#include "app/settings.h"
#include "app/startup.h"
#include "settings_qt/qsettings_profile_store.h"

namespace {

constexpr const char* kUsage =
    "usage: qvr-demo-settings --install-dir DIR --broker B --user U --password P --project P\n"
    "                         --state S [--package K] --local DIR\n";

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> values;
    for (int i = 1; i + 1 < argc; i += 2) values[argv[i]] = argv[i + 1];
    for (const char* required :
         {"--install-dir", "--broker", "--user", "--password", "--project", "--state", "--local"}) {
        if (argc % 2 == 0 || values[required].empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    const std::string installDir = values["--install-dir"];
    qvr::AppSettings settings;
    qvr::ScmContext& context = settings.context;
    context.broker = values["--broker"];
    context.userId = values["--user"];
    context.password = values["--password"];
    context.project = values["--project"];
    context.state = values["--state"];
    context.package = values["--package"];
    context.tempPath = qvr::platform::JoinPath(installDir, "Temp");
    context.localPath = values["--local"];
    settings.templates = qvr::DefaultTemplates(context.package, installDir);
    settings.display = qvr::DisplayOptions{1, 1, 1, 1};

    qvr::QSettingsProfileStore store;
    qvr::SaveSettings(store, settings, installDir);
    store.Flush();
    const std::string ini = qvr::platform::JoinPath(qvr::platform::ConfigDirectory(), qvr::kInstallDirIniName);
    if (!qvr::WriteIniValue(ini, qvr::kSettingsSection, "INSTALLDIR", installDir)) {
        std::fprintf(stderr, "qvr-demo-settings: cannot write %s\n", ini.c_str());
        return 1;
    }
    std::printf("settings: %s\ninstall directory: %s\n", store.Location().toLocal8Bit().constData(), ini.c_str());
    return 0;
}
