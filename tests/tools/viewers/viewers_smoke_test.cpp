// The three viewers as the program meets them: real child processes started
// with an explicit argument list (no shell), rendering off screen. Plus the
// editor's and the difference viewer's windows driven in this process, where
// keystrokes and saved bytes can be checked.

#include "tools/viewers/diff_window.h"
#include "tools/viewers/editor_window.h"
#include "tools/viewers/hex_view.h"
#include "tools/viewers/line_diff.h"
#include "tools/viewers/viewer_app.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QFile>
#include <QImage>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct RunResult {
    int exitCode = -1;
    QString err;
};

RunResult RunViewer(const QString& program, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit) return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return {};
    return path;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray NumberedLines(int count, int changeEvery) {
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        text += (changeEvery > 0 && i % changeEvery == 0) ? QByteArray("changed ") : QByteArray("line ");
        text += QByteArray::number(i) + '\n';
    }
    return text;
}

// Answers the next modal message box with button, as a user would.
void AnswerNextMessageBox(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            AnswerNextMessageBox(button);  // not open yet: look again
            return;
        }
        box->button(button)->click();
    });
}

qvr::viewers::ViewerApp& InProcessApp() {
    static qvr::viewers::ViewerApp app(*qobject_cast<QApplication*>(QCoreApplication::instance()),
                                       QStringLiteral("CrystalEdit"), {QStringLiteral("FILE")});
    return app;
}

}  // namespace

class ViewersSmokeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void screenshot_data();
    void screenshot();
    void unreadableFile_data();
    void unreadableFile();
    void wrongArgumentCount_data();
    void wrongArgumentCount();
    void editorOnNewFileCreatesNothingUntilSaved();
    void hexViewerOpensHugeFileWithoutReadingIt();
    void editorSavesFilesByteForByte_data();
    void editorSavesFilesByteForByte();
    void editorKeepsCrLfForTypedLines();
    void editorCreatesNewFileOnSave();
    void editorAsksBeforeLosingChanges_data();
    void editorAsksBeforeLosingChanges();
    void diffWindowStepsThroughDifferences();
    void hexViewShowsTheOffsetGoneTo_data();
    void hexViewShowsTheOffsetGoneTo();

private:
    QTemporaryDir m_dir;
};

void ViewersSmokeTest::screenshot_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("files");
    const QString left = WriteFile(m_dir, QStringLiteral("left file.txt"), "alpha\nbeta\ngamma\n");
    const QString right = WriteFile(m_dir, QStringLiteral("right \"quoted\" ;$x.txt"), "alpha\r\nBETA\r\ngamma\r\ndelta\r\n");
    const QString big1 = WriteFile(m_dir, QStringLiteral("big1.txt"), NumberedLines(100000, 0));
    const QString big2 = WriteFile(m_dir, QStringLiteral("big2.txt"), NumberedLines(100000, 9973));
    const QString binary = WriteFile(m_dir, QStringLiteral("binary.bin"), QByteArray("\x00\x01\x02\xFFhello\r\n", 11).repeated(100));
    const QString empty = WriteFile(m_dir, QStringLiteral("empty.txt"), QByteArray());
    QTest::newRow("Windiff") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{left, right};
    QTest::newRow("Windiff large") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{big1, big2};
    QTest::newRow("Windiff empty") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{empty, left};
    QTest::newRow("CrystalEdit") << QStringLiteral(QVR_CRYSTALEDIT_EXE) << QStringList{right};
    QTest::newRow("CrystalEdit binary") << QStringLiteral(QVR_CRYSTALEDIT_EXE) << QStringList{binary};
    QTest::newRow("HexViewer") << QStringLiteral(QVR_HEXVIEWER_EXE) << QStringList{binary};
    QTest::newRow("HexViewer empty") << QStringLiteral(QVR_HEXVIEWER_EXE) << QStringList{empty};
}

void ViewersSmokeTest::screenshot() {
    QFETCH(QString, program);
    QFETCH(QStringList, files);
    const QString png = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".png");
    const QByteArray before = ReadFile(files.last());
    RunResult result = RunViewer(program, files + QStringList{QStringLiteral("--screenshot"), png});
    QCOMPARE(result.exitCode, 0);
    QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 200 && image.height() > 200);
    // Looking at a file never changes it.
    QCOMPARE(ReadFile(files.last()), before);
}

void ViewersSmokeTest::unreadableFile_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("culprit");
    const QString present = WriteFile(m_dir, QStringLiteral("present.txt"), "text\n");
    const QString missing = m_dir.filePath(QStringLiteral("no such file.txt"));
    const QString folder = m_dir.path();
    QTest::newRow("Windiff left missing") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{missing, present} << missing;
    QTest::newRow("Windiff right missing") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{present, missing} << missing;
    QTest::newRow("Windiff folder") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{present, folder} << folder;
    QTest::newRow("HexViewer missing") << QStringLiteral(QVR_HEXVIEWER_EXE) << QStringList{missing} << missing;
    QTest::newRow("HexViewer folder") << QStringLiteral(QVR_HEXVIEWER_EXE) << QStringList{folder} << folder;
    QTest::newRow("CrystalEdit folder") << QStringLiteral(QVR_CRYSTALEDIT_EXE) << QStringList{folder} << folder;
}

