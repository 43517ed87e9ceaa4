#pragma once
// The text editor's window: one file in a fixed-width edit box, saved with
// Ctrl+S in its own line ends and encoding, and a Save / Discard / Cancel
// question before unsaved changes would be lost. A file that does not exist
// yet opens empty and is created by the first save.

#include "tools/viewers/text_file_format.h"

#include <QMainWindow>

class QLabel;
class QPlainTextEdit;

namespace qvr::viewers {

class ViewerApp;

class EditorWindow : public QMainWindow {
    Q_OBJECT
public:
    EditorWindow(const ViewerApp& app, QString path, QWidget* parent = nullptr);

    // Loads the file; false (after reporting why) when it exists but cannot
    // be read.
    bool Load();

    // The edited text as the file will hold it before encoding ("\n" line
    // ends). The edit box's own text conversion is not used because it turns
    // non-breaking spaces into blanks.
    QString EditedText() const;

public slots:
    bool Save();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildStatusBar();
    void UpdateFormatLabel();
    void UpdateCursorLabel();
    bool MaySaveChanges();

    const ViewerApp& m_app;
    QString m_path;
    TextFileFormat m_format;
    bool m_newFile = false;
    QPlainTextEdit* m_edit = nullptr;
    QLabel* m_formatLabel = nullptr;
    QLabel* m_cursorLabel = nullptr;
};

}  // namespace qvr::viewers
