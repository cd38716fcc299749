#pragma once
// What the preference dialog edits: the report and extraction options and the mailbox path,
// with the ranges of its two number fields. The dialog fills a PreferenceValues from its
// controls; only ApplyPreferences writes them into the settings.
#include <string>

struct AppSettings;

struct NumberRange {
    int min;
    int max;
    bool Contains(long long v) const { return v >= min && v <= max; }
};

// Mail subjects on one report page.
inline constexpr NumberRange kSubjectsPerPageRange{0, 30};
// Smallest attachment kept, in kilobytes.
inline constexpr NumberRange kSizeLimitRange{0, 12800};

struct PreferenceValues {
    int SubjectsPerPage = 0;
    int SizeLimit = 0;
    std::string MailboxPath;
    bool ShowReport = false;
    bool PicturesOnly = false;
    bool Rename = false;
    bool RemoveFw = true;
    bool SetDate = true;
};

enum class PreferenceField { None, SubjectsPerPage, SizeLimit };

// A number field's text: digits only, at least one, and within the range.
enum class NumberCheck { Ok, NotANumber, OutOfRange };
NumberCheck CheckNumberText(const std::string& text, NumberRange range, int& value);
// What the user is told about a number outside its range.
std::string RangeMessage(NumberRange range);

PreferenceValues ReadPreferences(const AppSettings& settings);
// Stores the values (flags as 0 and 1) and returns None; a number outside its range stores
// nothing and names the field instead.
PreferenceField ApplyPreferences(const PreferenceValues& values, AppSettings& settings);
// Whether a new mailbox path leads to another store: blanks around it and a trailing "/" do not
// count, and an emptied path means "the default store" again, which is a change.
bool MailboxPathChanged(const std::string& before, const std::string& after);

inline constexpr const char* kPreferenceRestartMessage =
    "Please close and restart the program to make the configuration work!";
inline constexpr const char* kIdentityRestartMessage =
    "You need to restart Kestrel to take the effect!!!";