void ViewersSmokeTest::unreadableFile() {
    QFETCH(QString, program);
    QFETCH(QStringList, files);
    QFETCH(QString, culprit);
    const QString png = m_dir.filePath(QStringLiteral("never.png"));
    // Without --screenshot: the offscreen platform alone must keep the error
    // out of a dialog, or this would hang until the timeout.
    RunResult result = RunViewer(program, files);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(culprit), qPrintable(result.err));
    result = RunViewer(program, files + QStringList{QStringLiteral("--screenshot"), png});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!QFile::exists(png));
}

void ViewersSmokeTest::wrongArgumentCount_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("Windiff one file") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{QStringLiteral("a")};
    QTest::newRow("Windiff none") << QStringLiteral(QVR_WINDIFF_EXE) << QStringList{};
    QTest::newRow("CrystalEdit two files") << QStringLiteral(QVR_CRYSTALEDIT_EXE) << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("HexViewer none") << QStringLiteral(QVR_HEXVIEWER_EXE) << QStringList{};
}

void ViewersSmokeTest::wrongArgumentCount() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    RunResult result = RunViewer(program, args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(QStringLiteral("Usage: ")), qPrintable(result.err));
}

void ViewersSmokeTest::editorOnNewFileCreatesNothingUntilSaved() {
    const QString path = m_dir.filePath(QStringLiteral("not yet.txt"));
    RunResult result = RunViewer(QStringLiteral(QVR_CRYSTALEDIT_EXE),
                                 {path, QStringLiteral("--screenshot"), m_dir.filePath(QStringLiteral("new.png"))});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!QFile::exists(path));
}

void ViewersSmokeTest::hexViewerOpensHugeFileWithoutReadingIt() {
    // A sparse file of 1 GiB: no disk space, and reading it whole would be
    // far too slow for the timeout.
    const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(1) << 30));
    file.close();
    RunResult result = RunViewer(QStringLiteral(QVR_HEXVIEWER_EXE),
                                 {path, QStringLiteral("--screenshot"), m_dir.filePath(QStringLiteral("huge.png"))});
    QCOMPARE(result.exitCode, 0);
}

void ViewersSmokeTest::editorSavesFilesByteForByte_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("LF") << QByteArray("one\ntwo\n");
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n\r\n");
    QTest::newRow("no final line end") << QByteArray("one\r\ntwo");
    QTest::newRow("tabs and blanks") << QByteArray("\tindent  \n  \n");
    QTest::newRow("UTF-8 nbsp and BOM") << QByteArray("\xEF\xBB\xBF" "a\xC2\xA0" "b\r\n");
    QTest::newRow("Latin-1 nbsp") << QByteArray("caf\xE9\xA0!\n");
    QTest::newRow("lone CR") << QByteArray("a\rb\r\nc\r\n");
    QTest::newRow("only line ends") << QByteArray("\n\n\n");
    QTest::newRow("NUL and control bytes") << QByteArray("\x00\x01\x02\xFFhello\r\n\x1B[0m\x7F", 15);
}

void ViewersSmokeTest::editorSavesFilesByteForByte() {
    QFETCH(QByteArray, bytes);
    const QString path = WriteFile(m_dir, QStringLiteral("roundtrip.txt"), bytes);
    qvr::viewers::EditorWindow editor(InProcessApp(), path);
    QVERIFY(editor.Load());
    QVERIFY(editor.Save());
    QCOMPARE(ReadFile(path), bytes);
}

void ViewersSmokeTest::editorKeepsCrLfForTypedLines() {
    const QString path = WriteFile(m_dir, QStringLiteral("typed.txt"), "first\r\nsecond\r\n");
    qvr::viewers::EditorWindow editor(InProcessApp(), path);
    QVERIFY(editor.Load());
    auto* edit = editor.findChild<QPlainTextEdit*>();
    QVERIFY(edit);
    QVERIFY(!editor.isWindowModified());
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, QStringLiteral("third"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(editor.isWindowModified());
    // Ctrl+S is a window shortcut: it needs the window shown and active.
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!editor.isWindowModified());
    QCOMPARE(ReadFile(path), QByteArray("first\r\nsecond\r\nthird\r\n"));
}

