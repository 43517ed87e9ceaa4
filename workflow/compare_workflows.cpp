#include "workflow/compare_workflows.h"

#include <algorithm>
#include <thread>

#include "res/resource.h"

namespace qvr {

void AddBlankRows(ReportTable& table, int count) {
    for (int row = 0; row < count; ++row) table.InsertItem(row, "");
}

FileErrorTexts FileErrorTextsFor(int cause, const std::string& fileName) {
    // The causes the report names; every other cause is a plain file error.
    struct CauseWords {
        int cause;
        const char* words;
    };
    static constexpr CauseWords kCauses[] = {
        {CFileException::genericException, "File Operation Error"},
        {CFileException::fileNotFound, "File Not Found"},
        {CFileException::badPath, "Bad Path"},
        {CFileException::tooManyOpenFiles, "Too Many Open Files"},
        {CFileException::accessDenied, "Access Denied"},
        {CFileException::directoryFull, "Directory Full"},
        {CFileException::sharingViolation, "Sharing Violation"},
        {CFileException::lockViolation, "Lock Violation"},
        {CFileException::diskFull, "Disk Full"},
    };
    std::string words = "File Error";
    for (const CauseWords& entry : kCauses) {
        if (entry.cause == cause) words = entry.words;
    }
    return {"CQvrCompareDlg::OnBtnGenBtmReport: END Error: " + words + " - File Name: " + fileName,
            " " + words + ". File Name: " + fileName};
}

CompareWorkflows::CompareWorkflows(const WorkflowParts& parts)
    : m_parts(parts),
      m_bridge(ScmBridgeContext{parts.settings.context, parts.settings.templates, parts.installDir,
                                parts.topRecords, parts.trace, parts.messages, parts.pump, &parts.view}),
      m_classifier(parts.topList, parts.bottomList, parts.settings.context, parts.settings.display,
                   parts.pump) {
    m_scanner.SetCallback(OnScanEvent, &m_classifier);
    m_scanner.SetNoteCallback(OnScanEvent);
    // Reading and comparing files overlap with the walk of the folders.
    m_classifier.SetCompareThreads(
        static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)));
    m_scanner.SetTrace(&parts.trace);
    m_classifier.SetTrace(&parts.trace);
}

void CompareWorkflows::SetStatus(const std::string& text) { SetText(res::IDC_STATUS, text); }

void CompareWorkflows::TakeTempPathFromBox() {
    // The folder the user typed is where the tools put their copies.
    std::string typed = Text(res::IDC_TEMPPATH);
    if (!typed.empty()) m_parts.settings.context.tempPath = std::move(typed);
}

}  // namespace qvr
