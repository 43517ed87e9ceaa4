#include "ui/command_settings_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/platform.h"

namespace qvr {
namespace {

constexpr int kPackageBox = 2400;
constexpr int kVlxBox = 2401;
constexpr int kVgtBox = 2402;
constexpr int kSqlBox = 2403;
constexpr int kVqryBox = 2404;
constexpr int kDiffBox = 2405;
constexpr int kRepoFolderBox = 2406;
constexpr int kExcludeBox = 2407;
constexpr int kResetButton = 2010;

QString IdName(int id) { return QString::number(id); }

}  // namespace

CSettingsDlg::CSettingsDlg(std::string package, const CommandTemplates& templates, std::string installDir,
                           QWidget* owner)
    : QDialog(owner), m_package(std::move(package)), m_templates(templates), m_installDir(std::move(installDir)) {
    setObjectName("104");
    setWindowTitle("Registry Settings");
    BuildControls();
    OnInitDialog();
}

void CSettingsDlg::AddRow(int id, const char* label, int row) {
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* text = new QLabel(label, this);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(IdName(id));
    text->setBuddy(edit);
    grid->addWidget(text, row, 0);
    grid->addWidget(edit, row, 1);
}

void CSettingsDlg::BuildControls() {
    auto* grid = new QGridLayout(this);
    setLayout(grid);
    AddRow(kPackageBox, "Package:", 0);
    AddRow(kVlxBox, "VLX Fmt:", 1);
    AddRow(kVgtBox, "VGT Fmt:", 2);
    AddRow(kSqlBox, "SQL Fmt:", 3);
    AddRow(kVqryBox, "VQRY Fmt:", 4);
    AddRow(kDiffBox, "Diff Pgm:", 5);
    AddRow(kRepoFolderBox, "Repository Folder:", 6);
    AddRow(kExcludeBox, "Exclude Patterns:", 7);
    Edit(kPackageBox)->setReadOnly(true);
    for (int id = kVlxBox; id <= kExcludeBox; ++id) Edit(id)->setMinimumWidth(560);
    Edit(kRepoFolderBox)->setPlaceholderText("blank: the folder most local files are found in");
    Edit(kExcludeBox)->setPlaceholderText("names to leave out, separated by ';' (e.g. *.o;build)");

    auto* reset = new QPushButton("Reset to Defaults", this);
    reset->setObjectName(IdName(kResetButton));
    // Enter on a button that has the focus presses that button.
    reset->setAutoDefault(true);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    cancel->setAutoDefault(true);
    connect(reset, &QPushButton::clicked, this, &CSettingsDlg::OnBtnResetDefaults);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 8, 0, 1, 2);
}

QLineEdit* CSettingsDlg::Edit(int id) const { return findChild<QLineEdit*>(IdName(id)); }

void CSettingsDlg::OnInitDialog() {
    Edit(kPackageBox)->setText(QString::fromStdString(m_package));
    Edit(kVlxBox)->setText(QString::fromStdString(m_templates.vlxFmt));
    Edit(kVgtBox)->setText(QString::fromStdString(m_templates.vgtFmt));
    Edit(kSqlBox)->setText(QString::fromStdString(m_templates.sqlFmt));
    Edit(kVqryBox)->setText(QString::fromStdString(m_templates.vqryFmt));
    Edit(kDiffBox)->setText(QString::fromStdString(m_templates.diffPgm));
    Edit(kRepoFolderBox)->setText(QString::fromStdString(m_templates.repoFolder));
    Edit(kExcludeBox)->setText(QString::fromStdString(m_templates.excludePatterns));
    Edit(kVlxBox)->setFocus();
}

void CSettingsDlg::OnBtnResetDefaults() {
    // "*" is a package too: the with-package templates apply to it.
    const bool withPackage = !m_package.empty();
    Edit(kVlxBox)->setText(QString::fromStdString(DefaultVlxFmt(withPackage)));
    Edit(kVgtBox)->setText(QString::fromStdString(DefaultVgtFmt(withPackage)));
    Edit(kSqlBox)->setText(QString::fromStdString(DefaultSqlFmt()));
    Edit(kVqryBox)->setText(QString::fromStdString(DefaultVqryFmt()));
    m_templates.diffPgm = DefaultDiffPgm(m_installDir, platform::ProgramSearchPath());
    Edit(kDiffBox)->setText(QString::fromStdString(m_templates.diffPgm));
    Edit(kRepoFolderBox)->setText(QString::fromStdString(m_templates.repoFolder));
    Edit(kExcludeBox)->setText(QString::fromStdString(m_templates.excludePatterns));
    Edit(kVlxBox)->setFocus();
}

void CSettingsDlg::accept() {
    auto read = [this](int id) {
        return LimitToEditText(Edit(id)->text().toStdString());
    };
    m_templates.vlxFmt = read(kVlxBox);
    m_templates.vgtFmt = read(kVgtBox);
    m_templates.sqlFmt = read(kSqlBox);
    m_templates.vqryFmt = read(kVqryBox);
    m_templates.diffPgm = read(kDiffBox);
    m_templates.repoFolder = read(kRepoFolderBox);
    m_templates.excludePatterns = read(kExcludeBox);
    QDialog::accept();
}

bool EditCommandTemplates(const std::string& package, CommandTemplates& templates, const std::string& installDir,
                          IProfileStore& store, QWidget* owner, const std::function<int(QDialog&)>& runner) {
    CSettingsDlg dialog(package, templates, installDir, owner);
    if (runner(dialog) != QDialog::Accepted) return false;
    templates = dialog.Templates();
    SaveCommandTemplates(store, templates);
    return true;
}

}  // namespace qvr
