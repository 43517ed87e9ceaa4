#include "workflow_e2e_test.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/busy_flags.h"
#include "res/resource.h"
#include "support/recording_message_box_host.h"
#include "support/test_platform.h"
#include "ui/qt_message_pump.h"
#include "ui/qvr_compare_dlg.h"
#include "ui/report_ctrl.h"
#include "workflow/quorvan_sandbox.h"

namespace qvr::testing {

using namespace res;
namespace fs = std::filesystem;

struct WorkflowE2eTest::World {
    QuorvanSandbox sandbox{QVR_TOOL_DIR};
    RecordingMessageBoxHost host;
    QtMessagePump pump;
    TraceLog trace{sandbox.InstallDir() + "/QvrCompare.trc"};
    std::unique_ptr<CQvrCompareDlg> dialog;
    fs::path startDir = fs::current_path();

    World() {
        AppSettings settings;
        settings.templates = DefaultTemplates("", sandbox.InstallDir());
        settings.context = {QuorvanSandbox::kBroker, QuorvanSandbox::kUser, QuorvanSandbox::kPassword,
                            "PROJ", "DEV", "", "", sandbox.LocalDir()};
        settings.display = DisplayOptions{1, 1, 1, 1, 0};
        dialog = std::make_unique<CQvrCompareDlg>(settings, sandbox.TempPath(), host, pump);
        dialog->SetEnvironment(sandbox.InstallDir(), trace);
        dialog->show();
    }
    ~World() {
        std::error_code ec;
        fs::current_path(startDir, ec);
    }

