#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/message_pump.h"
#include "compare/classifier.h"
#include "list_tools_tests.h"
#include "scm/scm_bridge.h"
#include "support/recording_message_box_host.h"
#include "support/temp_dir.h"
#include "ui/viewer_commands.h"
#include "support/test_platform.h"

namespace qvr::testing {
namespace {

constexpr const char* kTopSpec =
    "Record,0;File,175;Path,420;Version,50;Tag,50;Datasize,60;Package,150;Creator,125;"
    "Created Date,125;Modifier,125;Modified Date,125;Status,25";

class RecordingViewerServices final : public IViewerServices {
public:
    int LaunchTask(const std::string& commandLine, int foreground) override {
        launches.push_back({commandLine, foreground});
        return 1;
    }
    bool CheckOutForBrowse(const std::string& tempPath, const std::string& item) override {
        checkouts.push_back({tempPath, item});
        if (checkoutSucceeds && onCheckout) onCheckout();
        return checkoutSucceeds;
    }
    void OpenWithDefaultApplication(const std::string& path) override { opened.push_back(path); }
    void BeginWaitCursor() override { ++waitDepth, ++waitCount; }
    void EndWaitCursor() override { --waitDepth; }

    std::vector<std::pair<std::string, int>> launches;
    std::vector<std::pair<std::string, std::string>> checkouts;
    std::vector<std::string> opened;
    bool checkoutSucceeds = true;
    std::function<void()> onCheckout;
    int waitDepth = 0;
    int waitCount = 0;
};

// A temp folder with a local tree and checked-out copies, the two lists and
// the window state the commands read.
struct ViewerFixture {
    TempDir dir;
    ReportTable top;
    ReportTable bottom;
    ScmContext context;
    CommandTemplates templates;
    DisplayOptions display;
    TraceLog trace;
    RecordingMessageBoxHost host;
    NullMessagePump pump;
    RecordingViewerServices services;

    ViewerFixture() : trace((dir / "trace.trc").string()) {
        context.tempPath = (dir / "temp").string();
        context.localPath = (dir / "local").string();
        context.package = "*";
        templates.diffPgm = DefaultDiffPgm("/opt/qvr");
        display.showDiffFiles = 1;
        top.ApplyColumnSpec(kTopSpec);
        bottom.ApplyColumnSpec(kBottomListColumnSpec);
        AddTopRow("other.cpp", "\\Proj\\Lib");
        AddTopRow("Main.cpp", "\\Proj\\Src");
    }
    void AddTopRow(const std::string& file, const std::string& path) {
        const int row = top.InsertItem(top.GetItemCount(), std::to_string(top.GetItemCount() + 1));
        top.SetItemText(row, 1, file);
        top.SetItemText(row, 2, path);
    }
    int AddBottomRow(const std::string& file, const std::string& relativeFolder, const std::string& status) {
        const int row = bottom.InsertItem(bottom.GetItemCount(), std::to_string(bottom.GetItemCount() + 1));
        bottom.SetItemText(row, BottomFile, file);
        bottom.SetItemText(row, BottomPath, context.localPath + "/" + relativeFolder);
        bottom.SetItemText(row, BottomDatasize, "stale");
        bottom.SetItemText(row, BottomDate, "stale");
        bottom.SetItemText(row, BottomStatus, status);
        return row;
    }
    std::string CopyOfMain() const { return context.tempPath + "/Proj/Src/Main.cpp"; }
    std::string LocalMain() const { return context.localPath + "/Src/Main.cpp"; }
    ViewerCommands Commands() {
        return ViewerCommands({top, bottom, context, templates, display, trace, host, pump}, services);
    }
};

}  // namespace

void ViewerCommandsTest::commandLines_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("expected");
    QTest::newRow("editor") << "edit" << "" << "CrystalEdit \"/a b/c.txt\"";
    QTest::newRow("hex viewer") << "hex" << "" << "HexViewer \"/a b/c.txt\"";
    QTest::newRow("quotes placeholders")
        << "diff" << "/opt/qvr/Windiff \"%s\" \"%s\"" << "/opt/qvr/Windiff \"/a b/c.txt\" \"/t/c.txt\"";
    QTest::newRow("text around placeholders")
        << "diff" << "cmp -s \"%s\" \"%s\" --x" << "cmp -s \"/a b/c.txt\" \"/t/c.txt\" --x";
    QTest::newRow("program only") << "diff" << "meld" << "meld \"/a b/c.txt\" \"/t/c.txt\"";
    QTest::newRow("unquoted placeholders") << "diff" << "tool %s %s" << "tool %s %s \"/a b/c.txt\" \"/t/c.txt\"";
}

