#pragma once
// The About box: the program's name, what it is for, its version and icon.

#include <QDialog>

namespace qvr {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace qvr