    void Import(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [path, content] : files) sandbox.Root().Write("source/" + path, content);
        QVERIFY(sandbox.Import("PROJ", "DEV", sandbox.SourceDir()));
    }
    void Click(int id) { qobject_cast<QAbstractButton*>(dialog->GetDlgItem(id))->click(); }
    // What the user does: a mouse click on a control; replacing the text of a box by typing.
    void Press(int id) { QTest::mouseClick(dialog->GetDlgItem(id), Qt::LeftButton); }
    void Retype(int id, const QString& text) {
        QWidget* edit = dialog->GetDlgItem(id);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    std::string Text(int id) { return dialog->GetDlgItemText(id); }
    ReportTable& Top() { return dialog->TopList().Table(); }
    ReportTable& Bottom() { return dialog->BottomList().Table(); }
    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        std::ifstream in(trace.Path());
        for (std::string line; std::getline(in, line);) {
            std::size_t at = 0;
            for (int field = 0; field < 3 && at != std::string::npos; ++field) at = line.find(' ', at + 1);
            lines.push_back(at == std::string::npos ? line : line.substr(at + 1));
        }
        return lines;
    }
    bool Traced(const std::string& text) const {
        const auto lines = TraceLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    void ExpectIdle() {
        QCOMPARE(g_populateInProgress, 0);
        QCOMPARE(g_reportInProgress, 0);
        QCOMPARE(Text(IDC_GEN_TOP), std::string(kPopulateCaption));
        QCOMPARE(Text(IDC_GEN_BTM), std::string(kReportCaption));
        QVERIFY(dialog->GetDlgItem(IDC_PROJECT)->isEnabled());
        QVERIFY(dialog->GetDlgItem(IDC_GEN_BTM)->isEnabled());
        QCOMPARE(dialog->BlinkTimerId(), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

WorkflowE2eTest::WorkflowE2eTest() = default;
WorkflowE2eTest::~WorkflowE2eTest() = default;

void WorkflowE2eTest::init() { m_world = std::make_unique<World>(); }

void WorkflowE2eTest::cleanup() {
    m_world.reset();
    g_populateInProgress = 0;
    g_reportInProgress = 0;
}

void WorkflowE2eTest::populateFillsTheTopListSortedByPath() {
    World& w = *m_world;
    w.Import({{"zeta.txt", "z"}, {"src/alpha.cpp", "a"}, {"src/deep/mid.h", "m"}});
    w.Click(IDC_GEN_TOP);

    w.ExpectIdle();
    QVERIFY(w.host.boxes.empty());
    QCOMPARE(w.Text(IDC_TOPCOUNT), std::string("3"));
    QCOMPARE(w.Text(IDC_STATUS),
             std::string(" Ready - Set Show New or Show Different Files or both, then click the \"Generate "
                         "Local Files Compare Report\" button."));
    QCOMPARE(w.dialog->CountTopRows(), 3);
    QCOMPARE(w.Top().GetItemText(0, 2), std::string("\\"));
    QCOMPARE(w.Top().GetItemText(1, 1), std::string("alpha.cpp"));
    QCOMPARE(w.Top().GetItemText(2, 2), std::string("\\src\\deep"));
    // A long listing is never held twice: its records left as they became rows.
    QCOMPARE(w.dialog->TopRecordMap().GetCount(), 0);
    // The view shows what the table holds once the pump has run.
    QTRY_COMPARE(w.dialog->TopList().model()->rowCount(), 3);

    const auto lines = w.TraceLines();
    QCOMPARE(lines.size(), std::size_t{11});
    const char* expected[] = {"CQvrCompareDlg::OnBtnGenTopScmList: START",
                              "OnSearchBtn: START The \"Populate List from Quorvan Repository\" button was clicked",
                              "CQvrCompareDlg::CheckForBroker: START",
                              "CQvrCompareDlg::RunVQRY: ExecuteWait ",
                              "CQvrCompareDlg::CheckForBroker: END - Broker is Available. Result=",
                              "CQvrCompareDlg::RunVLX: START",
                              "CQvrCompareDlg::RunVLX: ",
                              "CqvrCompareDlg::RunVLX: END return code=1",
                              "CQvrCompareDlg::PostTopList START",
                              "CQvrCompareDlg::PostTopList END  Count=3",
                              "CQvrCompareDlg::OnBtnGenTopScmList: END"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].starts_with(expected[i]), lines[i].c_str());
        QVERIFY2(lines[i].find("pa ss") == std::string::npos, lines[i].c_str());
    }
    QVERIFY(lines[3].find("-pw ******") != std::string::npos);
    QVERIFY(lines[6].find("-pw ******") != std::string::npos);
}

void WorkflowE2eTest::populateFailures_data() {
    QTest::addColumn<int>("editId");
    QTest::addColumn<QString>("editText");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing project") << int(IDC_PROJECT) << "" << " Ready" << "Project name is required.";
    QTest::newRow("missing state") << int(IDC_STATE) << "" << " Ready" << "State name is required.";
    QTest::newRow("missing password") << int(IDC_PASSWORD) << ""
                                      << " Error: Part of context is not set (not including Package)" << "";
    QTest::newRow("missing user") << int(IDC_USERID) << ""
                                  << " Error: Part of context is not set (not including Package)" << "";
    QTest::newRow("broker unavailable") << int(IDC_PROJECT) << "UNKNOWN" << " Error: Unable to Connect to the Broker"
                                        << "Error: Unable to Connect to the Broker.";
    QTest::newRow("listing error") << int(IDC_STATE) << "NOSTATE" << " Error: Read vlx.log Failed" << "Error: Error: ";
}

void WorkflowE2eTest::populateFailures() {
    QFETCH(int, editId);
    QFETCH(QString, editText);
    QFETCH(QString, status);
    QFETCH(QString, message);
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.dialog->SetDlgItemText(editId, editText.toStdString());
    w.Click(IDC_GEN_TOP);

    w.ExpectIdle();
    QCOMPARE(QString::fromStdString(w.Text(IDC_STATUS)), status);
    if (message.isEmpty()) {
        QVERIFY(w.host.boxes.empty());
    } else {
        QCOMPARE(w.host.boxes.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(w.host.boxes[0].text).startsWith(message), w.host.boxes[0].text.c_str());
    }
    QCOMPARE(w.dialog->CountTopRows(), 0);
}

void WorkflowE2eTest::typedLocalPathBecomesAbsolute_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");  // below the sandbox root
    QTest::addColumn<bool>("exists");
    QTest::newRow("relative") << "local" << "local" << true;
    QTest::newRow("dot relative") << "./local/" << "local/" << true;
    QTest::newRow("dot dot") << "local/../local/." << "local" << true;
    QTest::newRow("missing") << "no such" << "no such" << false;
    QTest::newRow("a file") << "local/same.txt" << "local/same.txt" << false;
}

void WorkflowE2eTest::typedLocalPathBecomesAbsolute() {
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QFETCH(bool, exists);
    World& w = *m_world;
    w.Import({{"same.txt", "same text"}});
    w.sandbox.Root().Write("local/same.txt", "same text");
    // Started in the sandbox; the process has since entered another folder.
    w.dialog->SetLaunchDirectory(w.sandbox.Root().Str());
    fs::create_directories(w.sandbox.TempPath());
    fs::current_path(w.sandbox.TempPath());
    QWidget* edit = w.dialog->GetDlgItem(IDC_LOCALPATH);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, typed);
    QWidget* button = w.dialog->GetDlgItem(IDC_GEN_BTM);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());

    w.ExpectIdle();
    const std::string absolute = w.sandbox.Root().Str() + "/" + folder.toStdString();
    QCOMPARE(w.Text(IDC_LOCALPATH), absolute);
    if (exists) {
        QVERIFY(w.host.boxes.empty());
        QCOMPARE(w.dialog->LastScannedFolder(), absolute);
        QCOMPARE(w.Text(IDC_BTMCOUNT), std::string("1"));
        QCOMPARE(w.Bottom().GetItemText(0, BottomPath), w.sandbox.LocalDir() + "/");
        QCOMPARE(w.Bottom().GetItemText(0, BottomStatus), std::string("Same"));
    } else {
        QCOMPARE(w.host.boxes.size(), std::size_t{1});
        QCOMPARE(w.host.boxes[0].text, "Local Path not found: " + absolute);
        QVERIFY(w.host.boxes[0].icon == MbIcon::Stop);
        QCOMPARE(w.Text(IDC_STATUS), std::string(" Error: Local Path not found - check the Local Path."));
        QCOMPARE(w.dialog->CountTopRows(), 0);  // nothing ran, not even the listing
        QCOMPARE(w.dialog->LastScannedFolder(), std::string());
    }
}

