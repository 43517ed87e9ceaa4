#pragma once
// What the three viewer programs share around their windows: reading their
// command line, reporting errors (a message box for a person, standard error
// for a headless run, so nothing ever waits on a dialog), reading files, and
// running the window or just taking its picture.

#include "tools/viewers/viewer_args.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class QApplication;
class QWidget;

namespace qvr::viewers {

class ViewerApp {
public:
    // fileNames are the placeholders of the usage text ("FILE1", "FILE2").
    ViewerApp(QApplication& app, QString programName, const QStringList& fileNames);

    // Parses the command line. On a usage error or --help it prints the usage
    // (and the error) and returns the exit status to end with.
    std::optional<int> ParseCommandLine(std::size_t fileCount);

    const ViewerArgs& Args() const { return m_args; }
    bool Headless() const { return m_headless; }

    // Reports an error to the user: stderr when headless, else a message box.
    void ReportError(QWidget* parent, const QString& text) const;

    // Reads a whole file; on failure reports why and returns nothing.
    std::optional<std::string> ReadFileOrReport(const QString& path) const;

    // Shows the window and runs the event loop, or in screenshot mode renders
    // it off screen, saves the picture and returns.
    int Run(QWidget& window) const;

private:
    int SaveScreenshot(QWidget& window) const;

    QApplication& m_app;
    QString m_programName;
    QStringList m_fileNames;
    ViewerArgs m_args;
    bool m_headless = false;
};

}  // namespace qvr::viewers
