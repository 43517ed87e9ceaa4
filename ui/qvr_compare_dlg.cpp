#include "ui/qvr_compare_dlg.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <utility>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStringList>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/busy_flags.h"
#include "app/platform.h"
#include "app/startup.h"
#include "res/resource.h"
#include "ui/about_dlg.h"
#include "ui/program_icon.h"
#include "ui/report_ctrl.h"

namespace qvr {
namespace {

using namespace qvr::res;

// The display toggles are not automatic: a click leaves the check state alone
// and the window's handler sets it.
class ManualRadioButton final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override {}
};

class ManualCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

// The controls disabled while a workflow runs, in the order they are disabled.
constexpr int kRunLockedControls[] = {IDC_BROKER,      IDC_USERID,      IDC_PASSWORD,   IDC_PROJECT,
                                      IDC_STATE,       IDC_PACKAGE,     IDC_TEMPPATH,   IDC_LOCALPATH,
                                      IDC_SHOWNEW,     IDC_SHOWSAME,    IDC_SHOWDIFF,   IDC_SUBFOLDERS,
                                      IDC_BROWSE_TEMP, IDC_BROWSE_LOCAL, IDC_EXPORT_TOP, IDC_EXPORT_BTM,
                                      IDC_FIND_TOP,    IDC_FIND_BTM,    IDC_REGSETTINGS, IDC_CLEAR_TOP,
                                      IDC_CLEAR_BTM,   IDC_SHOWMISSING};

constexpr Colorref kHighlightText = 0xFFFFFF;
constexpr Colorref kHighlightBack = 0x808080;

// The size the window opens with when the screen has room for it.
constexpr int kPreferredWidth = 1180;
constexpr int kPreferredHeight = 860;
// What the window manager's frame and title bar may take around the window.
constexpr int kFrameAllowance = 40;
// How often the window looks whether an editor it started has closed.
constexpr int kEditorCheckMs = 300;
// The count boxes follow a long run at most this often.
constexpr int kCountUpdateMs = 100;
// Where the window's own size and place are kept, apart from the settings:
// the inside of the window ("x,y,width,height"), which the window manager's
// frame never changes, so the window comes back exactly where it was left.
constexpr const char* kWindowSection = "Window";
constexpr const char* kPlacementKey = "Placement";
// The boxes whose text a paste can cut, with the name the status line uses.
constexpr std::pair<int, const char*> kLimitedEdits[] = {
    {IDC_BROKER, "Broker"},   {IDC_USERID, "UserId"},   {IDC_PASSWORD, "Password"},
    {IDC_PROJECT, "Project"}, {IDC_STATE, "State"},     {IDC_PACKAGE, "Package"},
    {IDC_TEMPPATH, "Temp Directory"}, {IDC_LOCALPATH, "Local Path"},
};

QString Text(const char* text) { return QString::fromUtf8(text); }

QLabel* Hint(const char* text, QWidget* parent) {
    auto* label = new QLabel(Text(text), parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
    label->setPalette(palette);
    return label;
}

}  // namespace

CQvrCompareDlg::CQvrCompareDlg(AppSettings settings, std::string tempDir, IMessageBoxHost& host,
                               IMessagePump& pump, QWidget* parent)
    : QDialog(parent), m_settings(std::move(settings)), m_host(host), m_pump(pump) {
    m_settings.context.tempPath = std::move(tempDir);
    m_installDir = std::filesystem::path(m_settings.context.tempPath).parent_path().string();
    m_modalRunner = [](QDialog& dialog) { return dialog.exec(); };
    setObjectName(QString::number(IDD_QVRCOMPARE_DIALOG));
    // A caption and a sizing border; the way out is Exit or Escape (closing
    // the window does the same).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    BuildControls();
    ConnectCommands();
    InitDialog();
}

CQvrCompareDlg::~CQvrCompareDlg() = default;

// ---- building the window ------------------------------------------------------

void CQvrCompareDlg::BuildControls() {
    auto add = [this](int id, QWidget* widget) {
        widget->setObjectName(QString::number(id));
        m_controls[id] = widget;
        return widget;
    };
    auto edit = [&](int id) { return static_cast<QLineEdit*>(add(id, new QLineEdit(this))); };
    auto button = [&](int id, const char* text) {
        auto* b = new QPushButton(Text(text), this);
        // Enter on a button that has the focus presses that button; in an
        // edit box it still starts the populate run.
        b->setAutoDefault(true);
        return static_cast<QPushButton*>(add(id, b));
    };
    auto label = [&](const char* text, QWidget* buddy) {
        auto* l = new QLabel(Text(text), this);
        l->setBuddy(buddy);
        return l;
    };

    // SCM context.
    auto* context = new QGroupBox(Text("SCM Context"), this);
    auto* grid = new QGridLayout(context);
    QLineEdit* broker = edit(IDC_BROKER);
    QLineEdit* user = edit(IDC_USERID);
    QLineEdit* password = edit(IDC_PASSWORD);
    password->setEchoMode(QLineEdit::Password);
    QLineEdit* project = edit(IDC_PROJECT);
    QLineEdit* state = edit(IDC_STATE);
    QLineEdit* package = edit(IDC_PACKAGE);
    QLineEdit* temp = edit(IDC_TEMPPATH);
    grid->addWidget(label("Broker:", broker), 0, 0);
    grid->addWidget(broker, 0, 1);
    grid->addWidget(label("UserId:", user), 0, 2);
    grid->addWidget(user, 0, 3);
    grid->addWidget(label("Password:", password), 0, 4);
    grid->addWidget(password, 0, 5);
    grid->addWidget(label("Project:", project), 1, 0);
    grid->addWidget(project, 1, 1);
    grid->addWidget(label("State:", state), 1, 2);
    grid->addWidget(state, 1, 3);
    grid->addWidget(label("Package:", package), 1, 4);
    grid->addWidget(package, 1, 5);
    grid->addWidget(Hint("( Use * to get a list from all packages)", this), 1, 6, 1, 2);
    grid->addWidget(label("Temp Directory:", temp), 2, 0);
    auto* tempRow = new QHBoxLayout;
    tempRow->addWidget(temp, 1);
    QPushButton* browseTemp = button(IDC_BROWSE_TEMP, ". . .");
    browseTemp->setMaximumWidth(40);
    tempRow->addWidget(browseTemp);
    grid->addLayout(tempRow, 2, 1, 1, 3);
    grid->addWidget(Hint("( Temp directory is required for individual file comparisons )", this), 2, 4, 1, 3);
    auto* remember = new QCheckBox(Text("Remember Settings"), this);
    add(IDC_REMEMBER, remember);
    remember->setVisible(false);
    remember->setEnabled(false);
    grid->addWidget(button(IDC_REGSETTINGS, "Reg Setings..."), 0, 7);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 2);
    grid->setColumnStretch(5, 2);
    grid->setColumnStretch(6, 1);

