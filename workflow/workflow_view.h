#pragma once
// What the two workflows need of the window they run in: the texts of its
// controls (edit boxes, the two workflow buttons, the count boxes and the
// status line, all by control id), the run lock, the blinking wait indication
// and the wait cursor. The window implements it with widgets, the headless
// front end with standard error; every decision stays in the workflows.

#include <string>

#include "scm/scm_bridge.h"

namespace qvr {

class IWorkflowView : public IWaitCursor {
public:
    // The control's text, at most 254 characters, as the edit boxes are read.
    virtual std::string GetControlText(int id) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;

    // Locks everything but the running workflow's button, the lists and Exit;
    // which button stays enabled follows the populate-in-progress flag.
    virtual void DisableForRun() = 0;
    virtual void EnableAfterRun() = 0;

    // The once-a-second blink of the status line and the running button.
    // Stopping it puts " Ready" on a status line the blink left empty.
    virtual void StartBlinkTimer() = 0;
    virtual void StopBlinkTimer() = 0;

    // The Top List was emptied: repaint it with its background erased.
    virtual void RepaintTopList() {}
    // A compare report starts scanning this folder; the window's folder
    // chooser offers it next.
    virtual void ScanStarted(const std::string& /*localPath*/) {}
};

// Shows the wait cursor for as long as it lives.
class WaitCursorScope {
public:
    explicit WaitCursorScope(IWaitCursor& cursor) : m_cursor(cursor) { m_cursor.BeginWaitCursor(); }
    ~WaitCursorScope() { m_cursor.EndWaitCursor(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    IWaitCursor& m_cursor;
};

}  // namespace qvr
