#include "res/StringTable.h"

#include <algorithm>
#include <iterator>

#include "res/Resource.h"

namespace res {

namespace {
struct Entry {
    unsigned id;
    const char* text;
};

// Sorted by id. Entries with a "\n" carry a status-bar prompt and a tool tip.
constexpr Entry kStrings[] = {
    {IDP_OLE_INIT_FAILED,
     "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {IDR_MAINFRAME, "Qor\n\nQor\n\n\nQor.Document\nQor Document"},
    {ID_LANGUAGE_DEFAULT, "Switch to built-in language interface."},
    {ID_SAVE_MESSAGES, "Save mails' messages in 'eml' format!!"},
    {ID_EXTRACT_ATTACHMENTS, "Extract Attachments to a specified directory!!"},
    {ID_LAUNCH_BROWSER, "Display the extracted attachments' report in browser!"},
    {ID_LAUNCH_MAIL, "Lauch Windows Live Mail!"},
    {ID_SUPPORT, "Support Information"},
    {ID_EDIT_REPORT, "Using the default HTML editor to edit the picture report."},
    {ID_SWITCH_IDENTITY, "Swith Windows Live Mail Identity...."},
    {ID_WIZARD, "Save attachments in different mail folders in one time."},
    {ID_SEARCH_MAIL, "Search mails and then extract founded attachments!!"},
    {ID_EXTRACT_SAFELY, "Extracting Attachments Saftly"},
    {ID_RECOVER_MESSAGES, "Save mails' messages in 'eml' format, with those a damaged index no "
                          "longer reaches"},
    {AFX_IDS_IDLEMESSAGE,
     "Choose Windows Live Mail folder and press right mouse button. (For Help, press F1)"},
    {ID_FILE_NEW, "Create a new document\nNew"},
    {ID_FILE_OPEN, "Open an existing document\nOpen"},
    {ID_FILE_SAVE, "Save the active document\nSave"},
    {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
    {ID_FILE_PRINT, "Print the active document\nPrint"},
    {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_HELP_TOPICS, "List Help topics\nHelp Topics"},
    {ID_CONTEXT_HELP, "Display help for clicked on buttons, menus and windows\nHelp"},
    {ID_HELP, "Display help for current task or command\nHelp"},
    {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
    {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
};
} // namespace

std::optional<std::string> LoadBuiltinString(unsigned id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, unsigned v) { return e.id < v; });
    if (it == std::end(kStrings) || it->id != id) return std::nullopt;
    return std::string(it->text);
}

} // namespace res
