#pragma once
// The two workflows through the real main window, offscreen, with the
// stand-in tools as real child processes.

#include <QObject>
#include <memory>

namespace qvr::testing {

class WorkflowE2eTest : public QObject {
    Q_OBJECT
public:
    WorkflowE2eTest();
    ~WorkflowE2eTest() override;

private slots:
    void init();
    void cleanup();
    void populateFillsTheTopListSortedByPath();
    void populateFailures_data();
    void populateFailures();
    void brokerCheckRepaintsWhileItWaits();
    void reportListsNewSameAndDiff();
    void reportOfNewFilesOnlyRunsNoCheckout();
    void newFileNamedElsewhereIsTracedOnEveryReport();
    void typedLocalPathBecomesAbsolute_data();
    void typedLocalPathBecomesAbsolute();
    void cancelWhileTheListingToolRuns();
    void cancelDuringPostingKeepsThePostedRows();
    void cancelOrExitDuringTheBrokerCheck_data();
    void cancelOrExitDuringTheBrokerCheck();
    void reportsTakeTheBoxesAsTheyAreAtEachStart();
    void helpAndVersionPrintAndEnd_data();
    void helpAndVersionPrintAndEnd();
    void unreadableCopyEndsTheReport();
    void missingToolIsReported();
    void exitDuringTheCheckoutEndsTheTool();
    void finishedViewersAreReapedAtOnce();

private:
    struct World;
    std::unique_ptr<World> m_world;
};

}  // namespace qvr::testing