    // Top List; its Find... button comes first in the Tab order.
    auto* topHead = new QHBoxLayout;
    topHead->addWidget(new QLabel(Text("Quorvan Files in the Repository:"), this));
    topHead->addStretch();
    topHead->addWidget(button(IDC_FIND_TOP, "Find..."));
    m_topList = new CReportCtrl(this);
    add(IDC_TOPLIST, m_topList);
    auto* topFoot = new QHBoxLayout;
    QLineEdit* topCount = edit(IDC_TOPCOUNT);
    topCount->setReadOnly(true);
    // A box that only shows a count takes no Tab stop.
    topCount->setFocusPolicy(Qt::ClickFocus);
    topCount->setMaximumWidth(90);
    topCount->setAlignment(Qt::AlignRight);
    topFoot->addWidget(topCount);
    QPushButton* populate = button(IDC_GEN_TOP, "Populate List from Quorvan Repository");
    populate->setDefault(true);
    populate->setMinimumWidth(260);
    topFoot->addWidget(populate);
    topFoot->addWidget(button(IDC_CLEAR_TOP, "Clear List"));
    topFoot->addWidget(button(IDC_EXPORT_TOP, "Export List..."));
    topFoot->addStretch();

    // Local path and Bottom List.
    QLineEdit* local = edit(IDC_LOCALPATH);
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(label("Local Path:", local));
    localRow->addWidget(local, 1);
    QPushButton* browseLocal = button(IDC_BROWSE_LOCAL, ". . .");
    browseLocal->setMaximumWidth(40);
    localRow->addWidget(browseLocal);
    // Beside the folder it applies to: the display options below keep the
    // window as narrow as it was before the fourth one came.
    localRow->addWidget(add(IDC_SUBFOLDERS, new ManualCheckBox(Text("Search sub-directories"), this)));
    auto* bottomHead = new QHBoxLayout;
    bottomHead->addWidget(new QLabel(Text("Local Files:"), this));
    bottomHead->addSpacing(12);
    bottomHead->addWidget(add(IDC_SHOWNEW, new ManualRadioButton(Text("Show New Files"), this)));
    bottomHead->addWidget(add(IDC_SHOWDIFF, new ManualRadioButton(Text("Show Different Files"), this)));
    bottomHead->addWidget(add(IDC_SHOWSAME, new ManualRadioButton(Text("Show Same Files"), this)));
    bottomHead->addWidget(add(IDC_SHOWMISSING, new ManualRadioButton(Text("Show Missing Files"), this)));
    for (int id : {IDC_SHOWNEW, IDC_SHOWDIFF, IDC_SHOWSAME, IDC_SHOWMISSING}) {
        static_cast<QRadioButton*>(m_controls[id])->setAutoExclusive(false);
    }
    bottomHead->addStretch();
    bottomHead->addWidget(button(IDC_FIND_BTM, "Find..."));
    m_bottomList = new CReportCtrl(this);
    add(IDC_BTMLIST, m_bottomList);
    auto* bottomFoot = new QHBoxLayout;
    QLineEdit* bottomCount = edit(IDC_BTMCOUNT);
    bottomCount->setReadOnly(true);
    bottomCount->setFocusPolicy(Qt::ClickFocus);
    bottomCount->setMaximumWidth(90);
    bottomCount->setAlignment(Qt::AlignRight);
    bottomFoot->addWidget(bottomCount);
    QPushButton* report = button(IDC_GEN_BTM, "Generate Local Files Compare Report");
    report->setAutoDefault(true);
    report->setMinimumWidth(260);
    bottomFoot->addWidget(report);
    bottomFoot->addWidget(button(IDC_CLEAR_BTM, "Clear List"));
    bottomFoot->addWidget(button(IDC_EXPORT_BTM, "Export List..."));
    bottomFoot->addStretch();
    QPushButton* exit = button(IDCANCEL_BUTTON, "Exit");
    exit->setMinimumWidth(90);
    bottomFoot->addWidget(exit);