namespace {

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

void WorkflowE2eTest::brokerCheckRepaintsWhileItWaits() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    QWidget* status = w.dialog->GetDlgItem(CQvrCompareDlg::kStatusId);
    PaintCounter counter;
    status->installEventFilter(&counter);
    auto inBrokerCheck = [&] {
        const auto lines = w.TraceLines();
        const bool ended = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.starts_with("CQvrCompareDlg::CheckForBroker: END");
        });
        return w.Traced("CQvrCompareDlg::CheckForBroker: START") && !ended;
    };
    // The SQL tool takes its time; meanwhile the window asks to be repainted.
    bool askedDuringCheck = false;
    bool paintedDuringCheck = false;
    int paintsAsked = 0;
    QTimer::singleShot(300, [&] {
        askedDuringCheck = inBrokerCheck();
        paintsAsked = counter.paints;
        status->update();
        QTimer::singleShot(150, [&] { paintedDuringCheck = inBrokerCheck() && counter.paints > paintsAsked; });
    });
    ::setenv("QUORVAN_DELAY_MS", "900", 1);
    QTest::mouseClick(qobject_cast<QAbstractButton*>(w.dialog->GetDlgItem(IDC_GEN_TOP)), Qt::LeftButton);
    ::unsetenv("QUORVAN_DELAY_MS");
    w.ExpectIdle();
    QCOMPARE(w.dialog->CountTopRows(), 1);
    QVERIFY(askedDuringCheck);
    QVERIFY(paintedDuringCheck);
}