void ViewerCommandsTest::commandLines() {
    QFETCH(QString, kind);
    QFETCH(QString, program);
    QFETCH(QString, expected);
    const std::string file = "/a b/c.txt";
    std::string line;
    if (kind == "edit") line = EditorCommandLine(file);
    if (kind == "hex") line = HexViewerCommandLine(file);
    if (kind == "diff") line = DiffCommandLine(program.toStdString(), file, "/t/c.txt");
    QCOMPARE(QString::fromStdString(line), expected);
    // A quote in a file name stays inside its argument.
    QCOMPARE(EditorCommandLine("a\"b"), std::string("CrystalEdit \"a\"\"b\""));
}

void ViewerCommandsTest::newFilesAreRefused_data() {
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("message");  // empty: not refused
    const QString repository =
        "Cannot run windiff on a 'New' file because it does not exist in the Quorvan repository.";
    QTest::newRow("all packages") << "New" << "*" << repository;
    QTest::newRow("no package") << "New" << "" << repository;
    QTest::newRow("one package") << "New" << "PKG"
                                 << "Cannot run windiff on a 'New' file because it does not exist in the Quorvan "
                                    "package 'PKG'.";
    QTest::newRow("empty status") << "" << "*" << repository;
    QTest::newRow("same, any case") << "same" << "PKG" << "";
    QTest::newRow("diff") << "Diff" << "PKG" << "";
    QTest::newRow("missing") << "Missing" << "PKG"
                             << "There is no local file to compare: %1 is missing locally.";
}

void ViewerCommandsTest::newFilesAreRefused() {
    QFETCH(QString, status);
    QFETCH(QString, package);
    QFETCH(QString, message);
    ViewerFixture f;
    f.context.package = package.toStdString();
    const int row = f.AddBottomRow("Main.cpp", "Src/", status.toStdString());
    f.Commands().OnBottomListCommand(kBottomWinDiff, row);
    if (message.isEmpty()) {
        QVERIFY(f.host.boxes.empty());
        QCOMPARE(f.services.launches.size(), std::size_t(1));
    } else {
        QCOMPARE(f.host.boxes.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(f.host.boxes[0].text),
                 message.contains("%1") ? message.arg(QString::fromStdString(f.LocalMain())) : message);
        QCOMPARE(f.host.boxes[0].icon, MbIcon::Exclamation);
        QVERIFY(f.services.launches.empty());
    }
    QCOMPARE(f.services.waitDepth, 0);
}

void ViewerCommandsTest::diffViewerFindsTheCounterpart() {
    ViewerFixture f;
    const int matched = f.AddBottomRow("Main.cpp", "Src/", "Diff");
    const int unmatched = f.AddBottomRow("nowhere.cpp", "Src/", "Same");
    f.Commands().OnBottomListCommand(kBottomWinDiff, matched);
    const std::string expected = "/opt/qvr/" + std::string("Windiff") + " \"" + f.LocalMain() + "\" \"" +
                                 f.CopyOfMain() + "\"";
    QCOMPARE(f.services.launches.size(), std::size_t(1));
    QCOMPARE(f.services.launches[0].first, expected);
    QCOMPARE(f.services.launches[0].second, 1);
    QVERIFY(ReadFile(f.trace.Path()).find(expected) != std::string::npos);
    QCOMPARE(f.services.waitCount, 1);

    f.Commands().OnBottomListCommand(kBottomWinDiff, unmatched);
    QCOMPARE(f.services.launches.size(), std::size_t(1));
    QVERIFY(f.host.boxes.empty());
}