    auto* status = new QLabel(this);
    add(kStatusId, status);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setTextFormat(Qt::PlainText);
    status->setMinimumWidth(100);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(context);
    layout->addLayout(topHead);
    layout->addWidget(m_topList, 3);
    layout->addLayout(topFoot);
    layout->addSpacing(6);
    layout->addLayout(localRow);
    layout->addLayout(bottomHead);
    layout->addWidget(m_bottomList, 2);
    layout->addLayout(bottomFoot);
    layout->addWidget(status);
    // The lists give way first on a small screen.
    m_topList->setMinimumHeight(60);
    m_bottomList->setMinimumHeight(60);
    if (QScreen* screen = QGuiApplication::primaryScreen()) FitInto(screen->availableGeometry());
    else resize(kPreferredWidth, kPreferredHeight);
}

void CQvrCompareDlg::FitInto(const QRect& available) {
    // The frame and title bar the window manager adds lie outside the
    // widget's own size, so some of the height is left for them.
    const QSize room(std::max(available.width(), 1), std::max(available.height() - kFrameAllowance, 1));
    const QSize wanted =
        testAttribute(Qt::WA_Resized) ? size() : QSize(kPreferredWidth, kPreferredHeight);
    resize(wanted.boundedTo(room));
    // The inside's place, not the frame's: moving by the frame's corner
    // before the window manager has added the frame put the window lower by
    // the title bar on every start.
    QPoint place = geometry().topLeft();
    if (!testAttribute(Qt::WA_Moved)) {
        place = available.topLeft() + QPoint((available.width() - width()) / 2,
                                             (available.height() - kFrameAllowance - height()) / 2);
    }
    const int right = std::max(available.left(), available.left() + available.width() - width());
    const int bottom = std::max(available.top(), available.top() + room.height() - height());
    setGeometry(QRect(QPoint(std::clamp(place.x(), available.left(), right),
                             std::clamp(place.y(), available.top(), bottom)),
                      size()));
}

void CQvrCompareDlg::RestoreWindowGeometry() {
    const QStringList parts =
        QString::fromStdString(m_store->GetProfileString(kWindowSection, kPlacementKey, "")).split(',');
    if (parts.size() != 4) return;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok) return;
    }
    if (values[2] <= 0 || values[3] <= 0) return;
    setGeometry(values[0], values[1], values[2], values[3]);
    // A size kept from a larger screen is fitted into this one.
    if (QScreen* shown = screen()) FitInto(shown->availableGeometry());
}