void WorkflowE2eTest::reportListsNewSameAndDiff() {
    World& w = *m_world;
    w.Import({{"same.txt", "same text"}, {"src/changed.c", "int a;"}, {"src/other.c", "x"}});
    w.sandbox.Root().Write("local/same.txt", "same text");
    w.sandbox.Root().Write("local/src/changed.c", "int b;");
    w.sandbox.Root().Write("local/src/new.h", "new");
    w.Click(IDC_SHOWMISSING);
    QCOMPARE(w.dialog->Settings().display.showMissingFiles, 1);
    w.Click(IDC_GEN_BTM);

    w.ExpectIdle();
    QVERIFY(w.host.boxes.empty());
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Ready - Repository folder: \\"));
    QVERIFY(w.Traced("CQvrCompareDlg::OnBtnGenBtmReport: Repository folder: \\ (found by vote; 2 of 3 local "
                     "file(s) are there)"));
    QCOMPARE(w.Text(IDC_BTMCOUNT), std::string("4"));
    QCOMPARE(w.dialog->CountTopRows(), 3);
    QCOMPARE(w.dialog->LastScannedFolder(), w.sandbox.LocalDir());
    ReportTable& bottom = w.Bottom();
    QCOMPARE(bottom.GetItemCount(), 4);
    const std::string local = w.sandbox.LocalDir() + "/";
    QCOMPARE(bottom.GetItemText(0, BottomPath), local);
    QCOMPARE(bottom.GetItemText(0, BottomFile), std::string("same.txt"));
    QCOMPARE(bottom.GetItemText(0, BottomStatus), std::string("Same"));
    std::map<std::string, std::string> statusOf;
    for (int row = 0; row < 4; ++row) {
        statusOf[std::string(bottom.GetItemText(row, BottomFile))] = bottom.GetItemText(row, BottomStatus);
        QCOMPARE(bottom.GetItemText(row, BottomRecord).size(), std::size_t{4});
    }
    QCOMPARE(statusOf["changed.c"], std::string("Diff"));
    QCOMPARE(statusOf["new.h"], std::string("New"));
    QCOMPARE(statusOf["other.c"], std::string("Missing"));
    QCOMPARE(bottom.GetItemText(3, BottomRecord), std::string("0004"));
    QCOMPARE(bottom.GetItemText(3, BottomFile), std::string("other.c"));  // last of its folder by name
    // The colours reach the view: COLORREF red is the low byte.
    QTRY_COMPARE(w.dialog->BottomList().model()->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        const std::string status(bottom.GetItemText(row, BottomStatus));
        const QColor shown = w.dialog->BottomList().model()->index(row, BottomStatus).data(Qt::ForegroundRole).value<QColor>();
        const QColor expected = status == "New" ? QColor(0x00, 0x80, 0x00)
                                : status == "Same" ? QColor(0x00, 0x00, 0x80)
                                : status == "Missing" ? QColor(0x80, 0x00, 0x80)
                                                   : QColor(0xFF, 0x32, 0x00);
        QCOMPARE(shown, expected);
    }
    QVERIFY(w.Traced("CQvrCompareDlg::OnBtnGenBtmReport: RunVgt was successful"));
    QCOMPARE(w.TraceLines().back(), std::string("CQvrCompareDlg::OnBtnGenBtmReport: END"));
}

void WorkflowE2eTest::reportOfNewFilesOnlyRunsNoCheckout() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.sandbox.Root().Write("local/b.txt", "b");
    const std::string argvFile = w.sandbox.Root().Str() + "/argv.txt";
    ::setenv("QUORVAN_RECORD_ARGV", argvFile.c_str(), 1);
    w.Click(IDC_SHOWDIFF);
    w.Click(IDC_SHOWSAME);
    QCOMPARE(w.dialog->Settings().display.showDiffFiles, 0);
    w.Click(IDC_GEN_BTM);
    ::unsetenv("QUORVAN_RECORD_ARGV");

    w.ExpectIdle();
    std::ifstream in(argvFile);
    std::string tools;
    for (std::string line; std::getline(in, line);) {
        if (line == "vgt" || line.ends_with("/vgt")) tools += "vgt ";
        if (line == "vlx" || line.ends_with("/vlx")) tools += "vlx ";
    }
    QCOMPARE(tools, std::string("vlx "));
    QVERIFY(fs::is_empty(w.sandbox.TempPath()));
    QCOMPARE(w.Bottom().GetItemText(0, BottomStatus), std::string("New"));
}

void WorkflowE2eTest::newFileNamedElsewhereIsTracedOnEveryReport() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}, {"docs/notes.txt", "n"}});
    w.sandbox.Root().Write("local/a.txt", "a");
    w.sandbox.Root().Write("local/notes.txt", "other notes");
    // A populate, then two reports over its list: the first pairs the files,
    // the second runs with that pairing in place.
    w.Click(IDC_GEN_TOP);
    w.Click(IDC_GEN_BTM);
    w.Click(IDC_GEN_BTM);

    w.ExpectIdle();
    const auto lines = w.TraceLines();
    QCOMPARE(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                 return line.starts_with("Classifier: New: ") &&
                        line.ends_with("notes.txt - the same name is at \\docs\\notes.txt, outside the repository folder");
             }),
             2);
}

