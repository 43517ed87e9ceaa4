#include <QApplication>
#include <QTest>

#include "list_tools_tests.h"
#include "ui_tests.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    {
        qvr::testing::ReportCtrlTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::QvrCompareDlgTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::FindTopDlgTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::CommandSettingsDlgTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::ListExportTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::ViewerMenusTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::ViewerCommandsTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        qvr::testing::WindowListToolsTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
