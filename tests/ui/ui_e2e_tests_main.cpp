#include <QApplication>
#include <QTest>

#include "workflow_e2e_test.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qvr::testing::WorkflowE2eTest test;
    return QTest::qExec(&test, argc, argv) == 0 ? 0 : 1;
}
