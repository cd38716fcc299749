#pragma once
// Language files: "*.lng" files in the "LANG" folder of the program's data folder translate the
// menu, the status-bar prompts and the dialogs; the choice is kept in a small file beside the
// program, or in the settings folder when the program is installed (platform/ProgramFolders.h).
// This is the part without windows; gui/LanguageMenus.h applies it to menus and dialogs.
#include <optional>
#include <string>
#include <vector>

#include "res/ProgramTexts.h"

// One Language submenu entry that a language file gave.
struct LanguageEntry {
    unsigned menuId = 0;
    std::string name; // the file name less its extension: the entry's text
    std::string path;
    int number = 0;
};

struct LanguageState {
    std::string currentFile;        // empty: the built-in texts
    unsigned selectedMenuId = 5050; // the checked Language entry
    unsigned lastMenuId = 5050;     // the highest id handed to an entry so far
    std::vector<LanguageEntry> entries;
    // The dialog font the current file names; no face name means none.
    std::string fontName;
    int fontSize = 0;
};

LanguageState& TheLanguage();

// The executable whose folder holds "LANG" and whose name gives the choice file. Defaults to
// the running program; tests point it elsewhere.
void SetLanguageProgramPath(const std::string& programPath);
std::string LanguageChoiceFilePath();
std::string LanguageFolder();

// The language files, in listing order; files without a usable number included.
std::vector<std::string> FindLanguageFiles();
int ReadLanguageNumber(const std::string& languageFile);

// The language id of a locale name ("de_DE.UTF-8" gives 1031); 0 when unknown.
int LangIdFromLocale(const std::string& locale);
// From LC_ALL, LC_MESSAGES or LANG, the first that is set.
int GetUserDefaultLangID();

void LoadStartupLanguage();
// Hands out the Language submenu's ids to the language files and picks the entry to check;
// returns the selected menu id. What BuildLanguageMenu shows.
unsigned PlanLanguageMenu();
// With a menu: the entry's id (ids outside the listed entries select the built-in texts).
void ApplyLanguageMenuId(unsigned menuId);
// Without a menu: the caller has set the current file; number is written as the choice.
void ApplyLanguageNumber(int number);

const LanguageEntry* FindLanguageEntry(unsigned menuId);

// The current file's text for a key of a section; empty when there is no current file or no
// non-empty text.
std::string LookupLanguageText(const std::string& section, const std::string& key);
// The current file's "String" entry, else the built-in string.
std::optional<std::string> LoadLanguageString(unsigned id);
// The program's own text (res/ProgramTexts.h) with "%1" to "%9" replaced by the arguments in
// order: the current file's "Text" entry of the text's name, else the built-in English. A
// translation that does not hold the same placeholders as the English text is not used, so what
// the program puts in is never lost or doubled. In a translation, "\n" stands for a line break.
std::string Tr(res::TextId id, const std::vector<std::string>& args = {});
// The same with the built-in English whatever the current file, for the error log.
std::string TrEnglish(res::TextId id, const std::vector<std::string>& args = {});
// The placeholder numbers a text holds, sorted, each as often as it stands there.
std::vector<int> TextPlaceholders(const std::string& text);
// The current language's text of the program's own text whose English is the given one (a
// built-in list's entry, say); the text itself when the program has no such text.
std::string TranslateBuiltInText(const std::string& english);
// The text's translation in the current file as Tr would take it; empty when Tr takes English.
std::string TranslatedText(res::TextId id);
// The status-bar prompt of a Language entry.
std::string GetLanguageDescription(unsigned menuId);
// The status-bar prompt of a command.
std::string GetMessagePrompt(unsigned id);

// -size * dpi / 72 rounded as MulDiv rounds; 0 when size is 0.
int DialogFontHeight(int fontSize, int dpi);
