#pragma once
// The option sheet's side of ExtractionOptions: the entries its lists offer, the states its
// controls start in, and the one rule that turns the controls as the user left them into the
// record the run reads.
#include <string>

#include "engine/ExtractionOptions.h"
#include "res/ProgramTexts.h"

struct AppSettings;

// Condition list 1024, in selection-index order (the index is the record's Condition).
inline constexpr res::TextId kConditionEntries[] = {
    res::TextId::ConditionAll, res::TextId::ConditionContains, res::TextId::ConditionNotContains};
// Sort list 1026 and action list 1021, pages the sheet never shows.
inline constexpr const char* kSortKeyEntries[] = {"ReceivedTime", "Subject", "SenderName"};
inline constexpr res::TextId kActionEntries[] = {
    res::TextId::ActionNothing, res::TextId::ActionMove, res::TextId::ActionDelete};

struct ExtractOptionChoices {
    std::string ChosenPath;
    bool ShowReport = false;
    bool PicturesOnly = false;
    bool NoSubDirectory = true;
    bool FolderNameSubDirectory = false;
    bool ExtensionSubDirectory = false;
    bool SenderSubDirectory = false;
    int Action = 0;
    int Condition = 0;
    std::string ConditionKeyword;
    std::string SortKeyText = kSortKeyEntries[0];
    bool Ascending = false;
    bool NewOnly = false; // messages extracted into the destination before are passed over
};

// Every use of the sheet starts here: the two boxes from the settings, the first radio, every
// list on its first entry, no keyword.
ExtractOptionChoices InitialChoices(const AppSettings& settings);

// The keyword box takes input only for a condition that reads it.
inline bool KeywordEnabled(int condition) {
    return condition != 0;
}

// The record the Extract Attachments command hands the sheet: report and pictures on, the file
// rename setting, everything else empty or 0.
ExtractionOptions PrepareExtractionOptions(const AppSettings& settings);

// OK: replaces every field but FileRename. The keyword is kept to kMaxConditionKeyword
// characters and the sort key is the entry's trimmed text in square brackets.
void FillExtractionOptions(const ExtractOptionChoices& choices, const std::string& startPath,
                           ExtractionOptions& options);

// The sheet's choices that the settings keep for its next use.
void RememberChoices(const ExtractOptionChoices& choices, AppSettings& settings);

// The first `count` characters (not bytes) of UTF-8 text.
std::string CutToCharacters(const std::string& text, std::size_t count);
