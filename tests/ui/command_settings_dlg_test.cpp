#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/platform.h"
#include "list_tools_tests.h"
#include "ui/command_settings_dlg.h"

namespace qvr::testing {
namespace {

CommandTemplates Stored() {
    return {"vlx %s", "vgt %s", "vqry %s", "select '%s'", "mydiff \"%s\" \"%s\"", "\\server", "*.o;build"};
}

QString Text(const CSettingsDlg& dialog, int id) { return dialog.Edit(id)->text(); }

}  // namespace

void CommandSettingsDlgTest::showsTheTemplates() {
    CSettingsDlg dialog("PKG", Stored(), "/opt/qvr");
    QCOMPARE(dialog.windowTitle(), QString("Registry Settings"));
    QCOMPARE(Text(dialog, 2400), QString("PKG"));
    QCOMPARE(Text(dialog, 2401), QString("vlx %s"));
    QCOMPARE(Text(dialog, 2402), QString("vgt %s"));
    QCOMPARE(Text(dialog, 2403), QString("select '%s'"));
    QCOMPARE(Text(dialog, 2404), QString("vqry %s"));
    QCOMPARE(Text(dialog, 2405), QString("mydiff \"%s\" \"%s\""));
    QCOMPARE(Text(dialog, 2406), QString("\\server"));
    QCOMPARE(Text(dialog, 2407), QString("*.o;build"));
    QVERIFY(dialog.Edit(2400)->isReadOnly());
    for (int id = 2401; id <= 2407; ++id) QVERIFY(!dialog.Edit(id)->isReadOnly());
    QCOMPARE(dialog.findChild<QPushButton*>("2010")->text(), QString("Reset to Defaults"));
    QCOMPARE(dialog.findChild<QPushButton*>("1")->text(), QString("OK"));
    QCOMPARE(dialog.findChild<QPushButton*>("2")->text(), QString("Cancel"));
    const QStringList labels{"Package:",  "VLX Fmt:", "VGT Fmt:",          "SQL Fmt:",
                             "VQRY Fmt:", "Diff Pgm:", "Repository Folder:", "Exclude Patterns:"};
    for (int k = 0; k < labels.size(); ++k) {
        bool found = false;
        for (auto* label : dialog.findChildren<QLabel*>()) {
            if (label->text() == labels[k]) found = label->buddy() == dialog.Edit(2400 + k);
        }
        QVERIFY2(found, qPrintable(labels[k]));
    }
}

void CommandSettingsDlgTest::resetChoosesByPackage_data() {
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("withPackage");
    QTest::newRow("no package") << "" << false;
    QTest::newRow("all packages") << "*" << true;
    QTest::newRow("one package") << "PKG" << true;
}

void CommandSettingsDlgTest::resetChoosesByPackage() {
    QFETCH(QString, package);
    QFETCH(bool, withPackage);
    CSettingsDlg dialog(package.toStdString(), Stored(), "/opt/qvr");
    dialog.findChild<QPushButton*>("2010")->click();
    QCOMPARE(Text(dialog, 2401).toStdString(), DefaultVlxFmt(withPackage));
    QCOMPARE(Text(dialog, 2402).toStdString(), DefaultVgtFmt(withPackage));
    QCOMPARE(Text(dialog, 2403).toStdString(), DefaultSqlFmt());
    QCOMPARE(Text(dialog, 2404).toStdString(), DefaultVqryFmt());
    QCOMPARE(Text(dialog, 2405).toStdString(), DefaultDiffPgm("/opt/qvr", platform::ProgramSearchPath()));
    QCOMPARE(Text(dialog, 2400), package);
    // Not templates: what the report covers stays as it was.
    QCOMPARE(Text(dialog, 2406), QString("\\server"));
    QCOMPARE(Text(dialog, 2407), QString("*.o;build"));
}

void CommandSettingsDlgTest::resetThenCancelChangesNothing() {
    MemoryProfileStore store;
    CommandTemplates templates = Stored();
    const bool accepted = EditCommandTemplates("PKG", templates, "/opt/qvr", store, nullptr, [](QDialog& dialog) {
        dialog.findChild<QPushButton*>("2010")->click();
        dialog.findChild<QPushButton*>("2")->click();
        return dialog.result();
    });
    QVERIFY(!accepted);
    QCOMPARE(templates, Stored());
    for (const char* key : {"VlxFmt", "VgtFmt", "VqryFmt", "SqlFmt", "DiffPgm"}) QVERIFY(!store.Has("Settings", key));
}

void CommandSettingsDlgTest::okSavesAllFiveAtOnce() {
    MemoryProfileStore store;
    CommandTemplates templates = Stored();
    const bool accepted = EditCommandTemplates("", templates, "/opt/qvr", store, nullptr, [](QDialog& dialog) {
        auto& settings = static_cast<CSettingsDlg&>(dialog);
        settings.Edit(2405)->setText("other \"%s\" \"%s\"");
        settings.Edit(2406)->setText("");
        settings.Edit(2407)->setText("node_modules");
        settings.findChild<QPushButton*>("1")->click();
        return dialog.result();
    });
    QVERIFY(accepted);
    CommandTemplates expected = Stored();
    expected.diffPgm = "other \"%s\" \"%s\"";
    expected.repoFolder = "";
    expected.excludePatterns = "node_modules";
    QCOMPARE(templates, expected);
    QCOMPARE(store.GetProfileString("Settings", "RepoFolder", "unset"), std::string());
    QCOMPARE(store.GetProfileString("Settings", "ExcludePatterns", ""), expected.excludePatterns);
    QCOMPARE(store.GetProfileString("Settings", "DiffPgm", ""), expected.diffPgm);
    QCOMPARE(store.GetProfileString("Settings", "VlxFmt", ""), expected.vlxFmt);
    QCOMPARE(store.GetProfileString("Settings", "VgtFmt", ""), expected.vgtFmt);
    QCOMPARE(store.GetProfileString("Settings", "VqryFmt", ""), expected.vqryFmt);
    QCOMPARE(store.GetProfileString("Settings", "SqlFmt", ""), expected.sqlFmt);
}

void CommandSettingsDlgTest::longTemplatesAreCut() {
    MemoryProfileStore store;
    CommandTemplates templates = Stored();
    const std::string longText = std::string(250, 'v') + "%s tail";
    EditCommandTemplates("", templates, "/opt/qvr", store, nullptr, [&](QDialog& dialog) {
        auto& settings = static_cast<CSettingsDlg&>(dialog);
        settings.Edit(2401)->setText(QString::fromStdString(longText));
        settings.Edit(2403)->setText("");  // an empty template is taken as it is
        settings.accept();
        return dialog.result();
    });
    QCOMPARE(templates.vlxFmt, longText.substr(0, 254));
    QCOMPARE(store.GetProfileString("Settings", "VlxFmt", ""), longText.substr(0, 254));
    QCOMPARE(templates.sqlFmt, std::string());
    QVERIFY(store.Has("Settings", "SqlFmt"));
}

}  // namespace qvr::testing
