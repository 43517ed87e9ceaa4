#pragma once
// The hex viewer's window: the dump, Ctrl+G to go to an offset, and a status
// line with the file size and the marked offset.

#include <QMainWindow>

#include <cstdint>

class QLabel;

namespace qvr::viewers {

class HexView;
class ViewerApp;

class HexWindow : public QMainWindow {
    Q_OBJECT
public:
    HexWindow(const ViewerApp& app, QString path, QWidget* parent = nullptr);

    // Opens the file; false (after reporting why) when it cannot be read.
    bool Load();

public slots:
    void AskForOffset();

private:
    void BuildMenus();
    void ShowOffset(std::uint64_t offset);

    const ViewerApp& m_app;
    QString m_path;
    HexView* m_view = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QLabel* m_offsetLabel = nullptr;
};

}  // namespace qvr::viewers
