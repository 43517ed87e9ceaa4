#include "ui/find_top_dlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/settings.h"
#include "ui/report_ctrl.h"

namespace qvr {
namespace {

constexpr const char* kFindStringKey = "FindString";

// Controls the search does not use: present with their values, never seen.
template <typename Widget>
Widget* HiddenControl(Widget* widget) {
    widget->setEnabled(false);
    widget->setVisible(false);
    return widget;
}

}  // namespace

CFindTopDlg::CFindTopDlg(IProfileStore& store, std::string findText, QWidget* owner)
    : QDialog(owner), m_store(store), m_findText(std::move(findText)) {
    setObjectName("105");
    setWindowTitle("Find");
    BuildControls();
    m_textBox->setText(QString::fromStdString(m_findText));
    // The button starts enabled whatever the text; only edits change it.
    connect(m_textBox, &QLineEdit::textChanged, this, [this] { OnTextChanged(); });
    m_textBox->setFocus();
}

void CFindTopDlg::BuildControls() {
    auto* label = new QLabel("File Name:", this);
    m_textBox = new QLineEdit(this);
    m_textBox->setObjectName("2100");
    label->setBuddy(m_textBox);

    auto* wholeWord = HiddenControl(new QCheckBox("Match &whole word only", this));
    wholeWord->setObjectName("2203");
    auto* matchCase = HiddenControl(new QCheckBox("Match &case", this));
    matchCase->setObjectName("2202");
    m_wholeWordBox = wholeWord;
    m_matchCaseBox = matchCase;

    auto* direction = HiddenControl(new QGroupBox("Direction", this));
    auto* up = new QRadioButton("&Up", direction);
    up->setObjectName("2200");
    auto* down = new QRadioButton("&Down", direction);
    down->setObjectName("2201");
    down->setChecked(true);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(up);
    directionLayout->addWidget(down);
    m_upButton = up;

    m_findButton = new QPushButton("&Find", this);
    m_findButton->setObjectName("1");
    m_findButton->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("2");
    connect(m_findButton, &QPushButton::clicked, this, &CFindTopDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CFindTopDlg::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_textBox, 0, 1);
    grid->addWidget(m_findButton, 0, 2);
    grid->addWidget(wholeWord, 1, 0, 1, 2);
    grid->addWidget(cancel, 1, 2);
    grid->addWidget(matchCase, 2, 0, 1, 2);
    grid->addWidget(direction, 2, 1);
}

void CFindTopDlg::UpdateData() {
    m_findText = m_textBox->text().toStdString();
    m_wholeWord = static_cast<QCheckBox*>(m_wholeWordBox)->isChecked() ? 1 : 0;
    m_matchCase = static_cast<QCheckBox*>(m_matchCaseBox)->isChecked() ? 1 : 0;
    m_direction = static_cast<QRadioButton*>(m_upButton)->isChecked() ? 0 : 1;
}

void CFindTopDlg::OnTextChanged() { m_findButton->setEnabled(!m_textBox->text().isEmpty()); }

void CFindTopDlg::accept() {
    UpdateData();
    m_store.WriteProfileString(kSettingsSection, kFindStringKey, m_findText);
    QDialog::accept();
}

void CFindTopDlg::reject() {
    UpdateData();
    QDialog::reject();
}

void ShowFindHit(CReportCtrl& list, const FindOutcome& outcome) {
    if (!outcome.Found()) return;
    list.setFocus();
    // A hit below the view is shown with rows after it; a hit above it would
    // stay out of sight that way, so the hit itself is always brought in.
    list.EnsureVisible(outcome.scrollTo);
    list.EnsureVisible(outcome.hit);
    list.SelectRow(outcome.hit);
}

void RunFind(ListSearch& search, SearchList which, CReportCtrl& list, int filledRows, int& position,
             IProfileStore& store, QWidget* owner, const ModalRunner& runner) {
    CFindTopDlg dialog(store, search.TextForDialog(which), owner);
    if (runner(dialog) != QDialog::Accepted) return;
    const std::optional<FindOutcome> outcome =
        search.Find(which, dialog.FindText(), list.Table(), filledRows, position);
    if (outcome) ShowFindHit(list, *outcome);
}

void RunFindNext(const ListSearch& search, CReportCtrl& list, int filledRows, int& position) {
    ShowFindHit(list, search.FindNext(list.Table(), filledRows, position));
}

}  // namespace qvr
