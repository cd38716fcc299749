#pragma once
// The program's persistent settings: one record for the whole process, kept in "qor.ini".
#include <string>

struct AppSettings {
    // "Program Setup"
    std::string LastHtmlReport;
    std::string LastMailFolder;
    std::string LastFileFolder;
    std::string LastUserIdentity;
    std::string KESTLMailFolderPath;
    // "Option"
    int HTMLItemNumber = 0;
    int BrowserReport = 0;
    int ExtractOnlyPicture = 0;
    int FileRename = 0;
    int RemoveFwString = 0;
    int SetAttachmentDate = 0;
    int AttachmentSizeLimit = 0;
    // Runs pass over the mail they extracted before: the option sheet's and the wizard's choice.
    int NewMailOnly = 0;
    int WizardNewMailOnly = 0;
    // "Window": where the main window's tool bar stands ("Top", "Bottom", "Left", "Right" or
    // "Floating"; empty is the top), and the screen position of a floating one.
    std::string ToolBarPlace;
    int ToolBarX = 0;
    int ToolBarY = 0;
    // "Window": the widths of the mail folder pane and the destination tree as the user left
    // them (the file list takes the rest); 0 until the window has been closed once.
    int FolderPaneWidth = 0;
    int TreePaneWidth = 0;
    // "Window": where the help viewer was when it was last closed (its width 0 until then), and
    // the topics of its contents the user left open, each by its path of titles ("/Book/Topic"),
    // separated by "|".
    int HelpX = 0;
    int HelpY = 0;
    int HelpWidth = 0;
    int HelpHeight = 0;
    std::string HelpTopics;
};

// The process-wide record every part of the program reads and updates.
AppSettings& TheSettings();

inline constexpr const char* kSettingsFileName = "qor.ini";

// The file LoadSettings reads: the application-data copy when it exists, else the one in the
// current directory.
std::string SettingsReadPath(const std::string& fileName = kSettingsFileName);
// The file SaveSettings writes (the application-data copy when that folder is known).
std::string SettingsWritePath(const std::string& fileName = kSettingsFileName);

void LoadSettings(AppSettings& settings, const std::string& fileName = kSettingsFileName);
void SaveSettings(AppSettings& settings, const std::string& fileName = kSettingsFileName);
inline void LoadSettings(const std::string& fileName = kSettingsFileName) {
    LoadSettings(TheSettings(), fileName);
}
inline void SaveSettings(const std::string& fileName = kSettingsFileName) {
    SaveSettings(TheSettings(), fileName);
}

// Calls fn(group, name, value-as-text) for every field in the file's layout order.
template <typename Fn> void ForEachSetting(const AppSettings& s, Fn&& fn) {
    fn("Program Setup", "LastHtmlReport", s.LastHtmlReport);
    fn("Program Setup", "LastMailFolder", s.LastMailFolder);
    fn("Program Setup", "LastFileFolder", s.LastFileFolder);
    fn("Program Setup", "LastUserIdentity", s.LastUserIdentity);
    fn("Program Setup", "KESTLMailFolderPath", s.KESTLMailFolderPath);
    fn("Option", "HTMLItemNumber", std::to_string(s.HTMLItemNumber));
    fn("Option", "BrowserReport", std::to_string(s.BrowserReport));
    fn("Option", "ExtractOnlyPicture", std::to_string(s.ExtractOnlyPicture));
    fn("Option", "FileRename", std::to_string(s.FileRename));
    fn("Option", "RemoveFwString", std::to_string(s.RemoveFwString));
    fn("Option", "SetAttachmentDate", std::to_string(s.SetAttachmentDate));
    fn("Option", "AttachmentSizeLimit", std::to_string(s.AttachmentSizeLimit));
    fn("Option", "NewMailOnly", std::to_string(s.NewMailOnly));
    fn("Option", "WizardNewMailOnly", std::to_string(s.WizardNewMailOnly));
    fn("Window", "ToolBar", s.ToolBarPlace);
    fn("Window", "ToolBarX", std::to_string(s.ToolBarX));
    fn("Window", "ToolBarY", std::to_string(s.ToolBarY));
}
