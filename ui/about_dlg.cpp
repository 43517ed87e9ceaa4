#include "ui/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/startup.h"
#include "res/resource.h"
#include "ui/program_icon.h"

namespace qvr {
namespace {

QLabel* CentredLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(res::IDD_ABOUTBOX));
    setWindowTitle(QStringLiteral("About..."));
    setWindowIcon(ProgramIcon());
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    QLabel* name = CentredLabel(QString::fromUtf8("QvrCompare\u00ae"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(
        CentredLabel(QStringLiteral("Utility for Comparing Local Files to the Quorvan Repository"), this));
    layout->addWidget(CentredLabel(QString::fromLatin1(kProgramVersion), this));

    auto* bottom = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(ProgramIconPixmap(32));
    icon->setFrameShape(QFrame::Box);
    bottom->addWidget(icon);
    bottom->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(res::IDOK_BUTTON));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(ok);
    bottom->addStretch();
    bottom->addSpacing(icon->sizeHint().width());
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace qvr
