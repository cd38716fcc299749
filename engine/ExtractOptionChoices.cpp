#include "engine/ExtractOptionChoices.h"

#include "app/Settings.h"
#include "platform/PathHelpers.h"
#include "platform/Utf8.h"

ExtractOptionChoices InitialChoices(const AppSettings& settings) {
    ExtractOptionChoices c;
    c.ShowReport = settings.BrowserReport != 0;
    c.PicturesOnly = settings.ExtractOnlyPicture != 0;
    c.NewOnly = settings.NewMailOnly != 0;
    return c;
}

void RememberChoices(const ExtractOptionChoices& choices, AppSettings& settings) {
    settings.NewMailOnly = choices.NewOnly ? 1 : 0;
}

ExtractionOptions PrepareExtractionOptions(const AppSettings& settings) {
    ExtractionOptions o;
    o.ShowReport = 1;
    o.PicturesOnly = 1;
    o.FileRename = settings.FileRename;
    o.NoSubDirectory = 0;
    o.FolderNameSubDirectory = 0;
    o.ExtensionSubDirectory = 0;
    o.SenderSubDirectory = 0;
    o.Action = 0;
    o.Condition = 0;
    o.SortKey.clear();
    o.SortOrder = 0;
    return o;
}

std::string CutToCharacters(const std::string& text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < text.size() && seen < count; ++seen) {
        char32_t cp;
        std::size_t length = platform::DecodeUtf8(text, i, cp);
        // A byte that is not UTF-8 counts as one character, as the edit box shows it.
        i += length ? length : 1;
    }
    return text.substr(0, i);
}

void FillExtractionOptions(const ExtractOptionChoices& c, const std::string& startPath,
                           ExtractionOptions& o) {
    o.Destination = c.ChosenPath;
    o.ShowReport = c.ShowReport ? 1 : 0;
    o.PicturesOnly = c.PicturesOnly ? 1 : 0;
    o.NoSubDirectory = c.NoSubDirectory ? 1 : 0;
    o.FolderNameSubDirectory = c.FolderNameSubDirectory ? 1 : 0;
    o.ExtensionSubDirectory = c.ExtensionSubDirectory ? 1 : 0;
    o.SenderSubDirectory = c.SenderSubDirectory ? 1 : 0;
    o.Action = c.Action;
    o.StartPath = startPath;
    o.Condition = c.Condition;
    o.ConditionKeyword = CutToCharacters(c.ConditionKeyword, kMaxConditionKeyword);
    o.SortKey = "[" + platform::Trim(c.SortKeyText) + "]";
    o.SortOrder = c.Ascending ? 1 : 2;
    o.NewOnly = c.NewOnly ? 1 : 0;
}
