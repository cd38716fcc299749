#include "app/Preferences.h"

#include "app/Settings.h"
#include "locale/Language.h"

namespace {
std::string Normalised(const std::string& path) {
    const char* blanks = " \t\r\n";
    size_t first = path.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    std::string out = path.substr(first, path.find_last_not_of(blanks) - first + 1);
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}
} // namespace

NumberCheck CheckNumberText(const std::string& text, NumberRange range, int& value) {
    if (text.empty()) return NumberCheck::NotANumber;
    long long n = 0;
    bool big = false;
    for (char c : text) {
        if (c < '0' || c > '9') return NumberCheck::NotANumber;
        n = n * 10 + (c - '0');
        // Any longer number is out of every range; stop before it overflows.
        if (n > 1'000'000'000LL) big = true, n = 1'000'000'000LL;
    }
    if (big || !range.Contains(n)) return NumberCheck::OutOfRange;
    value = static_cast<int>(n);
    return NumberCheck::Ok;
}

std::string RangeMessage(NumberRange range) {
    return Tr(res::TextId::NumberOutOfRange,
              {std::to_string(range.min), std::to_string(range.max)});
}

PreferenceValues ReadPreferences(const AppSettings& s) {
    PreferenceValues v;
    v.SubjectsPerPage = s.HTMLItemNumber;
    v.SizeLimit = s.AttachmentSizeLimit;
    v.MailboxPath = s.KESTLMailFolderPath;
    v.ShowReport = s.BrowserReport != 0;
    v.PicturesOnly = s.ExtractOnlyPicture != 0;
    v.Rename = s.FileRename != 0;
    v.RemoveFw = s.RemoveFwString != 0;
    v.SetDate = s.SetAttachmentDate != 0;
    return v;
}

PreferenceField ApplyPreferences(const PreferenceValues& v, AppSettings& s) {
    if (!kSubjectsPerPageRange.Contains(v.SubjectsPerPage)) return PreferenceField::SubjectsPerPage;
    if (!kSizeLimitRange.Contains(v.SizeLimit)) return PreferenceField::SizeLimit;
    s.HTMLItemNumber = v.SubjectsPerPage;
    s.AttachmentSizeLimit = v.SizeLimit;
    s.KESTLMailFolderPath = v.MailboxPath;
    s.BrowserReport = v.ShowReport ? 1 : 0;
    s.ExtractOnlyPicture = v.PicturesOnly ? 1 : 0;
    s.FileRename = v.Rename ? 1 : 0;
    s.RemoveFwString = v.RemoveFw ? 1 : 0;
    s.SetAttachmentDate = v.SetDate ? 1 : 0;
    return PreferenceField::None;
}

bool MailboxPathChanged(const std::string& before, const std::string& after) {
    return Normalised(before) != Normalised(after);
}