void ViewerCommandsTest::noFocusedRowDoesNothing() {
    ViewerFixture f;
    f.AddBottomRow("Main.cpp", "Src/", "Diff");
    for (int command : {kBottomWinDiff, kBottomEditor, kBottomHexViewer, kBottomDefaultApp}) {
        f.Commands().OnBottomListCommand(command, -1);
    }
    for (int command : {kTopWinDiff, kTopEditor, kTopHexViewer, kTopDefaultApp}) {
        f.Commands().OnTopListCommand(command, -1);
        f.Commands().OnTopListCommand(command, 99);
    }
    f.Commands().OnTopListCommand(kTopWinDiff, 1);  // never a command of its own
    QVERIFY(f.services.launches.empty());
    QVERIFY(f.services.checkouts.empty());
    QVERIFY(f.services.opened.empty());
    QVERIFY(f.host.boxes.empty());
}

void ViewerCommandsTest::topRowsAreCheckedOutOnDemand_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("copy");  // "missing", "empty" or "filled"
    QTest::addColumn<bool>("checkoutSucceeds");
    QTest::addColumn<bool>("checkedOut");
    QTest::addColumn<QString>("opened");  // "edit", "hex", "default" or "" for nothing
    QTest::newRow("copy there") << kTopEditor << "filled" << true << false << "edit";
    QTest::newRow("copy missing") << kTopHexViewer << "missing" << true << true << "hex";
    QTest::newRow("copy empty") << kTopDefaultApp << "empty" << true << true << "default";
    QTest::newRow("checkout failed") << kTopEditor << "missing" << false << true << "";
    QTest::newRow("default app on a copy there") << kTopDefaultApp << "filled" << false << false << "default";
    // A Missing row of the Bottom List has no local file: its repository file is shown.
    QTest::newRow("missing row, copy there") << kBottomEditor << "filled" << true << false << "edit";
    QTest::newRow("missing row, copy missing") << kBottomHexViewer << "missing" << true << true << "hex";
}

void ViewerCommandsTest::topRowsAreCheckedOutOnDemand() {
    QFETCH(int, command);
    QFETCH(QString, copy);
    QFETCH(bool, checkoutSucceeds);
    QFETCH(bool, checkedOut);
    QFETCH(QString, opened);
    ViewerFixture f;
    const std::string copyPath = f.CopyOfMain();
    std::filesystem::create_directories(std::filesystem::path(copyPath).parent_path());
    if (copy == "filled") f.dir.Write("temp/Proj/Src/Main.cpp", "int main;");
    if (copy == "empty") f.dir.Write("temp/Proj/Src/Main.cpp", "");
    f.services.checkoutSucceeds = checkoutSucceeds;
    f.services.onCheckout = [&] { f.dir.Write("temp/Proj/Src/Main.cpp", "checked out"); };

    if (command >= kBottomMenuId) {
        f.Commands().OnBottomListCommand(command, f.AddBottomRow("Main.cpp", "Src/", "Missing"));
    } else {
        f.Commands().OnTopListCommand(command, 1);
    }

    QCOMPARE(f.services.checkouts.size(), std::size_t(checkedOut ? 1 : 0));
    if (checkedOut) {
        QCOMPARE(f.services.checkouts[0].first, f.context.tempPath);
        QCOMPARE(f.services.checkouts[0].second, std::string("\\Proj\\Src\\Main.cpp"));
    }
    std::vector<std::pair<std::string, int>> launches;
    std::vector<std::string> defaults;
    if (opened == "edit") launches.push_back({"CrystalEdit \"" + copyPath + "\"", 1});
    if (opened == "hex") launches.push_back({"HexViewer \"" + copyPath + "\"", 1});
    if (opened == "default") defaults.push_back(copyPath);
    QCOMPARE(f.services.launches, launches);
    QCOMPARE(f.services.opened, defaults);
    QCOMPARE(f.services.waitCount, 1);
    QCOMPARE(f.services.waitDepth, 0);
}

void ViewerCommandsTest::editorRefreshesTheRow_data() {
    QTest::addColumn<bool>("showDiff");
    QTest::addColumn<QString>("copyContent");  // "" for no copy
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("message");
    QTest::newRow("same content") << true << "local text" << "Same" << false;
    QTest::newRow("other content") << true << "changed text" << "Diff" << false;
    QTest::newRow("show different files off") << false << "local text" << "Diff" << false;
    QTest::newRow("unreadable copy keeps the status") << true << "" << "Diff" << true;
}

