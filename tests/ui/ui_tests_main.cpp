#include <QApplication>
#include <QTest>

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
    return failures == 0 ? 0 : 1;
}
