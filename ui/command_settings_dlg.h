#pragma once
// CSettingsDlg: the "Registry Settings" dialog, in which the user edits the
// command templates that drive the SCM tools and the difference viewer. The
// package in force is shown read-only, because it decides which defaults
// "Reset to Defaults" offers.

#include <QDialog>
#include <functional>
#include <string>

#include "app/profile_store.h"
#include "app/settings.h"

class QLineEdit;

namespace qvr {

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // The texts are copied; installDir names the default difference viewer.
    CSettingsDlg(std::string package, const CommandTemplates& templates, std::string installDir,
                 QWidget* owner = nullptr);

    // After OK: the five templates, the repository folder and the exclude
    // patterns as the user left them. Reset to Defaults leaves the last two.
    const CommandTemplates& Templates() const { return m_templates; }
    const std::string& Package() const { return m_package; }

    // The edit box with the given id (2400 to 2407), for the window's tests.
    QLineEdit* Edit(int id) const;

    // Command 2010: the default templates for this dialog's package into the
    // boxes; nothing is saved until OK.
    void OnBtnResetDefaults();

public slots:
    // OnOK: reads the boxes (at most 254 characters each) and ends with OK.
    void accept() override;

private:
    void BuildControls();
    void OnInitDialog();
    void AddRow(int id, const char* label, int row);

    std::string m_package;
    CommandTemplates m_templates;
    std::string m_installDir;
};

// The main window's "Reg Setings..." step: runs the dialog with the package
// and the templates in force; on OK the templates are replaced and written to
// the settings at once ("VlxFmt", "VgtFmt", "VqryFmt", "SqlFmt", "DiffPgm",
// "RepoFolder", "ExcludePatterns").
// True on OK; Cancel changes nothing.
bool EditCommandTemplates(const std::string& package, CommandTemplates& templates, const std::string& installDir,
                          IProfileStore& store, QWidget* owner, const std::function<int(QDialog&)>& runner);

}  // namespace qvr
