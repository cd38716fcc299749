#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <iterator>
#include <set>
#include <sstream>

#include "TempDir.h"
#include "locale/Language.h"
#include "locale/ProfileFile.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheLanguage() = LanguageState{};
        SetLanguageProgramPath(dir / "kestrel");
    }
    void TearDown() override {
        TheLanguage() = LanguageState{};
        SetLanguageProgramPath({});
    }
    std::string Lang(const std::string& name, const std::string& body) {
        return dir.Write("LANG/" + name, body);
    }
    std::string Choice() { return ReadFileText(dir / "kestrel.lni"); }

    TempDir dir;
    ScopedEnv lcAll{"LC_ALL", "C"};
};

} // namespace

TEST(ProfileFile, LookupsIgnoreCaseTrimAndUnquote) {
    TempDir dir;
    std::string f = dir.Write("a.ini", "\xEF\xBB\xBF; comment\r\n[Main]\r\n  KEY = value  \r\n"
                                       "quoted=\"  kept  \"\r\nnum= 42abc\r\nneg=-7\r\nempty=\r\n"
                                       "[Other]\nkey=other\n");
    EXPECT_EQ(profile::GetString(f, "main", "key"), "value");
    EXPECT_EQ(profile::GetString(f, "MAIN", "Quoted"), "  kept  ");
    EXPECT_EQ(profile::GetString(f, "other", "KEY"), "other");
    EXPECT_EQ(profile::GetString(f, "Main", "missing", "dflt"), "dflt");
    EXPECT_EQ(profile::GetString(f, "Nowhere", "key", "dflt"), "dflt");
    EXPECT_EQ(profile::GetInt(f, "Main", "num", 5), 42);
    EXPECT_EQ(profile::GetInt(f, "Main", "neg", 5), -7);
    EXPECT_EQ(profile::GetInt(f, "Main", "empty", 5), 5);
    EXPECT_EQ(profile::GetInt(dir / "none.ini", "Main", "num", 9), 9);
    // A value beyond the buffer is cut, never in the middle of a character.
    std::string longValue(profile::kMaxValue - 1, 'x');
    longValue += "\xC3\xA4\xC3\xA4";
    dir.Write("b.ini", "[S]\nk=" + longValue + "\n");
    std::string got = profile::GetString(dir / "b.ini", "S", "k");
    EXPECT_EQ(got, std::string(profile::kMaxValue - 1, 'x'));
}

TEST(ProfileFile, WritingReplacesTheKeyAndKeepsTheRest) {
    TempDir dir;
    std::string f = dir.Write("c.ini", "; mine\n[main]\nlanguage=1\nother=x\n[Tail]\nz=1\n");
    ASSERT_TRUE(profile::WriteString(f, "Main", "Language", "1031"));
    EXPECT_EQ(ReadFileText(f), "; mine\r\n[main]\r\nLanguage=1031\r\nother=x\r\n[Tail]\r\nz=1\r\n");
    ASSERT_TRUE(profile::WriteString(f, "Tail", "new", "2"));
    ASSERT_TRUE(profile::WriteString(f, "Fresh", "k", "v"));
    EXPECT_EQ(profile::GetString(f, "tail", "NEW"), "2");
    EXPECT_EQ(profile::GetString(f, "fresh", "k"), "v");
    EXPECT_EQ(profile::GetString(f, "main", "other"), "x");
    // A folder that cannot be written, a file that is no file: the call says so and leaves
    // nothing behind.
    const platform::Status unwritable =
        profile::WriteString(dir / "no/such/dir/x.ini", "S", "k", "v");
    EXPECT_EQ(unwritable.Code(), platform::StatusCode::Refused);
    EXPECT_EQ(unwritable.Reason(), "could not be written");
    const platform::Status folder = profile::WriteString(dir.MakeDir("d.ini"), "S", "k", "v");
    EXPECT_EQ(folder.Code(), platform::StatusCode::Refused);
    EXPECT_EQ(folder.Reason(), "is a folder, not a file");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "d.ini"));
}

TEST_F(LanguageTest, FirstStartPicksTheFileOfTheUsersLanguage) {
    ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
    Lang("German.lng", "[Language]\nLanguage=1031\n[String]\n57345=Deutsch\n");
    Lang("French.lng", "[Language]\nLanguage=1036\n");
    LoadStartupLanguage();
    EXPECT_EQ(TheLanguage().currentFile, dir / "LANG/German.lng");
    EXPECT_EQ(profile::GetInt(dir / "kestrel.lni", "Main", "Language", 0), 1031);
    EXPECT_EQ(LoadLanguageString(57345), "Deutsch");
}

