#include "cli/cli_window.h"

#include "app/settings.h"
#include "app/startup.h"
#include "res/resource.h"

namespace qvr::cli {

std::string CliWorkflowView::GetControlText(int id) {
    return LimitToEditText(m_texts[id]);
}

void CliWorkflowView::SetControlText(int id, const std::string& text) {
    std::string& current = m_texts[id];
    const bool changed = current != text;
    current = text;
    if (id != res::IDC_STATUS || !changed || text.empty()) return;
    if (text.rfind(" Error", 0) == 0) m_errorStatusSeen = true;
    m_console.PrintLine(std::string(kProgramName) + " status:" + text);
}

void CliWorkflowView::StopBlinkTimer() {
    // The blink may have left the status line empty; the window then shows
    // " Ready".
    if (m_texts[res::IDC_STATUS].empty()) SetControlText(res::IDC_STATUS, " Ready");
}

std::string CliWorkflowView::Status() const {
    const auto found = m_texts.find(res::IDC_STATUS);
    return found == m_texts.end() ? std::string() : found->second;
}

int CliMessageBoxHost::MessageBox(const std::string& text, MbButtons buttons, MbIcon /*icon*/) {
    ++m_boxCount;
    m_console.PrintLine(std::string(kProgramName) + ": " + text);
    switch (buttons) {
    case MbButtons::YesNo:
    case MbButtons::YesNoCancel: return IDYES;
    case MbButtons::Ok:
    case MbButtons::OkCancel: break;
    }
    return IDOK;
}

}  // namespace qvr::cli
