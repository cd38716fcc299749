#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "res/MenuTemplate.h"
#include "res/Resource.h"
#include "res/StringTable.h"

using namespace res;

namespace {
// Every text of a definition, keyed the way the walk reports them.
void Expected(const std::vector<MenuItemDef>& items, std::vector<unsigned> path,
              std::map<std::string, std::string>& out) {
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItemDef& item = items[i];
        if (item.separator) continue;
        if (item.IsPopup()) {
            std::vector<unsigned> p = path;
            p.push_back(static_cast<unsigned>(i));
            std::string key;
            for (unsigned x : p)
                key += "|" + std::to_string(x);
            out[key] = item.text;
            Expected(item.items, p, out);
        } else {
            out[std::to_string(item.id)] = item.text;
        }
    }
}

std::map<std::string, std::string> Walked(const std::vector<MenuTemplateText>& texts) {
    std::map<std::string, std::string> out;
    for (const auto& t : texts) {
        std::string key;
        if (t.popup)
            for (unsigned x : t.path)
                key += "|" + std::to_string(x);
        else
            key = std::to_string(t.id);
        out[key] = t.text;
    }
    return out;
}
} // namespace

TEST(MenuTemplate, MainMenuWalksBackToEveryCaption) {
    std::map<std::string, std::string> expected;
    Expected(MainMenuDefinition(), {}, expected);
    auto walked = Walked(ParseMenuTemplate(LoadMenuTemplate(IDR_MAINFRAME)));
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(walked.at("|0"), "&File   ");
    EXPECT_EQ(walked.at("|2|2"), "Language");
    EXPECT_EQ(walked.at("5050"), "&Default");
    EXPECT_EQ(walked.at("57664"), "&About KESTL...");
}

TEST(MenuTemplate, NestedMenusEndingTogetherReturnToTheRightLevel) {
    // A submenu that is the last item of a submenu that is itself last: both end at once, and
    // the next top-level menu must count from where the top level left off.
    std::vector<MenuItemDef> bar = {
        {"A", 0, {{"a1", 101, {}, false}, {"Inner", 0, {{"deep", 102, {}, false}}, false}}, false},
        {"B", 0, {{"", 0, {}, true}, {"b1", 103, {}, false}}, false},
    };
    auto walked = Walked(ParseMenuTemplate(BuildMenuTemplate(bar)));
    std::map<std::string, std::string> expected = {
        {"|0", "A"}, {"101", "a1"}, {"|0|1", "Inner"}, {"102", "deep"}, {"|1", "B"}, {"103", "b1"}};
    EXPECT_EQ(walked, expected);
}

TEST(MenuTemplate, TextsOutsideAsciiSurviveTheRoundTrip) {
    std::vector<MenuItemDef> bar = {{"Ä", 0, {{"Größe 😀", 7, {}, false}}, false}};
    auto walked = Walked(ParseMenuTemplate(BuildMenuTemplate(bar)));
    EXPECT_EQ(walked.at("|0"), "Ä");
    EXPECT_EQ(walked.at("7"), "Größe 😀");
}

TEST(MenuTemplate, DamagedTemplatesGiveWhatFitsAndNothingMore) {
    auto bytes = LoadMenuTemplate(IDR_MAINFRAME);
    auto full = ParseMenuTemplate(bytes);
    // Every cut stops cleanly with a prefix of the full walk.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        auto texts = ParseMenuTemplate(part);
        ASSERT_LE(texts.size(), full.size()) << cut;
        for (size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i].text, full[i].text) << cut;
    }
    // An offset pointing past the end, an extended template, and a popup chain deeper than the
    // limit that never ends.
    std::vector<std::uint8_t> farOffset = {0, 0, 0xFF, 0xFF};
    EXPECT_TRUE(ParseMenuTemplate(farOffset).empty());
    std::vector<std::uint8_t> extended = bytes;
    extended[0] = 1;
    EXPECT_TRUE(ParseMenuTemplate(extended).empty());
    std::vector<std::uint8_t> deep = {0, 0, 0, 0};
    for (int i = 0; i < 1000; ++i)
        deep.insert(deep.end(), {MF_POPUP, 0, 'x', 0, 0, 0});
    EXPECT_EQ(ParseMenuTemplate(deep).size(), kMaxMenuDepth);
}

TEST(StringTable, PromptsAndFixedTexts) {
    EXPECT_EQ(LoadBuiltinString(AFX_IDS_IDLEMESSAGE),
              "Choose Windows Live Mail folder and press right mouse button. (For Help, press F1)");
    EXPECT_EQ(LoadBuiltinString(IDP_OLE_INIT_FAILED),
              "OLE initialization failed.  Make sure that the OLE libraries are the correct "
              "version.");
    EXPECT_EQ(LoadBuiltinString(ID_LAUNCH_MAIL), "Lauch Windows Live Mail!");
    EXPECT_EQ(LoadBuiltinString(ID_VIEW_STATUS_BAR),
              "Show or hide the status bar\nToggle StatusBar");
    EXPECT_FALSE(LoadBuiltinString(ID_FILE_PREFERENCE).has_value());
    // Every command of the menu except the preference entry has its prompt in the table.
    std::function<void(const std::vector<MenuItemDef>&)> check = [&](const auto& items) {
        for (const auto& item : items) {
            if (item.IsPopup()) {
                check(item.items);
            } else if (!item.separator && item.id != ID_FILE_PREFERENCE) {
                EXPECT_TRUE(LoadBuiltinString(item.id).has_value()) << item.id;
            }
        }
    };
    check(MainMenuDefinition());
}

TEST(Resource, CommandIdsSurviveTheWindowSystemsRange) {
    std::function<void(const std::vector<MenuItemDef>&)> check = [&](const auto& items) {
        for (const auto& item : items) {
            if (item.IsPopup())
                check(item.items);
            else if (!item.separator) {
                EXPECT_LT(WxId(item.id), 0x8000);
                EXPECT_EQ(CommandId(WxId(item.id)), item.id);
            }
        }
    };
    check(MainMenuDefinition());
    check(FolderMenuDefinition());
    for (unsigned id : {ID_NEXT_PANE, ID_HELP, ID_LANGUAGE_LAST, ID_ONLINE_TUTORIAL, ID_SEARCH_MAIL,
                        IDW_FIRST_PANE + 2})
        EXPECT_EQ(CommandId(WxId(id)), id);
}