TEST_F(LanguageTest, NoMatchingFileLeavesTheBuiltInTextsAndNoChoiceFile) {
    Lang("French.lng", "[Language]\nLanguage=1036\n");
    dir.Write("kestrel.lni", "[Main]\nLanguage=1031\n");
    LoadStartupLanguage();
    EXPECT_TRUE(TheLanguage().currentFile.empty());
    EXPECT_EQ(Choice(), "[Main]\nLanguage=1031\n");
    EXPECT_EQ(GetMessagePrompt(5050), "Switch to built-in language interface.");
}

TEST_F(LanguageTest, MenuPlanSkipsUnusableFilesAndTheLastOfTwoTakesTheMark) {
    dir.Write("kestrel.lni", "[Main]\nLanguage=1031\n");
    Lang("A German.lng", "[Language]\nLanguage=1031\n");
    Lang("B broken.lng", "[Language]\nLanguage=65536\n"); // low 16 bits are 0
    Lang("C none.lng", "[Other]\nx=1\n");
    Lang("D German too.LNG", "[language]\nlanguage=1031\n");
    dir.Write("LANG/notes.txt", "[Language]\nLanguage=1031\n");
    EXPECT_EQ(PlanLanguageMenu(), 5052u);
    const auto& entries = TheLanguage().entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "A German");
    EXPECT_EQ(entries[1].name, "D German too");
    EXPECT_EQ(entries[1].menuId, 5052u);
    // Applying the entry finds the file as listed, whatever the case of its extension.
    ApplyLanguageMenuId(5052);
    EXPECT_EQ(TheLanguage().currentFile, dir / "LANG/D German too.LNG");
    ApplyLanguageMenuId(5050);
    EXPECT_TRUE(TheLanguage().currentFile.empty());
    EXPECT_EQ(profile::GetInt(dir / "kestrel.lni", "Main", "Language", -1), 0);
}

// A fifo or a folder among the language files, or as the choice file, is left out at once and
// said, never read or replaced.
TEST_F(LanguageTest, FifosAndFoldersAreLeftOutWithoutWaiting) {
    ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
    Lang("B German.lng", "[Language]\nLanguage=1031\n");
    dir.MakeDir("LANG/C folder.lng");
    ASSERT_EQ(mkfifo((dir / "LANG/A fifo.lng").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "kestrel.lni").c_str(), 0600), 0);
    std::vector<std::string> notes;
    platform::SetRefusedFileSink([&](const std::string& m) { notes.push_back(m); });
    alarm(20);
    LoadStartupLanguage();
    PlanLanguageMenu();
    alarm(0);
    platform::SetRefusedFileSink(nullptr);
    EXPECT_EQ(TheLanguage().currentFile, dir / "LANG/B German.lng");
    ASSERT_EQ(TheLanguage().entries.size(), 1u);
    EXPECT_EQ(TheLanguage().entries[0].name, "B German");
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "kestrel.lni"));
    EXPECT_EQ(notes,
              (std::vector<std::string>{dir / "kestrel.lni is a fifo, not a file: not read",
                                        dir / "LANG/A fifo.lng is a fifo, not a file: not read"}));
}

TEST_F(LanguageTest, AtMostFortyNineEntries) {
    for (int i = 0; i < 50; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "L%02d.lng", i);
        Lang(name, "[Language]\nLanguage=" + std::to_string(1100 + i) + "\n");
    }
    PlanLanguageMenu();
    ASSERT_EQ(TheLanguage().entries.size(), 49u);
    EXPECT_EQ(TheLanguage().entries.back().menuId, 5099u);
    EXPECT_EQ(TheLanguage().entries.back().name, "L48");
}