void WorkflowE2eTest::cancelWhileTheListingToolRuns() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.sandbox.SlowDown("vlx", 5000);
    QElapsedTimer clock;
    qint64 clickedAt = -1;
    qint64 handledAfter = -1;
    QTimer::singleShot(400, w.dialog.get(), [&] {
        clickedAt = clock.elapsed();
        QCOMPARE(w.Text(IDC_GEN_TOP), std::string(kCancelCaption));
        w.Click(IDC_GEN_TOP);
        handledAfter = clock.elapsed() - clickedAt;
        QCOMPARE(w.Text(IDC_STATUS), std::string(" Ready"));
    });
    clock.start();
    w.Click(IDC_GEN_TOP);
    const qint64 endedAfter = clock.elapsed() - clickedAt;

    QVERIFY(clickedAt >= 0);
    QVERIFY2(handledAfter < 200, QByteArray::number(handledAfter));
    QVERIFY2(endedAfter < 1500, QByteArray::number(endedAfter));
    w.ExpectIdle();
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Ready"));
    QCOMPARE(w.dialog->CountTopRows(), 0);
    QVERIFY(w.Top().GetItemCount() >= kBlankTopRows);
    QVERIFY(w.host.boxes.empty());
}

void WorkflowE2eTest::cancelDuringPostingKeepsThePostedRows() {
    World& w = *m_world;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 3000; ++i) files.push_back({"d" + std::to_string(i % 30) + "/f" + std::to_string(i), ""});
    w.Import(files);
    // Polls from inside the posting loop's pumps and clicks Cancel once rows
    // have arrived.
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (g_populateInProgress && w.dialog->CountTopRows() >= 100) {
            poll.stop();
            w.Click(IDC_GEN_TOP);
        }
    });
    poll.start();
    w.Click(IDC_GEN_TOP);

    w.ExpectIdle();
    const int rows = w.dialog->CountTopRows();
    QVERIFY2(rows >= 100 && rows < 3000, QByteArray::number(rows));
    QCOMPARE(w.Text(IDC_TOPCOUNT), std::to_string(rows));
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Cancelled - the list is incomplete."));
    // Unsorted: the last posted row is on top.
    QCOMPARE(QString::fromStdString(std::string(w.Top().GetItemText(0, 0))), QString("%1").arg(rows, 4, 10, QChar('0')));
    QVERIFY(w.Traced("OnSearchBtn: END The \"Cancel\" button was clicked"));
}

void WorkflowE2eTest::cancelOrExitDuringTheBrokerCheck_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("Cancel") << int(IDC_GEN_TOP);
    QTest::newRow("Exit") << int(IDCANCEL_BUTTON);
}

void WorkflowE2eTest::cancelOrExitDuringTheBrokerCheck() {
    QFETCH(int, button);
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.sandbox.SlowDown("vqry", 5000);
    int shutdowns = 0;
    w.dialog->SetShutdownAction([&] {
        ++shutdowns;
        g_populateInProgress = 0;  // the real shutdown ends the process here
    });
    QElapsedTimer clock;
    qint64 clickedAt = -1;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (OwnChildProcesses("vqry").empty()) return;
        poll.stop();
        clickedAt = clock.elapsed();
        w.Press(button);
    });
    clock.start();
    poll.start();
    w.Press(IDC_GEN_TOP);
    const qint64 endedAfter = clock.elapsed() - clickedAt;

    QVERIFY(clickedAt >= 0);
    QVERIFY2(endedAfter < 1000, QByteArray::number(endedAfter));
    QVERIFY(OwnChildProcesses("vqry").empty());
    QCOMPARE(shutdowns, button == IDCANCEL_BUTTON ? 1 : 0);
    QVERIFY(w.host.boxes.empty());
    QCOMPARE(w.dialog->CountTopRows(), 0);
}

