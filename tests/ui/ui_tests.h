#pragma once
// The widget test classes run by ui_tests.

#include <QObject>

namespace qvr::testing {

class ReportCtrlTest : public QObject {
    Q_OBJECT
private slots:
    void columnSpecShapesTheView_data();
    void columnSpecShapesTheView();
    void colourConversionAndShading_data();
    void colourConversionAndShading();
    void colourRectanglesAndOutOfRange();
    void headerClicksToggleDirection();
    void sortKeepsSelectionAndColours();
    void modelPassesTheTester();
    void insertsAreCoalesced();
    void leftClickPostsOncePerSelectedRow();
    void keysF3AndSpace();
};

class QvrCompareDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startupState();
    void controlsCarryTheirIdsAndTexts_data();
    void controlsCarryTheirIdsAndTexts();
    void displayTogglesAreManual_data();
    void displayTogglesAreManual();
    void clearListLeavesOnlyBlankRows();
    void runLocksControls_data();
    void runLocksControls();
    void blinkTimerAlternates();
    void clickHighlightsAndRestores();
    void doubleClickOpensDiffOnlyForAMatch();
    void findNextFollowsTheActiveList();
    void folderChooser();
    void aboutCommand();
    void exitSavesEditsAndCloses();
    void editTextsKeepWholeCharacters_data();
    void editTextsKeepWholeCharacters();
};

}  // namespace qvr::testing
