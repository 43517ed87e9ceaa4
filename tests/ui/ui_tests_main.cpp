#include <QApplication>
#include <QTest>

#include "list_tools_tests.h"
#include "ui_tests.h"
#include "window_behaviour_test.h"

namespace {

// Runs each test class in turn; the run fails when any of them failed.
template <typename... Tests>
int RunAll(int argc, char** argv) {
    int failures = 0;
    auto run = [&](auto test) { failures += QTest::qExec(&test, argc, argv); };
    (run(Tests{}), ...);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace qvr::testing;
    return RunAll<ReportCtrlTest, QvrCompareDlgTest, FindTopDlgTest, CommandSettingsDlgTest,
                  ListExportTest, ViewerMenusTest, ViewerCommandsTest, WindowListToolsTest,
                  WindowBehaviourTest>(argc, argv);
}