void WorkflowE2eTest::reportsTakeTheBoxesAsTheyAreAtEachStart() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}, {"src/b.c", "b"}});
    w.sandbox.Root().Write("local/a.txt", "a");
    w.sandbox.Root().Write("local/src/b.c", "changed");
    w.Press(IDC_GEN_BTM);
    QCOMPARE(w.dialog->CountBottomRows(), 2);
    // The user sorts by File; then the password is cleared and the listing refused.
    CReportCtrl& bottom = w.dialog->BottomList();
    QHeaderView* header = bottom.horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(BottomFile) + 5, header->height() / 2));
    QCOMPARE(header->sortIndicatorSection(), int(BottomFile));
    w.Retype(IDC_PASSWORD, "");
    w.Press(IDC_GEN_TOP);
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Error: Part of context is not set (not including Package)"));
    // The password typed now is the one the checkout gets.
    w.Retype(IDC_PASSWORD, QuorvanSandbox::kPassword);
    w.Press(IDC_GEN_BTM);
    w.ExpectIdle();
    QVERIFY(w.host.boxes.empty());
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Ready - Repository folder: \\"));
    QCOMPARE(w.dialog->CountBottomRows(), 2);
    // The new list shows its Path order, from the top, and Enter starts
    // nothing but the button that started the run.
    QCOMPARE(header->sortIndicatorSection(), int(BottomPath));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(bottom.verticalScrollBar()->value(), 0);
    QCOMPARE(w.dialog->focusWidget(), w.dialog->GetDlgItem(IDC_GEN_BTM));
    // A failed report leaves none of the old rows behind.
    w.Retype(IDC_LOCALPATH, QString::fromStdString(w.sandbox.Root().Str() + "/gone"));
    w.Press(IDC_GEN_BTM);
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Error: Local Path not found - check the Local Path."));
    QCOMPARE(w.dialog->CountBottomRows(), 0);
    QCOMPARE(w.Bottom().GetItemCount(), kBlankBottomRows);
    QCOMPARE(w.Text(IDC_BTMCOUNT), std::string());
}

void WorkflowE2eTest::helpAndVersionPrintAndEnd_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("start");
    QTest::newRow("help") << "--help" << "usage: QvrCompare [LOCALPATH]\n";
    QTest::newRow("version") << "--version" << "QvrCompare 1.05\n";
}

void WorkflowE2eTest::helpAndVersionPrintAndEnd() {
    QFETCH(QString, option);
    QFETCH(QString, start);
    const std::string root = m_world->sandbox.Root().Str(), config = root + "/config";
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config));
    environment.insert("HOME", QString::fromStdString(root));
    program.setProcessEnvironment(environment);
    program.start(QVR_GUI_PATH, {option});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QString::fromUtf8(program.readAllStandardOutput()).startsWith(start), qPrintable(option));
    // Nothing was saved: the option is no local path.
    QVERIFY(!fs::exists(config));
    QVERIFY(!fs::exists(root + "/QvrCompare"));
}

void WorkflowE2eTest::unreadableCopyEndsTheReport() {
    World& w = *m_world;
    w.Import({{"bad.txt", "bad"}, {"sub/good.txt", "good"}});
    w.Click(IDC_GEN_TOP);
    QCOMPARE(w.dialog->CountTopRows(), 2);
    // Only Same and New: no checkout, the copies are what the temp path holds.
    w.Click(IDC_SHOWDIFF);
    w.sandbox.Root().Write("temp/sub/good.txt", "good");
    const fs::path bad = fs::path(w.sandbox.TempPath()) / "bad.txt";
    fs::create_symlink(w.sandbox.TempPath() + "/nowhere", bad);
    w.sandbox.Root().Write("local/sub/good.txt", "good");
    w.sandbox.Root().Write("local/bad.txt", "bad");
    w.Click(IDC_GEN_BTM);

    w.ExpectIdle();
    // A copy is never read through a link.
    QCOMPARE(w.Text(IDC_STATUS), " File Operation Error. File Name: " + bad.string());
    QCOMPARE(w.Text(IDC_BTMCOUNT), std::string("1"));
    QCOMPARE(w.Bottom().GetItemCount(), 1);
    QCOMPARE(w.Bottom().GetItemText(0, BottomFile), std::string("good.txt"));
    QVERIFY(w.Traced("CQvrCompareDlg::OnBtnGenBtmReport: END Error: File Operation Error - File Name: " +
                     bad.string()));
}