void CQvrCompareDlg::SaveWindowGeometry() {
    const QRect inside = geometry();
    m_store->WriteProfileString(kWindowSection, kPlacementKey,
                                QStringLiteral("%1,%2,%3,%4")
                                    .arg(inside.x())
                                    .arg(inside.y())
                                    .arg(inside.width())
                                    .arg(inside.height())
                                    .toStdString());
}

void CQvrCompareDlg::ConnectCommands() {
    for (auto& [id, widget] : m_controls) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int command = id;
            connect(button, &QAbstractButton::clicked, this, [this, command] { OnCommand(command); });
        }
    }
    connect(m_topList, &CReportCtrl::RowClicked, this, &CQvrCompareDlg::OnListClick);
    connect(m_bottomList, &CReportCtrl::RowClicked, this, &CQvrCompareDlg::OnListClick);
    connect(m_topList, &CReportCtrl::RowDoubleClicked, this, &CQvrCompareDlg::OnListDblClick);
    connect(m_bottomList, &CReportCtrl::RowDoubleClicked, this, &CQvrCompareDlg::OnListDblClick);
    connect(m_topList, &CReportCtrl::FindNextRequested, this, &CQvrCompareDlg::OnListFindNext);
    connect(m_bottomList, &CReportCtrl::FindNextRequested, this, &CQvrCompareDlg::OnListFindNext);

    // A run reads at most 254 characters of a box: a longer text (a paste)
    // is named on the status line, never cut without a word.
    for (const auto& [id, name] : kLimitedEdits) {
        const int edit = id;
        connect(static_cast<QLineEdit*>(GetDlgItem(id)), &QLineEdit::textEdited, this,
                [this, edit] { OnEditTextCut(edit); });
    }
    // Shift+F10 asks for the context menu as the Menu key does.
    auto* menuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, &CQvrCompareDlg::OpenContextMenuFromKeyboard);

    // The window has no system-menu box; Alt+Space opens the same menu.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { m_systemMenu.popup(mapToGlobal(QPoint(0, 0))); });
    // Desktops keep Alt+Space for their own window menu: F1 opens the About
    // box as well.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnSysCommand(IDM_ABOUTBOX); });

    m_editorTimer.setInterval(kEditorCheckMs);
    connect(&m_editorTimer, &QTimer::timeout, this, &CQvrCompareDlg::CheckEditors);
    m_countTimer.setInterval(kCountUpdateMs);
    connect(&m_countTimer, &QTimer::timeout, this, &CQvrCompareDlg::ShowRunningCounts);
}

void CQvrCompareDlg::OnEditTextCut(int id) {
    for (const auto& [box, name] : kLimitedEdits) {
        if (box != id) continue;
        const QString text = static_cast<QLineEdit*>(GetDlgItem(id))->text();
        if (CharacterCount(text.toStdString()) <= kEditTextLimit) return;
        const std::string limit = std::to_string(kEditTextLimit);
        SetStatusText(std::string(" ") + name + " is longer than " + limit + " characters: only the first " + limit +
                      " are used - check the text.");
    }
}

void CQvrCompareDlg::OpenContextMenuFromKeyboard() {
    CReportCtrl* list = m_topList->hasFocus() ? m_topList : m_bottomList->hasFocus() ? m_bottomList : nullptr;
    if (!list) return;
    // At the selected row's cell, or the list's top corner without one.
    QPoint at(0, 0);
    const int row = list->SelectedRow();
    const int column = list->FirstVisibleColumn();
    if (row >= 0 && column >= 0) {
        const QRect cell = list->visualRect(list->model()->index(row, column));
        if (cell.isValid()) at = cell.center();
    }
    OnContextMenu(list == m_topList, list->viewport()->mapToGlobal(at));
}

void CQvrCompareDlg::ShowRunningCounts() {
    // Only the rows of this run count: the Top List once its listing is being
    // posted, the Bottom List once the scan has started.
    auto show = [this](bool counting, int id, const CReportCtrl& list) {
        if (!counting) return;
        const std::string count = std::to_string(list.GetItemCount());
        if (GetDlgItemText(id) != count) SetDlgItemText(id, count);
    };
    show(m_countingTopRows && g_populateInProgress, IDC_TOPCOUNT, *m_topList);
    show(m_countingBottomRows && g_reportInProgress, IDC_BTMCOUNT, *m_bottomList);
}

