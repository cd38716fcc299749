#include "app/DesktopCommands.h"

#include "locale/Language.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ProgramFolders.h"

namespace {
constexpr const char* kMailProgramTail = "/Windows Live/Mail/wlmail.exe";
std::string g_helpFolder;
} // namespace

std::vector<std::string> MailProgramCandidates() {
    std::string drive = platform::GetWineDriveC();
    // A 64-bit prefix keeps 32-bit programs in the second folder.
    return {drive + "/Program Files" + kMailProgramTail,
            drive + "/Program Files (x86)" + kMailProgramTail};
}

std::string FindMailProgram() {
    for (const std::string& path : MailProgramCandidates())
        if (platform::IsRegularFile(path)) return path;
    return {};
}

std::vector<std::string> MailProgramCommand(const std::string& program) {
    return {"wine", program};
}

std::string MailProgramMissingMessage() {
    return Tr(res::TextId::MailProgramMissing, {MailProgramCandidates().front()});
}

std::string MailProgramNotStartedMessage(const std::string& program) {
    return Tr(res::TextId::MailProgramNotStarted, {program});
}

std::string HelpBookFolder() {
    return g_helpFolder.empty() ? platform::GetProgramFolders().data + "/help" : g_helpFolder;
}

void SetHelpBookFolder(const std::string& folder) {
    g_helpFolder = folder;
}

std::string HelpBookFile() {
    return HelpBookFolder() + "/kestrel.hhp";
}

std::string HelpPagePath(const std::string& page) {
    return HelpBookFolder() + "/" + page;
}

std::string HelpBookMissingMessage() {
    return Tr(res::TextId::HelpBookMissing, {HelpBookFile()});
}

int LaunchErrorFromOpenerStatus(int status) {
    switch (status) {
    case 2:
        return 2;
    case -1:
    case 3:
    case 127:
    case 255:
        return 31;
    default:
        return status;
    }
}

std::string HyperlinkErrorMessage(int launchError) {
    static constexpr struct {
        int code;
        const char* text;
    } kTexts[] = {
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied\naccess to the specified file."},
        {8, "There was not enough memory to complete the operation."},
        {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        {26, "A sharing violation occurred. "},
        {27, "The filename association is\nincomplete or invalid."},
        {28, "The DDE transaction could not\nbe completed because the request timed out."},
        {29, "The DDE transaction failed."},
        {30, "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
             "being processed."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
    };
    std::string message = "Unable to open hyperlink:\n\n";
    for (const auto& entry : kTexts)
        if (entry.code == launchError) return message + entry.text;
    return message + "Unknown Error (" + std::to_string(launchError) + ") occurred.";
}

std::string OpenFailedMessage(const std::string& target) {
    return Tr(res::TextId::OpenFailed, {target});
}

std::string TypedFolderPath(const std::string& typed, const std::string& home) {
    const char* blanks = " \t\r\n";
    size_t first = typed.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    std::string path = typed.substr(first, typed.find_last_not_of(blanks) - first + 1);
    if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') &&
        path.back() == path.front())
        path = path.substr(1, path.size() - 2);
    if (path.rfind("file://", 0) == 0) path = path.substr(7);
    if (path == "~" || path.rfind("~/", 0) == 0) path = home + path.substr(1);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string FolderMissingMessage(const std::string& folder) {
    return Tr(res::TextId::FolderMissing, {folder});
}
