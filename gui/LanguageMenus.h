#pragma once
// Applies the language files to the menu bar and to dialogs.
#include <functional>

#include <wx/font.h>
#include <wx/string.h>

class wxFrame;
class wxMenu;
class wxMenuBar;
class wxWindow;

// Appends the Language entries to the submenu and checks the selected one; returns its id.
unsigned BuildLanguageMenu(wxMenu* languageMenu);
// Makes the entry (or, below 5051, the built-in texts) current and checks it.
void ApplyLanguage(wxMenuBar* menuBar, unsigned menuId);
// ApplyLanguage, the menu texts, and the entry's prompt in the frame's status bar.
void SwitchLanguage(wxFrame* frame, unsigned menuId);
// The current language file's texts for the menu (section: its template id), or the built-in
// texts when there is no current file.
void TranslateMenu(wxMenuBar* menuBar, unsigned section);
// Puts back the built-in texts of the menu template.
void RestoreMenuTexts(wxMenuBar* menuBar, unsigned templateId);
// The texts of the window and its controls by control id (65535 for controls without one,
// 0 for a top-level window), and the dialog font.
void TranslateDialog(wxWindow* window, unsigned section);
// Sees every lookup TranslateDialog makes for a window that shows a text: the section, the key,
// the text the window shows and whether the current language file had one for it. For checks
// that a language file leaves nothing untranslated; none by default.
using DialogTextObserver =
    std::function<void(wxWindow* window, unsigned section, unsigned key, const wxString& text,
                       bool translated)>;
void SetDialogTextObserver(DialogTextObserver observer);
// The font the current language file names; not ok when it names none.
wxFont GetDialogFont();
// Puts the check mark on the selected entry among 5050 and the listed entries.
void MarkLanguageMenu(wxMenuBar* menuBar);
