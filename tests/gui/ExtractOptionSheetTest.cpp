#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "GuiTest.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "gui/ExtractOptionSheet.h"
#include "gui/ShellTreeView.h"
#include "locale/Language.h"
#include "res/Resource.h"
#include "store/StoreDiscovery.h"

namespace {

std::string Label(wxWindow& sheet, unsigned id) {
    return Control<wxWindow>(sheet, id).GetLabel().utf8_string();
}

class OptionSheetTest : public ::testing::Test {
protected:
    void SetUp() override { TheSettings() = AppSettings(); }

    // Shows the sheet modally; the step plays the user and must close it.
    int Show(const std::string& startPath, ModalScript::Step step) {
        ModalScript script;
        script.Then(std::move(step));
        CExtractOptionSheet sheet(nullptr, &discovery);
        sheet.SetStartPath(startPath);
        ExtractionOptions given;
        given.FileRename = 5;
        sheet.SetOptions(given);
        int result = sheet.ShowModal();
        EXPECT_EQ(script.PendingSteps(), 0u);
        EXPECT_TRUE(script.unexpected.empty());
        EXPECT_TRUE(script.messages.empty());
        if (result == wxID_OK) sheet.GetOptions(options);
        return result;
    }

    StoreDiscovery discovery;
    ExtractionOptions options;
    TempDir dir;
};

TEST_F(OptionSheetTest, StartsWithTheDocumentedControls) {
    TheSettings().BrowserReport = 1;
    TheSettings().ExtractOnlyPicture = 0;
    discovery.DiscoverFolders(std::string(KESTREL_SOURCE_DIR) + "/samples/store/", nullptr);
    int result = Show(dir.path(), [](wxDialog& sheet) {
        EXPECT_EQ(sheet.GetId(), 141);
        EXPECT_EQ(sheet.GetTitle().utf8_string(), "Attachment Extractor");
        auto& tabs = Control<wxNotebook>(sheet, res::IDC_OPTION_TABS);
        ASSERT_EQ(tabs.GetPageCount(), 2u);
        EXPECT_EQ(tabs.GetPageText(0).utf8_string(), "Mail Extraction");
        EXPECT_EQ(tabs.GetPageText(1).utf8_string(), "Extraction Option");
        EXPECT_EQ(tabs.GetPage(0)->GetId(), 142);
        EXPECT_EQ(tabs.GetPage(1)->GetId(), 143);
        EXPECT_EQ(tabs.GetSelection(), 0);
        EXPECT_FALSE(Control<wxWindow>(sheet, res::IDD_ACTION_PAGE).IsShown());
        EXPECT_FALSE(Control<wxWindow>(sheet, res::IDD_FOLDER_TREE_PAGE).IsShown());

        struct Text {
            unsigned id;
            const char* text;
        };
        for (const Text& t :
             {Text{1, "OK"}, Text{2, "Cancel"}, Text{1031, "Destination"},
              Text{1009, "Show Extraction Report"}, Text{1011, "Extract Only Photos/Images"},
              Text{1032, "Sub-Directory Creation"}, Text{1014, "Not Create Any Sub-Directory"},
              Text{1015, "Use Live Mail Folder's Name as Sub-Directory"},
              Text{1016, "Use Attachments' Extension Name as Sub-Directory"},
              Text{10181, "Use Sender's Name as Sub-Directory"},
              Text{1033, "Extract Mails that Only Satisfy Following Condition"},
              Text{1034, "Sorting Mail According To"}, Text{1035, "Ascending Order"},
              Text{1030, "Action"}})
            EXPECT_EQ(Label(sheet, t.id), t.text) << t.id;
        EXPECT_FALSE(Control<wxWindow>(sheet, 1016).IsShown());
        EXPECT_FALSE(Control<wxWindow>(sheet, 10181).IsShown());
        EXPECT_FALSE(Control<wxWindow>(sheet, 1023).IsShown());

        EXPECT_TRUE(Control<wxCheckBox>(sheet, 1009).GetValue());
        EXPECT_FALSE(Control<wxCheckBox>(sheet, 1011).GetValue());
        EXPECT_TRUE(Control<wxRadioButton>(sheet, 1014).GetValue());
        EXPECT_FALSE(Control<wxRadioButton>(sheet, 1015).GetValue());

        auto& condition = Control<wxChoice>(sheet, 1024);
        ASSERT_EQ(condition.GetCount(), 3u);
        EXPECT_EQ(condition.GetString(1).utf8_string(), "Mail's Subject Contains Following String");
        EXPECT_EQ(condition.GetSelection(), 0);
        EXPECT_FALSE(Control<wxTextCtrl>(sheet, 1025).IsEnabled());
        EXPECT_EQ(Control<wxChoice>(sheet, 1026).GetStringSelection().utf8_string(),
                  "ReceivedTime");
        auto& action = Control<wxChoice>(sheet, 1021);
        EXPECT_EQ(action.GetString(2).utf8_string(), "Delete Extracted Mails. ");
        EXPECT_EQ(action.GetSelection(), 0);

        // The hidden trees hold the mail folders, with the connecting item of the sample.
        auto& folders = Control<wxTreeCtrl>(sheet, 1036);
        EXPECT_EQ(folders.GetCount(), 20u);
        EXPECT_FALSE(Control<wxTreeCtrl>(sheet, 1020).IsEnabled());
        ClickButton(sheet, 2);
    });
    EXPECT_EQ(result, wxID_CANCEL);
}

TEST_F(OptionSheetTest, RecordFollowsTheBoxesAsTheUserLeftThem) {
    struct Row {
        int browserReport, onlyPicture;
        bool toggle;
    };
    for (const Row& r : {Row{0, 1, true}, Row{1, 0, true}, Row{1, 1, false}, Row{0, 0, false}}) {
        TheSettings().BrowserReport = r.browserReport;
        TheSettings().ExtractOnlyPicture = r.onlyPicture;
        bool seenReport = false, seenPictures = false;
        ASSERT_EQ(Show(dir.path(),
                       [&](wxDialog& sheet) {
                           auto& report = Control<wxCheckBox>(sheet, 1009);
                           auto& pictures = Control<wxCheckBox>(sheet, 1011);
                           seenReport = report.GetValue();
                           seenPictures = pictures.GetValue();
                           if (r.toggle) {
                               report.SetValue(!report.GetValue());
                               pictures.SetValue(!pictures.GetValue());
                           }
                           ClickButton(sheet, 1);
                       }),
                  wxID_OK);
        EXPECT_EQ(seenReport, r.browserReport != 0);
        EXPECT_EQ(seenPictures, r.onlyPicture != 0);
        EXPECT_EQ(options.ShowReport, (r.browserReport != 0) != r.toggle ? 1 : 0);
        EXPECT_EQ(options.PicturesOnly, (r.onlyPicture != 0) != r.toggle ? 1 : 0);
        EXPECT_EQ(options.FileRename, 5); // the caller's, untouched
    }
}

TEST_F(OptionSheetTest, KeywordBoxFollowsTheConditionAndKeepsItsText) {
    ASSERT_EQ(Show(dir.path(),
                   [](wxDialog& sheet) {
                       auto& condition = Control<wxChoice>(sheet, 1024);
                       auto& keyword = Control<wxTextCtrl>(sheet, 1025);
                       ChooseEntry(condition, 1);
                       EXPECT_TRUE(keyword.IsEnabled());
                       keyword.ChangeValue("Photo ");
                       ChooseEntry(condition, 0);
                       EXPECT_FALSE(keyword.IsEnabled());
                       EXPECT_EQ(keyword.GetValue().utf8_string(), "Photo ");
                       ChooseEntry(condition, 2);
                       EXPECT_TRUE(keyword.IsEnabled());
                       ChooseEntry(condition, 0);
                       Control<wxRadioButton>(sheet, 1015).SetValue(true);
                       ClickButton(sheet, 1);
                   }),
              wxID_OK);
    EXPECT_EQ(options.Condition, 0);
    EXPECT_EQ(options.ConditionKeyword, "Photo ");
    EXPECT_EQ(options.NoSubDirectory, 0);
    EXPECT_EQ(options.FolderNameSubDirectory, 1);
    EXPECT_EQ(options.SortKey, "[ReceivedTime]");
    EXPECT_EQ(options.SortOrder, 2);
    EXPECT_EQ(options.StartPath, dir.path());

    // Typing stops at the 40th character.
    ASSERT_EQ(Show(dir.path(),
                   [](wxDialog& sheet) {
                       ChooseEntry(Control<wxChoice>(sheet, 1024), 1);
                       auto& keyword = Control<wxTextCtrl>(sheet, 1025);
                       for (int i = 0; i < 45; ++i)
                           keyword.WriteText("x");
                       EXPECT_EQ(keyword.GetValue().length(), 40u);
                       ClickButton(sheet, 1);
                   }),
              wxID_OK);
    EXPECT_EQ(options.Condition, 1);
    EXPECT_EQ(options.ConditionKeyword, std::string(40, 'x'));
}

TEST_F(OptionSheetTest, DestinationIsTheFolderTheTreeSelects) {
    std::string start = dir.MakeDir("photos/2024");
    std::string other = dir.MakeDir("photos/2023");
    ASSERT_EQ(Show(start,
                   [&](wxDialog& sheet) {
                       // The start path is asked for after the sheet is up.
                       PumpEvents();
                       auto& path = Control<wxStaticText>(sheet, 1013);
                       EXPECT_EQ(path.GetLabel().utf8_string(), start);
                       auto& tree = Control<CIEShellTreeView>(sheet, 1012);
                       EXPECT_EQ(tree.GetSelectedFolder(), start);
                       ASSERT_TRUE(tree.SelectFolder(other));
                       EXPECT_EQ(path.GetLabel().utf8_string(), other);
                       ClickButton(sheet, 1);
                   }),
              wxID_OK);
    EXPECT_EQ(options.Destination, other);
    EXPECT_EQ(options.StartPath, start);
}

TEST_F(OptionSheetTest, GermanLanguageFileTranslatesTheSheet) {
    TheLanguage().currentFile = std::string(KESTREL_SOURCE_DIR) + "/res/LANG/German.lng";
    std::string title, report, radio, ok;
    Show(dir.path(), [&](wxDialog& sheet) {
        title = sheet.GetTitle().utf8_string();
        report = Label(sheet, 1009);
        radio = Label(sheet, 1015);
        ok = Label(sheet, 1);
        ClickButton(sheet, 2);
    });
    TheLanguage().currentFile.clear();
    EXPECT_EQ(title, "Anhang-Extraktor");
    EXPECT_NE(report, "Show Extraction Report");
    EXPECT_NE(radio, "Use Live Mail Folder's Name as Sub-Directory");
    EXPECT_FALSE(report.empty());
    EXPECT_EQ(ok, "OK");
}

} // namespace
