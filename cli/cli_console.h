#pragma once
// Standard error of the headless front end: the window's status texts and
// message boxes as lines, and, when standard error is a terminal, one
// progress line redrawn in place (at most ten times a second) below them.

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace qvr::cli {

class CliConsole {
public:
    using Clock = std::chrono::steady_clock;
    // isTerminal: whether err is a terminal; only then is a progress line
    // drawn. canErase: whether that terminal takes the erase-line sequence
    // (not so with TERM=dumb); without it a shorter line is blanked out with
    // spaces.
    CliConsole(std::ostream& err, bool isTerminal, bool canErase = true);

    // A whole line; a progress line on screen is cleared first and drawn
    // again on the next tick.
    void PrintLine(const std::string& text);

    // What the progress line shows; empty draws nothing.
    void SetProgressSource(std::function<std::string()> source) { m_source = std::move(source); }
    // Redraws the progress line when a tenth of a second has passed since the
    // last drawing.
    void Tick();
    // Redraws now, whatever the time (the clock is for tests).
    void Redraw(Clock::time_point now);
    void Tick(Clock::time_point now);
    // Clears the progress line for good.
    void Finish();

    bool IsTerminal() const { return m_isTerminal; }

private:
    void ClearProgress();
    // Back to the line's start with the progress shown there erased.
    void EraseShown();

    std::ostream& m_err;
    bool m_isTerminal;
    bool m_canErase;
    std::function<std::string()> m_source;
    Clock::time_point m_lastDrawn{};
    bool m_progressShown = false;
    std::string m_shownText;
};

}  // namespace qvr::cli