void CQvrCompareDlg::InitDialog() {
    // System menu with the About command.
    const QString aboutText = Text(kAboutMenuText);
    if (!aboutText.isEmpty()) {
        m_systemMenu.addSeparator();
        QAction* about = m_systemMenu.addAction(aboutText);
        about->setData(IDM_ABOUTBOX);
        connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }
    setWindowIcon(ProgramIcon());

    const ScmContext& context = m_settings.context;
    SetDlgItemText(IDC_BROKER, context.broker);
    SetDlgItemText(IDC_USERID, context.userId);
    SetDlgItemText(IDC_PASSWORD, context.password);
    SetDlgItemText(IDC_PROJECT, context.project);
    SetDlgItemText(IDC_STATE, context.state);
    SetDlgItemText(IDC_PACKAGE, context.package);
    SetDlgItemText(IDC_TEMPPATH, context.tempPath);
    SetDlgItemText(IDC_LOCALPATH, context.localPath);

    const DisplayOptions& display = m_settings.display;
    SetCheck(IDC_SHOWNEW, display.showNewFiles != 0);
    SetCheck(IDC_SHOWSAME, display.showSameFiles != 0);
    SetCheck(IDC_SHOWDIFF, display.showDiffFiles != 0);
    SetCheck(IDC_SHOWMISSING, display.showMissingFiles != 0);
    SetCheck(IDC_SUBFOLDERS, display.subFolders != 0);

    m_topList->ApplyColumnSpec(kTopListSpec);
    m_topList->SetNotifyId(IDC_TOPLIST);
    m_topList->ShowGridLines(true);
    m_topList->SortByColumn(0, true);
    AddBlankTopRows();
    m_savedTextColor = m_topList->GetCellTextColor(0, 0);
    m_savedBackColor = m_topList->GetCellBackColor(0, 0);

    m_bottomList->ApplyColumnSpec(kBottomListSpec);
    m_bottomList->SetNotifyId(IDC_BTMLIST);
    m_bottomList->ShowGridLines(true);
    m_bottomList->SortByColumn(0, true);
    AddBlankBottomRows();
    m_topList->Flush();
    m_bottomList->Flush();
    // The scan reports every accepted file to the classifier.
    MakeWorkflows();
    m_topList->scrollToTop();
    m_bottomList->scrollToTop();

    SetStatusText(kReadyStatus);
    setWindowTitle(QStringLiteral("%1 %2 - Compare Local Files with the Quorvan Repository")
                       .arg(Text(kProgramName), Text(kProgramVersion)));
}

// ---- controls -------------------------------------------------------------------

QWidget* CQvrCompareDlg::GetDlgItem(int id) const {
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

std::string CQvrCompareDlg::GetDlgItemText(int id) const {
    QString text;
    QWidget* widget = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    else if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    return LimitToEditText(text.toStdString());
}

void CQvrCompareDlg::SetDlgItemText(int id, const std::string& text) {
    const QString value = QString::fromStdString(text);
    QWidget* widget = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(value);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(value);
    else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(value);
}

bool CQvrCompareDlg::IsChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return button && button->isChecked();
}

void CQvrCompareDlg::SetCheck(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id))) button->setChecked(checked);
}

// ---- list operations ------------------------------------------------------------

int CQvrCompareDlg::CountTopRows() const { return CountFilledRows(m_topList->Table()); }

int CQvrCompareDlg::CountBottomRows() const { return CountFilledRows(m_bottomList->Table()); }

void CQvrCompareDlg::AddBlankTopRows() { AddBlankRows(m_topList->Table(), kBlankTopRows); }

void CQvrCompareDlg::AddBlankBottomRows() { AddBlankRows(m_bottomList->Table(), kBlankBottomRows); }

// ---- workflows --------------------------------------------------------------------

void CQvrCompareDlg::MakeWorkflows() {
    m_workflows = std::make_unique<CompareWorkflows>(
        WorkflowParts{*this, m_topList->Table(), m_bottomList->Table(), m_settings, m_topRecords, m_installDir,
                      *m_trace, m_host, m_pump});
    if (!m_launchDir.empty()) m_workflows->SetLaunchDirectory(m_launchDir);
}

