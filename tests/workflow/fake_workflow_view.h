#pragma once
// The window as the workflows see it, in memory: control texts by id, the
// run lock, the blink timer and the wait cursor, with a log of the window
// operations in the order they were called.

#include <map>
#include <string>
#include <vector>

#include "app/busy_flags.h"
#include "res/resource.h"
#include "workflow/workflow_view.h"

namespace qvr::testing {

class FakeWorkflowView final : public IWorkflowView {
public:
    std::string GetControlText(int id) override {
        std::string text = texts[id];
        if (text.size() > 254) text.resize(254);
        return text;
    }
    void SetControlText(int id, const std::string& text) override {
        texts[id] = text;
        history[id].push_back(text);
    }
    void DisableForRun() override {
        locked = true;
        events.push_back(g_populateInProgress ? "DisableForRun(2022)" : "DisableForRun(2023)");
    }
    void EnableAfterRun() override {
        locked = false;
        events.push_back("EnableAfterRun");
    }
    void StartBlinkTimer() override {
        blinking = true;
        events.push_back("StartBlinkTimer");
    }
    void StopBlinkTimer() override {
        blinking = false;
        events.push_back("StopBlinkTimer");
        if (texts[res::IDC_STATUS].empty()) texts[res::IDC_STATUS] = " Ready";
    }
    void BeginWaitCursor() override { ++cursorDepth; }
    void EndWaitCursor() override { --cursorDepth; }
    void ScanStarted(const std::string& folder) override { scannedFolder = folder; }

    std::string Status() { return texts[res::IDC_STATUS]; }

    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> history;
    std::vector<std::string> events;
    bool locked = false;
    bool blinking = false;
    int cursorDepth = 0;
    std::string scannedFolder;
};

}  // namespace qvr::testing
