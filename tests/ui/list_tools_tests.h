#pragma once
// Widget and command tests of the list tools: Find, the command settings
// dialog, export, the viewers' context menus and the viewer commands.

#include <QObject>

namespace qvr::testing {

class FindTopDlgTest : public QObject {
    Q_OBJECT
private slots:
    void controlsAndHiddenDefaults();
    void findButtonFollowsTheText();
    void okRemembersTheTextAsTyped();
    void cancelKeepsEverything();
    void findSelectsAndScrolls_data();
    void findSelectsAndScrolls();
};

class CommandSettingsDlgTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheTemplates();
    void resetChoosesByPackage_data();
    void resetChoosesByPackage();
    void resetThenCancelChangesNothing();
    void okSavesAllFiveAtOnce();
    void longTemplatesAreCut();
};

class ListExportTest : public QObject {
    Q_OBJECT
private slots:
    void exportsTheColumnsTheViewShows();
    void blankListIsNotExported();
};

class ViewerMenusTest : public QObject {
    Q_OBJECT
private slots:
    void menusCarryTheirItems_data();
    void menusCarryTheirItems();
};

class ViewerCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void commandLines_data();
    void commandLines();
    void newFilesAreRefused_data();
    void newFilesAreRefused();
    void diffViewerFindsTheCounterpart();
    void noFocusedRowDoesNothing();
    void topRowsAreCheckedOutOnDemand_data();
    void topRowsAreCheckedOutOnDemand();
    void editorRefreshesTheRow_data();
    void editorRefreshesTheRow();
    void viewersStartAsRealPrograms();
    void defaultDiffViewerStartsFromAFolderWithABlank();
};

class WindowListToolsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void findButtonsShareTheText();
    void exportButtonsWriteTheirList();
    void regSettingsSavesAtOnce();
    void contextMenusFollowTheLists();
    void doubleClickStartsTheDiffViewer();
};

}  // namespace qvr::testing