TEST_F(LanguageTest, PromptsDescriptionsAndTheDialogFont) {
    Lang("German.lng", "[Language]\nLanguage=1031\nFontName=DejaVu Sans\nFontSize=9\n"
                       "[String]\n32776=Anhänge extrahieren!!\n5051=Sprache wechseln\n32780=\n");
    Lang("Plain.lng", "[Language]\nLanguage=1036\nDescription=Français\n");
    PlanLanguageMenu();
    ApplyLanguageMenuId(5051);
    EXPECT_EQ(GetMessagePrompt(32776), "Anhänge extrahieren!!");
    EXPECT_EQ(GetMessagePrompt(32780), "Lauch Windows Live Mail!"); // empty counts as missing
    EXPECT_EQ(GetMessagePrompt(57665), "Quit the application; prompts to save documents");
    EXPECT_EQ(GetMessagePrompt(5052), "Français");
    EXPECT_EQ(GetMessagePrompt(5051), "Sprache wechseln"); // no Description: string 5051
    EXPECT_EQ(GetMessagePrompt(40000), "");
    EXPECT_EQ(TheLanguage().fontName, "DejaVu Sans");
    EXPECT_EQ(DialogFontHeight(9, 96), -12);
    EXPECT_EQ(DialogFontHeight(0, 96), 0);
    ApplyLanguageMenuId(5052);
    EXPECT_TRUE(TheLanguage().fontName.empty());
    // Without a Description nor a string 5051 the idle text stands in.
    ApplyLanguageMenuId(5050);
    EXPECT_EQ(GetMessagePrompt(5051),
              "Choose Windows Live Mail folder and press right mouse button. (For Help, press F1)");
}

TEST_F(LanguageTest, PromptsAreCutAtTheLineFeedAndAtTheirLength) {
    Lang("Long.lng", "[Language]\nLanguage=1031\n[String]\n32776=" + std::string(300, 'y') + "\n");
    PlanLanguageMenu();
    ApplyLanguageMenuId(5051);
    EXPECT_EQ(GetMessagePrompt(32776), std::string(254, 'y'));
    EXPECT_EQ(GetMessagePrompt(59393), "Show or hide the status bar");
}

TEST(LanguageIds, LocaleNames) {
    EXPECT_EQ(LangIdFromLocale("de_DE.UTF-8"), 1031);
    EXPECT_EQ(LangIdFromLocale("de_AT"), 3079);
    EXPECT_EQ(LangIdFromLocale("fr_FR@euro"), 1036);
    EXPECT_EQ(LangIdFromLocale("en_US"), 1033);
    EXPECT_EQ(LangIdFromLocale("C"), 0);
    EXPECT_EQ(LangIdFromLocale("POSIX"), 0);
    EXPECT_EQ(LangIdFromLocale("dex"), 0);
}

// An installed program reads its language files from the data folder and keeps the choice with
// the settings, creating that folder; nothing is written beside the program.
TEST(LanguageInstalled, FilesFromTheDataFolderChoiceInTheSettingsFolder) {
    TempDir dir;
    dir.Write("usr/lib/kestrel/kestrel-classes.reg", "");
    dir.Write("usr/share/kestrel/LANG/German.lng", "[Language]\nLanguage=1031\n");
    ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    ScopedEnv lang("LC_ALL", "de_DE.UTF-8");
    TheLanguage() = LanguageState{};
    SetLanguageProgramPath(dir / "usr/bin/kestrel");
    LoadStartupLanguage();
    EXPECT_EQ(TheLanguage().currentFile, dir / "usr/share/kestrel/LANG/German.lng");
    EXPECT_EQ(LanguageChoiceFilePath(), dir / "config/VANDREL/KESTL/kestrel.lni");
    EXPECT_EQ(profile::GetInt(dir / "config/VANDREL/KESTL/kestrel.lni", "Main", "Language", 0),
              1031);
    EXPECT_FALSE(std::filesystem::exists(dir / "usr/bin"));
    TheLanguage() = LanguageState{};
    SetLanguageProgramPath({});
}

// Every menu text and every status-bar prompt the language file can replace, from the menu
// definitions, the tool bar and the string table: the German file has each of them.
TEST_F(LanguageTest, TheGermanFileHasEveryMenuTextAndEveryPrompt) {
    TheLanguage().currentFile = std::string(KESTREL_SOURCE_DIR) + "/res/LANG/German.lng";
    std::vector<std::string> missing;
    std::set<unsigned> commands = {res::AFX_IDS_IDLEMESSAGE, res::ID_LANGUAGE_DEFAULT,
                                   res::ID_LANGUAGE_FIRST};
    std::function<void(const std::vector<res::MenuItemDef>&, const std::string&, bool)> walk =
        [&](const std::vector<res::MenuItemDef>& items, const std::string& parent, bool main) {
            for (size_t i = 0; i < items.size(); ++i) {
                const res::MenuItemDef& item = items[i];
                if (item.separator) continue;
                std::string key =
                    item.IsPopup() ? parent + "|" + std::to_string(i) : std::to_string(item.id);
                // The context menus keep their texts; only the main menu is translated.
                if (main && LookupLanguageText("128", key).empty())
                    missing.push_back("[128] " + key + " " + item.text);
                if (item.IsPopup())
                    walk(item.items, key, main);
                else
                    commands.insert(item.id);
            }
        };
    walk(res::MainMenuDefinition(), "", true);
    walk(res::FolderMenuDefinition(), "", false);
    commands.insert(res::MainToolBarButtons().begin(), res::MainToolBarButtons().end());
    for (unsigned id : commands) {
        std::optional<std::string> builtIn = res::LoadBuiltinString(id);
        if (builtIn && LookupLanguageText("String", std::to_string(id)).empty())
            missing.push_back("[String] " + std::to_string(id) + " " + *builtIn);
    }
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
}