void WorkflowE2eTest::missingToolIsReported() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.sandbox.HideTool("vlx");
    w.Click(IDC_GEN_TOP);

    w.ExpectIdle();
    QCOMPARE(w.host.boxes.size(), std::size_t{2});
    QVERIFY2(w.host.boxes[0].text.starts_with("Executable Not Found: 'vlx "), w.host.boxes[0].text.c_str());
    QCOMPARE(w.host.boxes[1].text, std::string("Error: Execute RUNVLX Failed."));
    QCOMPARE(w.Text(IDC_STATUS), std::string(" Error: Execute RUNVLX Failed"));
}

// Exit while the checkout tool runs: the tool is ended before the program
// saves and ends, so it cannot outlive the program writing into the temp
// folder.
void WorkflowE2eTest::exitDuringTheCheckoutEndsTheTool() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}, {"sub/b.txt", "b"}});
    w.sandbox.Root().Write("local/a.txt", "a");
    w.Click(IDC_GEN_TOP);
    QCOMPARE(w.dialog->CountTopRows(), 2);

    constexpr int kDelayMs = 1500;
    ::setenv("QUORVAN_DELAY_MS", std::to_string(kDelayMs).c_str(), 1);
    std::uint32_t pid = 0;
    int shutdowns = 0;
    bool toolGoneAtShutdown = false;
    w.dialog->SetShutdownAction([&] {
        ++shutdowns;
        toolGoneAtShutdown = pid != 0 && !ProcessEntryExists(pid);
        // The real shutdown ends the process here; the run unwinds instead.
        g_reportInProgress = 0;
        g_populateInProgress = 0;
    });
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto tools = OwnChildProcesses("vgt");
        if (tools.empty() || pid != 0) return;
        pid = tools.front();
        poll.stop();
        QWidget* exitButton = w.dialog->GetDlgItem(IDCANCEL_BUTTON);
        QVERIFY(exitButton->isEnabled());
        QTest::mouseClick(exitButton, Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    poll.start();
    QTest::mouseClick(w.dialog->GetDlgItem(IDC_GEN_BTM), Qt::LeftButton);
    ::unsetenv("QUORVAN_DELAY_MS");

    QVERIFY(pid != 0);
    QCOMPARE(shutdowns, 1);
    QVERIFY(toolGoneAtShutdown);
    QVERIFY(!ProcessEntryExists(pid));
    // Well past the moment the tool would have started to write.
    QTest::qWait(static_cast<int>(std::max<qint64>(0, kDelayMs + 1000 - clock.elapsed())));
    QVERIFY(fs::is_empty(w.sandbox.TempPath()));
    QVERIFY(!fs::exists(w.sandbox.InstallDir() + "/vgt.log"));
}

// A viewer that ends is reaped as it ends, while the window sits idle, not
// when the next program is started.
void WorkflowE2eTest::finishedViewersAreReapedAtOnce() {
    World& w = *m_world;
    w.Import({{"a.txt", "a"}});
    w.sandbox.Root().Write("local/a.txt", "changed");
    w.Click(IDC_GEN_BTM);
    QCOMPARE(w.Bottom().GetItemText(0, BottomStatus), std::string("Diff"));
    QTRY_COMPARE(w.dialog->BottomList().model()->rowCount(), 1);
    // A "viewer" that ends at once.
    w.dialog->Settings().templates.diffPgm = "true \"%s\" \"%s\"";
    CReportCtrl& bottom = w.dialog->BottomList();
    const QPoint row = bottom.visualRect(bottom.model()->index(0, 1)).center();
    const auto viewersStarted = [&] {
        const auto lines = w.TraceLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with("true "); });
    };
    for (int viewer = 1; viewer <= 3; ++viewer) {
        QTest::mouseDClick(bottom.viewport(), Qt::LeftButton, {}, row);
        QTRY_COMPARE(viewersStarted(), viewer);
        // Nothing else is started: the ended viewer must not wait for that.
        QTRY_COMPARE_WITH_TIMEOUT(ZombieChildCount(), 0, 2000);
    }
    QVERIFY(w.host.boxes.empty());
}

}  // namespace qvr::testing
