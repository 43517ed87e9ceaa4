#include "cli/cli_console.h"

namespace qvr::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Back to the start of the line and erase to its end.
constexpr const char* kClearLine = "\r\x1b[K";

}  // namespace

CliConsole::CliConsole(std::ostream& err, bool isTerminal, bool canErase)
    : m_err(err), m_isTerminal(isTerminal), m_canErase(canErase) {}

void CliConsole::EraseShown() {
    if (m_canErase) {
        m_err << kClearLine;
    } else if (m_progressShown) {
        m_err << '\r' << std::string(m_shownText.size(), ' ') << '\r';
    } else {
        m_err << '\r';
    }
}

void CliConsole::PrintLine(const std::string& text) {
    ClearProgress();
    m_err << text << '\n';
    m_err.flush();
}

void CliConsole::Tick() {
    if (!m_isTerminal || !m_source) return;
    Tick(Clock::now());
}

void CliConsole::Tick(Clock::time_point now) {
    if (!m_isTerminal || !m_source) return;
    if (m_progressShown && now - m_lastDrawn < kRedrawInterval) return;
    Redraw(now);
}

void CliConsole::Redraw(Clock::time_point now) {
    if (!m_isTerminal || !m_source) return;
    m_lastDrawn = now;
    const std::string text = m_source();
    if (text.empty()) return;
    if (m_progressShown && text == m_shownText) return;
    EraseShown();
    m_err << text;
    m_err.flush();
    m_progressShown = true;
    m_shownText = text;
}

void CliConsole::Finish() {
    ClearProgress();
    m_source = nullptr;
}

void CliConsole::ClearProgress() {
    if (!m_progressShown) return;
    EraseShown();
    m_progressShown = false;
    m_shownText.clear();
}

}  // namespace qvr::cli