void CQvrCompareDlg::SetEnvironment(std::string installDir, TraceLog& trace) {
    m_installDir = std::move(installDir);
    m_trace = &trace;
    MakeWorkflows();
}

void CQvrCompareDlg::SetLaunchDirectory(std::string folder) {
    m_launchDir = std::move(folder);
    m_workflows->SetLaunchDirectory(m_launchDir);
}

void CQvrCompareDlg::OnBtnGenTopScmList() {
    // The Top List is not indexed here: a report pairs its files by a rule of
    // its own, and a list that is only looked at, sorted and exported never
    // needs the index, which costs tens of megabytes on a long list. The
    // first lookup that needs it starts it.
    m_workflows->OnBtnGenTopScmList();
    AfterRun(IDC_GEN_TOP);
}

void CQvrCompareDlg::OnBtnGenBtmReport() {
    m_workflows->OnBtnGenBtmReport();
    AfterRun(IDC_GEN_BTM);
}

void CQvrCompareDlg::AfterRun(int buttonId) {
    // A Cancel click returns here from inside the run it cancelled; the run
    // itself comes back here when it has ended.
    if (g_populateInProgress || g_reportInProgress) return;
    for (CReportCtrl* list : {m_topList, m_bottomList}) {
        list->Flush();
        list->ShowTableSort();
        list->scrollToTop();
    }
    GetDlgItem(buttonId)->setFocus(Qt::OtherFocusReason);
}

void CQvrCompareDlg::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void CQvrCompareDlg::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

void CQvrCompareDlg::RepaintTopList() {
    m_topList->Flush();
    m_topList->viewport()->update();
    // The listing is posted into the emptied list next.
    m_countingTopRows = true;
}

void CQvrCompareDlg::ScanStarted(const std::string& localPath) {
    m_lastScannedFolder = localPath;
    m_countingBottomRows = true;
}

void CQvrCompareDlg::DisableForRun() {
    for (int id : kRunLockedControls) GetDlgItem(id)->setEnabled(false);
    GetDlgItem(g_populateInProgress ? IDC_GEN_BTM : IDC_GEN_TOP)->setEnabled(false);
    m_countTimer.start();
}

void CQvrCompareDlg::EnableAfterRun() {
    for (int id : kRunLockedControls) GetDlgItem(id)->setEnabled(true);
    GetDlgItem(IDC_GEN_BTM)->setEnabled(true);
    GetDlgItem(IDC_GEN_TOP)->setEnabled(true);
    m_countTimer.stop();
    m_countingTopRows = false;
    m_countingBottomRows = false;
}

void CQvrCompareDlg::StartBlinkTimer() {
    if (m_timerId != 0) killTimer(m_timerId);
    m_timerId = startTimer(1000);
}

void CQvrCompareDlg::StopBlinkTimer() {
    if (m_timerId != 0) killTimer(m_timerId);
    m_timerId = 0;
    if (StatusText().empty()) SetStatusText(" Ready");
}

int CQvrCompareDlg::FindTopRowFor(const std::string& key, int& row) const {
    const int count = CountTopRows();
    if (count == 0) return -1;
    // The classifier's own index over the Top List: one copy, rebuilt only
    // when the list changed, and the very rule the report matched with. A
    // click never waits for it: until it is ready a scan finds the same row.
    const int found = m_workflows->GetClassifier().FindCounterpartNow(key);
    if (found < 0 || found >= count) return -1;
    row = found;
    return 1;
}

std::optional<std::string> CQvrCompareDlg::BrowseForFolder(const std::string& startFolder) {
    auto chosen = m_host.BrowseForFolder("Select a directory...", startFolder);
    if (!chosen || chosen->empty()) return std::nullopt;
    return chosen;
}

// ---- messages and commands ----------------------------------------------------

