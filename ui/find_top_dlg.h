#pragma once
// CFindTopDlg: the "Find" dialog of both report lists. The user sees only the
// text box, Find and Cancel; whole word, match case and direction exist with
// their initial values but are hidden, and the search never looks at them.
// Also the window's Find and find-next steps around it.

#include <QDialog>
#include <functional>
#include <string>

#include "app/profile_store.h"
#include "compare/list_find.h"

class QLineEdit;
class QPushButton;

namespace qvr {

class CReportCtrl;

class CFindTopDlg : public QDialog {
    Q_OBJECT
public:
    CFindTopDlg(IProfileStore& store, std::string findText, QWidget* owner = nullptr);

    // The dialog's data after it ended.
    const std::string& FindText() const { return m_findText; }
    int WholeWord() const { return m_wholeWord; }
    int MatchCase() const { return m_matchCase; }
    int Direction() const { return m_direction; }  // 0 Up, 1 Down

    QLineEdit& TextBox() { return *m_textBox; }
    QPushButton& FindButton() { return *m_findButton; }

public slots:
    // OnOK: takes the values, remembers the text as typed under "FindString".
    void accept() override;
    // OnCancel: takes the values, ends without OK.
    void reject() override;

private:
    void BuildControls();
    void UpdateData();
    void OnTextChanged();

    IProfileStore& m_store;
    std::string m_findText;
    int m_wholeWord = 0;
    int m_matchCase = 0;
    int m_direction = 1;
    QLineEdit* m_textBox = nullptr;
    QPushButton* m_findButton = nullptr;
    QWidget* m_wholeWordBox = nullptr;
    QWidget* m_matchCaseBox = nullptr;
    QWidget* m_upButton = nullptr;
};

// Runs a modal dialog and returns its result; tests answer without blocking.
using ModalRunner = std::function<int(QDialog&)>;

// Find on one list: the dialog opened with the shared text, then the search
// over the list's filled rows and the hit shown.
void RunFind(ListSearch& search, SearchList which, CReportCtrl& list, int filledRows, int& position,
             IProfileStore& store, QWidget* owner, const ModalRunner& runner);
// Find next on one list from its position.
void RunFindNext(const ListSearch& search, CReportCtrl& list, int filledRows, int& position);
// Gives the list the focus, scrolls to the outcome's row and selects the hit;
// a miss shows nothing.
void ShowFindHit(CReportCtrl& list, const FindOutcome& outcome);

}  // namespace qvr
