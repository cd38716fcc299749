#pragma once
// What the mail folder view and the wizard need of the window around them: the destination
// panes and the status bar. The main frame is the one host; the view holds no pointer to it
// beyond this.
#include <string>

class IFolderViewHost {
public:
    virtual ~IFolderViewHost() = default;
    // The folder selected in the destination tree.
    virtual std::string GetDestinationFolder() const = 0;
    // The destination tree selects (and shows) the folder.
    virtual void SelectDestinationFolder(const std::string& path) = 0;
    // The destination's file list holds still (false) during a run, and follows it again.
    virtual void EnableFileListUpdates(bool enable) = 0;
    virtual void RefreshFileList() = 0;
    // A line in the status bar's message pane.
    virtual void ShowStatusText(const std::string& text) = 0;
};
