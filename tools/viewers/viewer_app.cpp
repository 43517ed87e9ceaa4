#include "tools/viewers/viewer_app.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

namespace qvr::viewers {

namespace {

void PrintLine(FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

std::vector<std::string> ArgumentsWithoutProgram(const QStringList& arguments) {
    std::vector<std::string> args;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        args.push_back(arguments[i].toLocal8Bit().toStdString());
    }
    return args;
}

}  // namespace

ViewerApp::ViewerApp(QApplication& app, QString programName, const QStringList& fileNames)
    : m_app(app), m_programName(std::move(programName)), m_fileNames(fileNames) {
    m_app.setApplicationName(m_programName);
    const QString platform = QGuiApplication::platformName();
    m_headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

std::optional<int> ViewerApp::ParseCommandLine(std::size_t fileCount) {
    m_args = ParseViewerArgs(ArgumentsWithoutProgram(m_app.arguments()), fileCount);
    if (!m_args.screenshotPath.empty()) m_headless = true;
    std::vector<std::string> names;
    for (const auto& name : m_fileNames) names.push_back(name.toStdString());
    QString usage = QString::fromStdString(UsageText(m_programName.toStdString(), names));
    if (m_args.helpRequested) {
        PrintLine(stdout, usage);
        return 0;
    }
    if (!m_args.Ok()) {
        const QString error = QString::fromStdString(m_args.error);
        PrintLine(stderr, m_programName + QStringLiteral(": ") + error);
        PrintLine(stderr, usage);
        // Started from another program's menu there is no terminal to read
        // the usage on, so a person gets it in a box too.
        if (!m_headless) QMessageBox::warning(nullptr, m_programName, error + QStringLiteral("\n\n") + usage);
        return 2;
    }
    return std::nullopt;
}

void ViewerApp::ReportError(QWidget* parent, const QString& text) const {
    if (m_headless) {
        PrintLine(stderr, m_programName + QStringLiteral(": ") + text);
        return;
    }
    QMessageBox::critical(parent, m_programName, text);
}

std::optional<std::string> ViewerApp::ReadFileOrReport(const QString& path) const {
    if (QFileInfo(path).isDir()) {
        ReportError(nullptr, QStringLiteral("Cannot open \"%1\": it is a folder.").arg(path));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ReportError(nullptr, QStringLiteral("Cannot open \"%1\": %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ReportError(nullptr, QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return bytes.toStdString();
}

int ViewerApp::Run(QWidget& window) const {
    if (!m_args.screenshotPath.empty()) return SaveScreenshot(window);
    window.show();
    return m_app.exec();
}

int ViewerApp::SaveScreenshot(QWidget& window) const {
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QApplication::processEvents();
    QString path = QString::fromLocal8Bit(m_args.screenshotPath.c_str());
    if (!window.grab().save(path, "PNG")) {
        PrintLine(stderr, m_programName + QStringLiteral(": cannot write the screenshot \"%1\"").arg(path));
        return 1;
    }
    return 0;
}

}  // namespace qvr::viewers
