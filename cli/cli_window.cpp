#include "cli/cli_window.h"

#include <utility>

#include "app/settings.h"
#include "app/startup.h"
#include "res/resource.h"

namespace qvr::cli {
namespace {

// The window's progress texts that mean something without the window, by
// their start.
constexpr std::pair<const char*, const char*> kProgressWords[] = {
    {" WAIT - Processing SCM Repository", "listing the repository"},
    {" WAIT - Processing Local Files", "comparing the local files"},
    {" WAIT - Sorting", "sorting the list by path"},
};

}  // namespace

StatusLine StatusLineFor(const std::string& status) {
    if (status.rfind(" Ready", 0) == 0 || status.rfind(" WAIT", 0) == 0) {
        for (const auto& [start, words] : kProgressWords) {
            if (status.rfind(start, 0) == 0) return {true, words};
        }
        return {true, {}};
    }
    const std::size_t first = status.find_first_not_of(' ');
    return {false, first == std::string::npos ? std::string() : status.substr(first)};
}

std::string CliWorkflowView::GetControlText(int id) {
    return LimitToEditText(m_texts[id]);
}

void CliWorkflowView::SetControlText(int id, const std::string& text) {
    std::string& current = m_texts[id];
    const bool changed = current != text;
    current = text;
    if (id != res::IDC_STATUS || !changed || text.empty()) return;
    if (text.rfind(" Error", 0) == 0) m_errorStatusSeen = true;
    const StatusLine line = StatusLineFor(text);
    if (line.text.empty() || (line.progress && !m_notes)) return;
    m_console.PrintLine(kCliLinePrefix + line.text);
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
    m_console.PrintLine(kCliLinePrefix + text);
    switch (buttons) {
    case MbButtons::YesNo:
    case MbButtons::YesNoCancel: return IDYES;
    case MbButtons::Ok:
    case MbButtons::OkCancel: break;
    }
    return IDOK;
}

}  // namespace qvr::cli