void ViewerCommandsTest::editorRefreshesTheRow() {
    QFETCH(bool, showDiff);
    QFETCH(QString, copyContent);
    QFETCH(QString, status);
    QFETCH(bool, message);
    ViewerFixture f;
    f.display.showDiffFiles = showDiff ? 1 : 0;
    f.dir.Write("local/Src/Main.cpp", "local text");
    if (!copyContent.isEmpty()) f.dir.Write("temp/Proj/Src/Main.cpp", copyContent.toStdString());
    const int row = f.AddBottomRow("Main.cpp", "Src/", "Diff");

    f.Commands().OnBottomListCommand(kBottomEditor, row);

    QCOMPARE(f.services.launches.size(), std::size_t(1));
    QCOMPARE(f.services.launches[0].first, "CrystalEdit \"" + f.LocalMain() + "\"");
    QCOMPARE(f.bottom.GetItemText(row, BottomDatasize), std::string("1 KB"));
    QVERIFY(f.bottom.GetItemText(row, BottomDate) != "stale");
    QCOMPARE(QString::fromStdString(std::string(f.bottom.GetItemText(row, BottomStatus))), status);
    if (showDiff && !message) {
        QCOMPARE(f.bottom.GetCellTextColor(row, BottomStatus), status == "Same" ? kSameColor : kDiffColor);
    }
    QCOMPARE(f.host.boxes.size(), std::size_t(message ? 1 : 0));
    if (message) QCOMPARE(f.host.boxes[0].text, "Unable to read: " + f.CopyOfMain());

    // The hex viewer and the default application take the local file as it is.
    f.Commands().OnBottomListCommand(kBottomHexViewer, row);
    f.Commands().OnBottomListCommand(kBottomDefaultApp, row);
    QCOMPARE(f.services.launches.back().first, "HexViewer \"" + f.LocalMain() + "\"");
    QCOMPARE(f.services.opened, std::vector<std::string>{f.LocalMain()});
}