void ViewersSmokeTest::editorCreatesNewFileOnSave() {
    const QString path = m_dir.filePath(QStringLiteral("created.txt"));
    qvr::viewers::EditorWindow editor(InProcessApp(), path);
    QVERIFY(editor.Load());
    QVERIFY(!QFile::exists(path));
    auto* edit = editor.findChild<QPlainTextEdit*>();
    QTest::keyClicks(edit, QStringLiteral("hello"));
    QVERIFY(editor.Save());
    QCOMPARE(ReadFile(path), QByteArray("hello"));
}

void ViewersSmokeTest::editorAsksBeforeLosingChanges_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("fileAfter");
    QTest::newRow("Save") << int(QMessageBox::Save) << true << QByteArray("edited\r\n");
    QTest::newRow("Discard") << int(QMessageBox::Discard) << true << QByteArray("original\r\n");
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << false << QByteArray("original\r\n");
}

void ViewersSmokeTest::editorAsksBeforeLosingChanges() {
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(QByteArray, fileAfter);
    const QString path = WriteFile(m_dir, QStringLiteral("ask.txt"), "original\r\n");
    qvr::viewers::EditorWindow editor(InProcessApp(), path);
    QVERIFY(editor.Load());
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    auto* edit = editor.findChild<QPlainTextEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("edited"));
    QTest::keyClick(edit, Qt::Key_Return);
    AnswerNextMessageBox(static_cast<QMessageBox::StandardButton>(answer));
    QCOMPARE(editor.close(), closed);
    QCOMPARE(ReadFile(path), fileAfter);
}

void ViewersSmokeTest::diffWindowStepsThroughDifferences() {
    using qvr::viewers::SplitLines;
    qvr::viewers::DiffWindow window(QStringLiteral("l"), QStringLiteral("r"), SplitLines("a\nb\nc\nd\ne\n"),
                                    SplitLines("a\nB\nc\nd\nE\nf\n"));
    QCOMPARE(window.DifferenceCount(), std::size_t(2));
    auto* table = window.findChild<QTableView*>();
    QVERIFY(table);
    QAbstractItemModelTester tester(table->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(table->model()->rowCount(), 6);
    QCOMPARE(table->model()->index(5, 3).data().toString(), QStringLiteral("f"));
    QVERIFY(!table->model()->index(5, 1).data().isValid());  // the left file has no sixth line
    window.NextDifference();
    QCOMPARE(table->currentIndex().row(), 1);
    window.NextDifference();
    QCOMPARE(table->currentIndex().row(), 4);
    window.NextDifference();  // wraps to the first
    QCOMPARE(table->currentIndex().row(), 1);
    window.PreviousDifference();  // wraps to the last
    QCOMPARE(table->currentIndex().row(), 4);
    window.PreviousDifference();
    QCOMPARE(table->currentIndex().row(), 1);
}

void ViewersSmokeTest::hexViewShowsTheOffsetGoneTo_data() {
    QTest::addColumn<qint64>("size");
    QTest::newRow("small") << qint64(3000);
    QTest::newRow("1 GiB") << (qint64(1) << 30);
    // Beyond 16 GiB one scroll-bar step is more than one row.
    QTest::newRow("40 GiB") << (qint64(40) << 30);
    QTest::newRow("2 TiB") << (qint64(2) << 40);
}

void ViewersSmokeTest::hexViewShowsTheOffsetGoneTo() {
    QFETCH(qint64, size);
    const QString path = m_dir.filePath(QStringLiteral("sparse.bin"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (!file.resize(size)) QSKIP("the file system cannot hold a sparse file this size");
    }
    qvr::viewers::HexView view;
    QVERIFY(view.Open(path));
    QCOMPARE(view.FileSize(), std::uint64_t(size));
    view.resize(700, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const auto visible = std::uint64_t(view.VisibleRows());
    const std::uint64_t rows = (std::uint64_t(size) + 15) / 16;
    for (std::uint64_t offset : {std::uint64_t(size) - 1, std::uint64_t(size) / 2 + 5, std::uint64_t(17), std::uint64_t(0)}) {
        view.GoToOffset(offset);
        QCOMPARE(view.MarkedOffset(), std::optional<std::uint64_t>(offset));
        const std::uint64_t row = offset / 16;
        QVERIFY2(view.FirstVisibleRow() <= row && row < view.FirstVisibleRow() + visible,
                 qPrintable(QStringLiteral("offset %1 first row %2").arg(offset).arg(view.FirstVisibleRow())));
    }
    // The end of the scroll bar shows the last row.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    QVERIFY(view.FirstVisibleRow() + visible >= rows);
    QVERIFY(view.FirstVisibleRow() < rows);
    view.verticalScrollBar()->setValue(0);
    QCOMPARE(view.FirstVisibleRow(), std::uint64_t(0));
    QFile::remove(path);
}

int main(int argc, char* argv[]) {
    // Real widgets without a display; set before the application starts.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ViewersSmokeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewers_smoke_test.moc"