void CQvrCompareDlg::OnCommand(int id) {
    switch (id) {
    case IDCANCEL_BUTTON: OnCancel(); return;
    case IDC_GEN_TOP:
    case ID_GEN_TOP_LIST: OnBtnGenTopScmList(); return;
    case IDC_GEN_BTM: OnBtnGenBtmReport(); return;
    case IDC_CLEAR_TOP: OnClearTopList(); return;
    case IDC_CLEAR_BTM: OnClearBottomList(); return;
    case IDC_BROWSE_TEMP: OnBrowse(IDC_TEMPPATH); return;
    case IDC_BROWSE_LOCAL: OnBrowse(IDC_LOCALPATH); return;
    case IDC_SHOWNEW:
    case IDC_SHOWDIFF:
    case IDC_SHOWSAME:
    case IDC_SHOWMISSING:
    case IDC_SUBFOLDERS: OnToggle(id); return;
    case IDC_REGSETTINGS: OnBtnRegSettings(); return;
    case IDC_FIND_TOP: OnFindTopList(); return;
    case IDC_FIND_BTM: OnFindBottomList(); return;
    case ID_FIND_NEXT_TOP: OnFindNextTopList(); return;
    case ID_FIND_NEXT_BTM: OnFindNextBottomList(); return;
    case IDC_EXPORT_TOP: OnExportTopList(); return;
    case IDC_EXPORT_BTM: OnExportBottomList(); return;
    default: break;
    }
    if (id >= ID_TOP_WINDIFF && id <= ID_TOP_LAST) OnTopListViewer(id);
    else if (id >= ID_BTM_WINDIFF && id <= ID_BTM_LAST) OnBottomListViewer(id);
}

void CQvrCompareDlg::PostCommand(int id) {
    QMetaObject::invokeMethod(this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void CQvrCompareDlg::timerEvent(QTimerEvent* event) { OnTimer(event->timerId()); }

void CQvrCompareDlg::OnTimer(int timerId) {
    if (timerId == 0 || timerId != m_timerId) return;
    killTimer(m_timerId);
    m_timerId = 0;
    const bool statusShown = !StatusText().empty();
    const int button = g_populateInProgress ? IDC_GEN_TOP : (g_reportInProgress ? IDC_GEN_BTM : 0);
    if (statusShown) {
        SetStatusText("");
        if (button != 0) {
            SetDlgItemText(button, "");
            GetDlgItem(button)->setFocus();
        }
    } else if (button != 0) {
        SetStatusText(button == IDC_GEN_TOP ? " WAIT - Processing SCM Repository for the Top List"
                                            : " WAIT - Processing Local Files report for the Bottom List");
        SetDlgItemText(button, "Cancel");
        GetDlgItem(button)->setFocus();
    }
    StartBlinkTimer();
}

void CQvrCompareDlg::OnToggle(int id) {
    const int value = IsChecked(id) ? 0 : 1;
    DisplayOptions& display = m_settings.display;
    switch (id) {
    case IDC_SHOWNEW: display.showNewFiles = value; break;
    case IDC_SHOWDIFF: display.showDiffFiles = value; break;
    case IDC_SHOWSAME: display.showSameFiles = value; break;
    case IDC_SHOWMISSING: display.showMissingFiles = value; break;
    case IDC_SUBFOLDERS: display.subFolders = value; break;
    default: return;
    }
    SetCheck(id, value != 0);
}

void CQvrCompareDlg::OnClearTopList() {
    m_topRecords.RemoveAll();
    // The old rows go; the blank rows alone make the list count as empty.
    m_highlightedTopRow = -1;
    m_topList->RemoveAllRows();
    AddBlankTopRows();
    SetDlgItemText(IDC_TOPCOUNT, "");
}

void CQvrCompareDlg::OnClearBottomList() {
    m_bottomList->RemoveAllRows();
    AddBlankBottomRows();
    SetDlgItemText(IDC_BTMCOUNT, "");
}

void CQvrCompareDlg::OnBrowse(int editId) {
    // The chooser opens at the folder the box names (the temp folder in
    // force for the Temp box), so that Choose alone keeps it. A cancelled
    // chooser leaves the box as it was.
    const auto folder = BrowseForFolder(GetDlgItemText(editId));
    if (!folder) return;
    // A temp folder the checkout must not write into is refused where it is
    // chosen, with the text the report would end with.
    if (editId == IDC_TEMPPATH) {
        const std::string problem = TempFolderProblem(*folder, GetDlgItemText(IDC_LOCALPATH));
        if (!problem.empty()) {
            m_host.MessageBox(problem, MbButtons::Ok, MbIcon::Stop);
            return;
        }
    }
    SetDlgItemText(editId, *folder);
}

void CQvrCompareDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) RunAboutBox();
    // Every other system command keeps the window's default handling.
}

void CQvrCompareDlg::RunAboutBox() {
    CAboutDlg about(this);
    m_modalRunner(about);
}

