#pragma once
// The difference viewer's window: both files side by side in one table (so
// the two sides always scroll together), the differing rows coloured, a
// status line with the number of differences, and F8 / Shift+F8 to step
// through them.

#include "tools/viewers/line_diff.h"

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QTableView;

namespace qvr::viewers {

class DiffModel;

class DiffWindow : public QMainWindow {
    Q_OBJECT
public:
    DiffWindow(const QString& leftPath, const QString& rightPath, std::vector<std::string> left,
               std::vector<std::string> right, QWidget* parent = nullptr);
    ~DiffWindow() override;

    std::size_t DifferenceCount() const { return m_hunks.size(); }

public slots:
    void NextDifference();
    void PreviousDifference();

private:
    void BuildActions();
    void BuildTable();
    void BuildStatusBar();
    void ShowDifference(std::size_t hunk);
    void UpdateStatus();
    // The row with the focus (0 when none has it yet).
    std::size_t CurrentRow() const;

    DiffModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_status = nullptr;
    QAction* m_next = nullptr;
    QAction* m_previous = nullptr;
    std::vector<DiffHunk> m_hunks;
    long m_currentHunk = -1;
};

}  // namespace qvr::viewers
