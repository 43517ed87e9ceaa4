#pragma once
// A message-box host for tests: records every box and answers from a queue of
// scripted results (IDOK when the queue is empty), so no test ever blocks.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/message_box_host.h"

namespace qvr::testing {

struct RecordedBox {
    std::string text;
    MbButtons buttons;
    MbIcon icon;
};

class RecordingMessageBoxHost final : public IMessageBoxHost {
public:
    int MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) override {
        if (onBox) onBox();  // sees the window as the box finds it
        boxes.push_back({text, buttons, icon});
        if (answers.empty()) return IDOK;
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> BrowseForFolder(const std::string& title,
                                               const std::string& startFolder) override {
        folderRequests.push_back({title, startFolder});
        return folderAnswer;
    }
    std::optional<std::string> GetSaveFileName(const std::string& startFolder,
                                               const std::string& filter) override {
        saveRequests.push_back({startFolder, filter});
        return saveAnswer;
    }

    std::vector<RecordedBox> boxes;
    std::deque<int> answers;
    std::function<void()> onBox;
    std::vector<std::pair<std::string, std::string>> folderRequests;
    std::optional<std::string> folderAnswer;
    std::vector<std::pair<std::string, std::string>> saveRequests;
    std::optional<std::string> saveAnswer;
};

}  // namespace qvr::testing