std::string CQvrCompareDlg::LocalKeyOfBottomRow(int row) const {
    // The key the report classified the file by, in the file's own letter
    // case, so the row found here is the counterpart the report compared it with.
    return m_workflows->GetClassifier().LocalKeyInOwnCase(m_bottomList->GetItemText(row, 2) +
                                                m_bottomList->GetItemText(row, 1));
}

void CQvrCompareDlg::RestoreHighlightedTopRow() {
    if (m_highlightedTopRow == -1) return;
    m_topList->SetCellTextColor(m_highlightedTopRow, -1, m_savedTextColor, true);
    m_topList->SetCellBackColor(m_highlightedTopRow, -1, m_savedBackColor, true);
}

void CQvrCompareDlg::HighlightTopRowFor(int bottomRow, bool recolour) {
    int topRow = -1;
    if (FindTopRowFor(LocalKeyOfBottomRow(bottomRow), topRow) != 1) return;
    if (recolour) {
        m_savedTextColor = m_topList->GetCellTextColor(topRow, 0);
        m_savedBackColor = m_topList->GetCellBackColor(topRow, 0);
    }
    m_highlightedTopRow = topRow;
    m_topList->setFocus();
    m_topList->EnsureVisible(topRow);
    if (recolour) {
        m_topList->SetCellTextColor(topRow, -1, kHighlightText, true);
        m_topList->SetCellBackColor(topRow, -1, kHighlightBack, true);
    }
    m_bottomList->setFocus();
    m_bottomList->SelectRow(bottomRow);
    // Painted at once, without dispatching any event: a nested dispatch here
    // held back the second click of a double-click until the mouse moved.
    m_topList->viewport()->repaint();
    m_bottomList->viewport()->repaint();
    if (!recolour) {
        OnCommand(ID_BTM_WINDIFF);
        m_bottomList->setFocus();
    }
}

void CQvrCompareDlg::OnListClick(int notifyId, int row) {
    m_activeList = 0;
    RestoreHighlightedTopRow();
    if (notifyId == IDC_BTMLIST) {
        m_activeList = 2;
        m_bottomPosition = row;
        SetStatusText(" Ready - Right click on the selected item for more options");
        HighlightTopRowFor(row, true);
    } else if (notifyId == IDC_TOPLIST) {
        m_activeList = 1;
        m_topPosition = row;
    }
}

void CQvrCompareDlg::OnListDblClick(int notifyId, int row) {
    m_activeList = 0;
    if (notifyId == IDC_BTMLIST) {
        m_activeList = 2;
        m_bottomPosition = row;
        HighlightTopRowFor(row, false);
        // A Missing row has no local file: its repository file is shown.
        if (row >= 0 && row < CountBottomRows() && m_bottomList->Table().GetItemText(row, BottomStatus) == "Missing") {
            OnBottomListViewer(kBottomEditor);
        }
    } else if (notifyId == IDC_TOPLIST) {
        m_activeList = 1;
        m_topPosition = row;
    }
}

void CQvrCompareDlg::OnListFindNext() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_activeList == 1) PostCommand(ID_FIND_NEXT_TOP);
    else if (m_activeList == 2) PostCommand(ID_FIND_NEXT_BTM);
    QApplication::restoreOverrideCursor();
}

void CQvrCompareDlg::reject() { OnCancel(); }

void CQvrCompareDlg::ReadContextFromControls() {
    ScmContext& context = m_settings.context;
    context.userId = GetDlgItemText(IDC_USERID);
    context.password = GetDlgItemText(IDC_PASSWORD);
    context.broker = GetDlgItemText(IDC_BROKER);
    context.project = GetDlgItemText(IDC_PROJECT);
    context.state = GetDlgItemText(IDC_STATE);
    context.package = GetDlgItemText(IDC_PACKAGE);
    context.tempPath = GetDlgItemText(IDC_TEMPPATH);
    context.localPath = GetDlgItemText(IDC_LOCALPATH);
}

void CQvrCompareDlg::OnCancel() {
    // Exit during a run: the tool the run waits for is ended first, so it
    // does not outlive the program writing into its temp folder.
    m_workflows->Bridge().GetLauncher().EndRunningTools();
    // What is saved is what the edit boxes hold now.
    ReadContextFromControls();
    SaveWindowGeometry();
    // Normally the shutdown ends the process here; when it returns, the
    // window closes with the cancel result.
    if (m_shutdown) m_shutdown();
    done(IDCANCEL);
}

}  // namespace qvr
