#pragma once
// The window the workflows run in, without a window: control texts kept in
// memory, failures and message boxes written to standard error as the
// program's own lines (the window's progress texts only on request, in the
// command line's words), the message pump drawing the progress line. It also notes everything that
// tells a failed run from a good one, for the exit status.

#include <map>
#include <optional>
#include <string>

#include "app/message_box_host.h"
#include "app/message_pump.h"
#include "cli/cli_console.h"
#include "workflow/workflow_view.h"

namespace qvr::cli {

class CliWorkflowView final : public IWorkflowView {
public:
    // notes: whether the run's progress ("listing the repository", ...) is
    // told, as on a terminal without --quiet.
    explicit CliWorkflowView(CliConsole& console, bool notes = false) : m_console(console), m_notes(notes) {}

    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    void DisableForRun() override {}
    void EnableAfterRun() override {}
    void StartBlinkTimer() override {}
    void StopBlinkTimer() override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void ScanStarted(const std::string& /*localPath*/) override { m_scanning = true; }

    std::string Status() const;
    bool Scanning() const { return m_scanning; }
    // A status text starting " Error" was shown at some point of the run
    // (a failed populate inside a report is overwritten by later texts).
    bool ErrorStatusSeen() const { return m_errorStatusSeen; }

private:
    CliConsole& m_console;
    bool m_notes;
    std::map<int, std::string> m_texts;
    bool m_scanning = false;
    bool m_errorStatusSeen = false;
};

// The prefix of every line the program writes on standard error.
inline constexpr const char* kCliLinePrefix = "qvrcompare-cli: ";

// What a status text of the window says on the command line: a " Ready" or
// " WAIT" text is progress (given in the command line's words, or nothing
// when the window's text guides a user through its buttons); anything else
// is a failure, told as it stands.
struct StatusLine {
    bool progress = false;
    std::string text;  // empty: nothing to tell
};
StatusLine StatusLineFor(const std::string& status);

// Message boxes as "qvrcompare-cli: text" lines, answered with their default
// button; the choosers are cancelled, since nobody is there to choose.
class CliMessageBoxHost final : public IMessageBoxHost {
public:
    explicit CliMessageBoxHost(CliConsole& console) : m_console(console) {}

    int MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) override;
    std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> GetSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    // Every box the workflows show reports missing input, a failed tool or
    // a failed step: any box at all makes the run a failure.
    int BoxCount() const { return m_boxCount; }

private:
    CliConsole& m_console;
    int m_boxCount = 0;
};

// Nothing to dispatch; the pump is where the progress line gets its turn.
class CliMessagePump final : public IMessagePump {
public:
    explicit CliMessagePump(CliConsole& console) : m_console(console) {}
    void PumpMessages() override { m_console.Tick(); }
    void PumpPaintMessages() override { m_console.Tick(); }

private:
    CliConsole& m_console;
};

}  // namespace qvr::cli
