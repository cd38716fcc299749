#include "app/Settings.h"

#include <algorithm>

#include "locale/IniFile.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/ProgramFolders.h"

namespace {

constexpr const char* kSetup = "Program Setup";
constexpr const char* kOption = "Option";
constexpr const char* kWindow = "Window";

std::string AppDataCandidate(const std::string& fileName) {
    auto folder = platform::GetSettingsFolder();
    if (!folder) return {};
    return *folder + "/" + fileName;
}

// Every number, in the file's layout order, with its default.
struct NumberField {
    const char* name;
    int AppSettings::*field;
    int defaultValue;
};
constexpr NumberField kNumbers[] = {
    {"HTMLItemNumber", &AppSettings::HTMLItemNumber, 10},
    {"BrowserReport", &AppSettings::BrowserReport, 1},
    {"ExtractOnlyPicture", &AppSettings::ExtractOnlyPicture, 1},
    {"FileRename", &AppSettings::FileRename, 0},
    {"RemoveFwString", &AppSettings::RemoveFwString, 1},
    {"SetAttachmentDate", &AppSettings::SetAttachmentDate, 1},
    {"AttachmentSizeLimit", &AppSettings::AttachmentSizeLimit, 2},
};

// Window state: read as it is, written only once known, so a file stays as it was until then.
constexpr NumberField kWindowNumbers[] = {
    {"FolderPaneWidth", &AppSettings::FolderPaneWidth, 0},
    {"TreePaneWidth", &AppSettings::TreePaneWidth, 0},
};

struct StringField {
    const char* name;
    std::string AppSettings::*field;
};
constexpr StringField kStrings[] = {
    {"LastHtmlReport", &AppSettings::LastHtmlReport},
    {"LastMailFolder", &AppSettings::LastMailFolder},
    {"LastFileFolder", &AppSettings::LastFileFolder},
    {"LastUserIdentity", &AppSettings::LastUserIdentity},
    {"KESTLMailFolderPath", &AppSettings::KESTLMailFolderPath},
};

} // namespace

AppSettings& TheSettings() {
    static AppSettings settings;
    return settings;
}

std::string SettingsReadPath(const std::string& fileName) {
    std::string candidate = AppDataCandidate(fileName);
    if (!candidate.empty() && platform::FileExists(candidate)) return candidate;
    return platform::JoinPath(platform::GetCurrentDir(), fileName);
}

std::string SettingsWritePath(const std::string& fileName) {
    std::string candidate = AppDataCandidate(fileName);
    if (candidate.empty()) return platform::JoinPath(platform::GetCurrentDir(), fileName);
    return candidate;
}

void LoadSettings(AppSettings& settings, const std::string& fileName) {
    CIniFile ini;
    std::string path = SettingsReadPath(fileName);
    ini.SetPath(path);
    if (const platform::Status read = ini.Load(); read.Code() == platform::StatusCode::Refused)
        platform::NoteRefusedFile(path, read.Reason(),
                                  "settings not read, the defaults are in use");
    for (const StringField& f : kStrings)
        settings.*f.field = platform::Trim(ini.GetValue(kSetup, f.name));
    for (const NumberField& f : kNumbers)
        settings.*f.field = ini.GetValueInt(kOption, f.name);
    settings.NewMailOnly = ini.GetValueInt(kOption, "NewMailOnly") != 0;
    settings.WizardNewMailOnly = ini.GetValueInt(kOption, "WizardNewMailOnly") != 0;
    settings.ToolBarPlace = platform::Trim(ini.GetValue(kWindow, "ToolBar"));
    settings.ToolBarX = ini.GetValueInt(kWindow, "ToolBarX");
    settings.ToolBarY = ini.GetValueInt(kWindow, "ToolBarY");
    settings.HelpX = ini.GetValueInt(kWindow, "HelpX");
    settings.HelpY = ini.GetValueInt(kWindow, "HelpY");
    settings.HelpWidth = std::max(0, ini.GetValueInt(kWindow, "HelpWidth"));
    settings.HelpHeight = std::max(0, ini.GetValueInt(kWindow, "HelpHeight"));
    settings.HelpTopics = ini.GetValue(kWindow, "HelpTopics");
    if (settings.HTMLItemNumber == 0) {
        for (const NumberField& f : kNumbers)
            settings.*f.field = f.defaultValue;
    }
    for (const NumberField& f : kWindowNumbers)
        settings.*f.field = std::max(0, ini.GetValueInt(kWindow, f.name));
}

void SaveSettings(AppSettings& settings, const std::string& fileName) {
    std::string target = SettingsWritePath(fileName);
    if (auto appData = platform::GetAppDataFolder(); appData && !platform::FileExists(target)) {
        platform::CreateFolder(*appData);
        platform::CreateFolder(*appData + "/VANDREL");
        platform::CreateFolder(*appData + "/VANDREL/KESTL");
    }
    settings.LastHtmlReport = platform::Trim(settings.LastHtmlReport);
    settings.LastMailFolder = platform::Trim(settings.LastMailFolder);
    settings.LastFileFolder = platform::Trim(settings.LastFileFolder);

    CIniFile ini;
    ini.SetPath(target);
    for (const StringField& f : kStrings)
        ini.SetValue(kSetup, f.name, settings.*f.field, true);
    for (const NumberField& f : kNumbers)
        ini.SetValueInt(kOption, f.name, settings.*f.field, true);
    // The choices of new mail only once they are made, so a file that never had them keeps its
    // lines as they were.
    if (settings.NewMailOnly) ini.SetValueInt(kOption, "NewMailOnly", 1, true);
    if (settings.WizardNewMailOnly) ini.SetValueInt(kOption, "WizardNewMailOnly", 1, true);
    // Window state only once there is some: a file no window has written keeps its two groups.
    if (!settings.ToolBarPlace.empty()) {
        ini.SetValue(kWindow, "ToolBar", settings.ToolBarPlace, true);
        ini.SetValueInt(kWindow, "ToolBarX", settings.ToolBarX, true);
        ini.SetValueInt(kWindow, "ToolBarY", settings.ToolBarY, true);
    }
    for (const NumberField& f : kWindowNumbers)
        if (settings.*f.field > 0) ini.SetValueInt(kWindow, f.name, settings.*f.field, true);
    if (settings.HelpWidth > 0 && settings.HelpHeight > 0) {
        ini.SetValueInt(kWindow, "HelpX", settings.HelpX, true);
        ini.SetValueInt(kWindow, "HelpY", settings.HelpY, true);
        ini.SetValueInt(kWindow, "HelpWidth", settings.HelpWidth, true);
        ini.SetValueInt(kWindow, "HelpHeight", settings.HelpHeight, true);
        ini.SetValue(kWindow, "HelpTopics", settings.HelpTopics, true);
    }
    // A value the file cannot hold (a line break in a path) is left out rather than let it
    // start a line of its own; it reads back as empty.
    if (const platform::Status saved = ini.Save(); !saved)
        platform::NoteRefusedFile(target, saved.Reason(), "settings not saved");
}