// The program's own texts: a translation is used only when it holds the English text's
// placeholders; what is put in is put in once, as it is.
TEST_F(LanguageTest, ProgramTextsKeepTheirPlaceholdersOrFallBackToEnglish) {
    using res::TextId;
    struct Case {
        const char* translation; // the German file's value; nullptr: no such key
        TextId id;
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {nullptr, TextId::FolderMissing, {"/m"}, "The folder \"/m\" does not exist."},
        {"", TextId::FolderMissing, {"/m"}, "The folder \"/m\" does not exist."},
        {"Den Ordner %1 gibt es nicht.",
         TextId::FolderMissing,
         {"/m"},
         "Den Ordner /m gibt es nicht."},
        // Dropped, added, doubled or renumbered placeholders: the English text.
        {"Den Ordner gibt es nicht.",
         TextId::FolderMissing,
         {"/m"},
         "The folder \"/m\" does not exist."},
        {"%1 %2", TextId::FolderMissing, {"/m"}, "The folder \"/m\" does not exist."},
        {"%1 %1", TextId::FolderMissing, {"/m"}, "The folder \"/m\" does not exist."},
        {"%2", TextId::FolderMissing, {"/m"}, "The folder \"/m\" does not exist."},
        // Placeholders in another order; a path holding "%1" and a "%" of the text stay as they
        // are.
        {"Zahl von %2 bis %1 (100%)",
         TextId::NumberOutOfRange,
         {"%1%2", "9"},
         "Zahl von 9 bis %1%2 (100%)"},
        // "\n" in the file is a line break.
        {"Nichts Neues\\n Kein Bericht", TextId::NoNewMail, {}, "Nichts Neues\n Kein Bericht"},
        {"\"  Abbrechen  \"", TextId::ProgressCancel, {}, "  Abbrechen  "},
    };
    for (const Case& c : cases) {
        std::string body = "[Language]\nLanguage=1031\n[Text]\n";
        if (c.translation)
            body += std::string(res::GetProgramText(c.id).key) + "=" + c.translation + "\n";
        TheLanguage().currentFile = Lang("German.lng", body);
        EXPECT_EQ(Tr(c.id, c.args), c.shown) << (c.translation ? c.translation : "(none)");
    }
    TheLanguage().currentFile = Lang("German.lng", "[Text]\nSearchColumnSender=Absender\n");
    EXPECT_EQ(TranslateBuiltInText("Sender"), "Absender");
    EXPECT_EQ(TranslateBuiltInText("Sender, 80"), "Sender, 80");
    // The error log keeps the English text whatever the language.
    EXPECT_EQ(TrEnglish(res::TextId::SearchColumnSender), "Sender");
    TheLanguage().currentFile.clear();
    EXPECT_EQ(Tr(res::TextId::FolderMissing, {"/m"}), "The folder \"/m\" does not exist.");
}

// Every text of the program's list has its German text, with the same placeholders, and the
// German file names no text the program does not have.
TEST_F(LanguageTest, TheGermanFileHasEveryProgramText) {
    const std::string german = std::string(KESTREL_SOURCE_DIR) + "/res/LANG/German.lng";
    TheLanguage().currentFile = german;
    std::vector<std::string> faults;
    std::set<std::string> keys;
    for (const res::ProgramText& text : res::kProgramTexts) {
        keys.insert(platform::ToLower(text.key));
        std::string value = LookupLanguageText("Text", text.key);
        if (value.empty())
            faults.push_back(std::string("missing ") + text.key);
        else if (TranslatedText(text.id).empty())
            faults.push_back(std::string("placeholders differ ") + text.key + "=" + value);
    }
    EXPECT_EQ(keys.size(), std::size(res::kProgramTexts));
    std::istringstream lines(ReadFileText(german));
    bool inText = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            inText = platform::ToLower(line) == "[text]";
            continue;
        }
        std::string key = platform::ToLower(line.substr(0, line.find('=')));
        if (inText && !keys.count(key)) faults.push_back("not a text of the program: " + line);
    }
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}
