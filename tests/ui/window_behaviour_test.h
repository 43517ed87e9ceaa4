#pragma once
// The main window driven as a desktop user drives it.

#include <QObject>

namespace qvr::testing {

class WindowBehaviourTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void doubleClickOpensOneViewerWithoutPumping();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void enterInTheCommandSettingsDialog_data();
    void enterInTheCommandSettingsDialog();
    void arrowAndPageKeysAfterClickFindAndRefresh_data();
    void arrowAndPageKeysAfterClickFindAndRefresh();
    void tabOrder();
    void f1OpensTheAboutBox();
    void clearListLeavesOnlyBlankRows_data();
    void clearListLeavesOnlyBlankRows();
    void userColumnWidthsSurviveRefreshesAndExport();
    void rightClickPicksTheRowForTheMenu();
    void findShowsItsHit_data();
    void findShowsItsHit();
    void sortIndicatorFollowsHeaderClicks();
    void countBoxesFollowALongRun_data();
    void countBoxesFollowALongRun();
    void clickHighlightsTheClassifiersCounterpart();
    void clickRightAfterASortFindsTheFirstTiedRow();
    void editorRowRefreshedWhenTheEditorCloses();
    void tempDirectoryBoxIsUsedAndChooserCancelKeepsBoxes();
    void saveDialogStartFolder_data();
    void saveDialogStartFolder();
    void saveDialogOpensWithoutAFileName();
    void messageBoxesAreRaisedNotOnTopAndShowNoWaitCursor();
    void windowFitsSmallScreens_data();
    void windowFitsSmallScreens();
    void sizeAndPlaceAreRemembered();
    void listsFollowADarkPalette();
    void listsFollowAPaletteChangeWhileOpen();
};

}  // namespace qvr::testing
