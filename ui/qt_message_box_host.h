#pragma once
// Message boxes and the folder and file choosers of the window, as Qt dialogs
// brought to the foreground.

#include <QPointer>
#include <QWidget>

#include "app/message_box_host.h"

namespace qvr {

// The folder the export's save dialog opens in, ending in a separator so
// that no file name is typed in for the user.
QString SaveDialogStartFolder(const std::string& startFolder);

class QtMessageBoxHost final : public IMessageBoxHost {
public:
    explicit QtMessageBoxHost(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }

    int MessageBox(const std::string& text, MbButtons buttons, MbIcon icon) override;
    std::optional<std::string> BrowseForFolder(const std::string& title,
                                               const std::string& startFolder) override;
    std::optional<std::string> GetSaveFileName(const std::string& startFolder,
                                               const std::string& filter) override;

private:
    QPointer<QWidget> m_owner;
};

}  // namespace qvr