namespace {

// A stand-in program that writes its arguments, one a line, to
// $QVR_TEST_RECORD_DIR/<its name>.args.
void WriteRecordingProgram(const TempDir& dir, const std::string& name, const std::string& extra = {}) {
    const auto path = dir.Write("bin/" + name,
                                "#!/bin/sh\n" + extra +
                                    "out=\"$QVR_TEST_RECORD_DIR/$(basename \"$0\").args\"\n"
                                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
                                    "mv \"$out.tmp\" \"$out\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::string AwaitRecord(const TempDir& dir, const std::string& name) {
    const auto path = dir / ("rec/" + name + ".args");
    for (int k = 0; k < 500 && !std::filesystem::exists(path); ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
}

class PathPrefix {
public:
    explicit PathPrefix(const std::string& folder) : m_old(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", (folder + ":" + m_old).c_str(), 1);
    }
    ~PathPrefix() { ::setenv("PATH", m_old.c_str(), 1); }
    PathPrefix(const PathPrefix&) = delete;
    PathPrefix& operator=(const PathPrefix&) = delete;

private:
    std::string m_old;
};

}  // namespace

void ViewerCommandsTest::viewersStartAsRealPrograms() {
    ViewerFixture f;
    std::filesystem::create_directories(f.dir / "rec");
    ::setenv("QVR_TEST_RECORD_DIR", (f.dir / "rec").string().c_str(), 1);
    WriteRecordingProgram(f.dir, "CrystalEdit");
    WriteRecordingProgram(f.dir, "HexViewer");
    WriteRecordingProgram(f.dir, "Windiff");
    // The checkout tool leaves its log and the copy, as the real one does.
    const std::string installDir = (f.dir / "install").string();
    std::filesystem::create_directories(installDir);
    WriteRecordingProgram(f.dir, "vgt",
                          "mkdir -p \"$QVR_TEST_COPY_DIR\" && printf 'checked out' > \"$QVR_TEST_COPY_DIR/Main.cpp\"\n"
                          "printf 'Total: 1; Success: 1; Failed: 0; Not Processed: 0.\\n' > \"" +
                              installDir + "/vgt.log\"\n");
    ::setenv("QVR_TEST_COPY_DIR", (f.dir / "temp/Proj/Src").string().c_str(), 1);
    PathPrefix path((f.dir / "bin").string());

    f.templates = DefaultTemplates("", installDir);
    f.templates.diffPgm = (f.dir / "bin/Windiff").string() + " \"%s\" \"%s\"";
    f.context.broker = "b";
    f.context.project = "p";
    f.context.state = "s";
    f.context.userId = "u";
    f.context.password = "pw";
    CMapStrToFObj records;
    ScmBridge bridge({f.context, f.templates, installDir, records, f.trace, f.host, f.pump});
    std::vector<std::string> opened;
    ScmViewerServices services(bridge, [&](const std::string& file) { opened.push_back(file); });
    ViewerCommands commands({f.top, f.bottom, f.context, f.templates, f.display, f.trace, f.host, f.pump},
                            services);
    f.dir.Write("local/Src/Main.cpp", "local text");
    const int row = f.AddBottomRow("Main.cpp", "Src/", "Diff");

    commands.OnTopListCommand(kTopEditor, 1);  // checks the copy out first
    QCOMPARE(AwaitRecord(f.dir, "CrystalEdit"), f.CopyOfMain() + "\n");
    QVERIFY(AwaitRecord(f.dir, "vgt").find("\\Proj\\Src\\Main.cpp\n") != std::string::npos);
    commands.OnBottomListCommand(kBottomHexViewer, row);
    QCOMPARE(AwaitRecord(f.dir, "HexViewer"), f.LocalMain() + "\n");
    commands.OnBottomListCommand(kBottomWinDiff, row);
    QCOMPARE(AwaitRecord(f.dir, "Windiff"), f.LocalMain() + "\n" + f.CopyOfMain() + "\n");
    commands.OnBottomListCommand(kBottomDefaultApp, row);
    QCOMPARE(opened, std::vector<std::string>{f.LocalMain()});
    QVERIFY2(f.host.boxes.empty(), f.host.boxes.empty() ? "" : f.host.boxes[0].text.c_str());

    // A viewer that is not there is reported by the launcher.
    ::setenv("PATH", "/nonexistent", 1);
    commands.OnBottomListCommand(kBottomEditor, row);
    QCOMPARE(f.host.boxes.size(), std::size_t(1));
    QVERIFY(f.host.boxes[0].text.find("Executable Not Found") != std::string::npos);
}

// The install folder of a user "John Doe": the default difference viewer
// there starts, with both files as its arguments.
void ViewerCommandsTest::defaultDiffViewerStartsFromAFolderWithABlank() {
    if (kOnWindows) QSKIP("Windows finds the program by itself");
    ViewerFixture f;
    std::filesystem::create_directories(f.dir / "rec");
    ::setenv("QVR_TEST_RECORD_DIR", (f.dir / "rec").string().c_str(), 1);
    WriteRecordingProgram(f.dir, "Windiff");
    const std::string installDir = (f.dir / "home/John Doe/QvrCompare").string();
    std::filesystem::create_directories(installDir);
    std::filesystem::copy_file(f.dir / "bin/Windiff", installDir + "/Windiff");
    f.templates.diffPgm = DefaultDiffPgm(installDir);
    CMapStrToFObj records;
    ScmBridge bridge({f.context, f.templates, installDir, records, f.trace, f.host, f.pump});
    ScmViewerServices services(bridge, nullptr);
    ViewerCommands commands({f.top, f.bottom, f.context, f.templates, f.display, f.trace, f.host, f.pump},
                            services);
    f.dir.Write("local/Src/Main.cpp", "local text");
    f.dir.Write("temp/Proj/Src/Main.cpp", "copy text");
    const int row = f.AddBottomRow("Main.cpp", "Src/", "Diff");

    commands.OnBottomListCommand(kBottomWinDiff, row);

    QVERIFY2(f.host.boxes.empty(), f.host.boxes.empty() ? "" : f.host.boxes[0].text.c_str());
    QCOMPARE(AwaitRecord(f.dir, "Windiff"), f.LocalMain() + "\n" + f.CopyOfMain() + "\n");
}

}  // namespace qvr::testing
