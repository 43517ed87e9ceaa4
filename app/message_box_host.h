#pragma once
// Everything that asks the user something modal goes through this host:
// message boxes and the file and folder choosers. The window shows real
// dialogs; the headless front end writes to standard error; tests answer from
// a script, so nothing ever blocks on a modal dialog.

#include <optional>
#include <string>

namespace qvr {

enum class MbIcon { None, Stop, Exclamation, Question, Information };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };

// The platform's dialog results.
enum MbResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class IMessageBoxHost {
public:
    virtual ~IMessageBoxHost() = default;
    // Shows text (brought to the foreground) and returns the button pressed.
    virtual int MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) = 0;
    // Folder chooser: the chosen folder, or nothing when cancelled.
    virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                       const std::string& startFolder) = 0;
    // Save-file chooser with an overwrite question; no extension is added.
    virtual std::optional<std::string> GetSaveFileName(const std::string& startFolder,
                                                       const std::string& filter) = 0;
};

}  // namespace qvr
