#include "locale/Language.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "locale/ProfileFile.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/ProgramFolders.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace {

std::string& ProgramPath() {
    static std::string path;
    return path;
}

std::string EffectiveProgramPath() {
    if (ProgramPath().empty()) ProgramPath() = platform::GetProgramPath();
    return ProgramPath();
}

constexpr const char* kMain = "Main";
constexpr const char* kLanguage = "Language";
constexpr size_t kMaxPrompt = 254;
constexpr size_t kMaxFaceName = 31;

int Low16(int v) {
    return v & 0xFFFF;
}

void LoadDialogFont() {
    LanguageState& st = TheLanguage();
    st.fontName.clear();
    st.fontSize = 0;
    if (st.currentFile.empty()) return;
    std::string face = profile::GetString(st.currentFile, kLanguage, "FontName");
    if (face.empty()) return;
    if (face.size() > kMaxFaceName) face.resize(kMaxFaceName);
    st.fontName = face;
    st.fontSize = profile::GetInt(st.currentFile, kLanguage, "FontSize", 0);
}

void WriteChoice(int number) {
    std::string path = LanguageChoiceFilePath();
    // The settings folder may not exist yet when the first choice is made.
    std::error_code ec;
    std::filesystem::create_directories(platform::FolderOf(path), ec);
    profile::WriteString(path, kMain, kLanguage, std::to_string(number));
}

} // namespace

LanguageState& TheLanguage() {
    static LanguageState state;
    return state;
}

void SetLanguageProgramPath(const std::string& programPath) {
    ProgramPath() = programPath;
}

std::string LanguageChoiceFilePath() {
    std::string exe = EffectiveProgramPath();
    size_t slash = exe.rfind('/');
    size_t dot = exe.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        exe.resize(dot);
    platform::ProgramFolders folders = platform::FindProgramFolders(EffectiveProgramPath());
    if (platform::WritesBesideProgram(folders)) return exe + ".lni";
    // An installed program keeps the choice with the settings, named after the program.
    auto settings = platform::GetSettingsFolder();
    if (!settings) return exe + ".lni";
    return *settings + "/" + platform::FindFileName(exe) + ".lni";
}

std::string LanguageFolder() {
    return platform::FindProgramFolders(EffectiveProgramPath()).data + "/LANG/";
}

std::vector<std::string> FindLanguageFiles() {
    std::vector<std::string> files;
    std::string folder = LanguageFolder();
    for (const platform::DirEntry& e : platform::ListDirectory(folder, "*.lng"))
        if (!e.isDirectory) files.push_back(folder + e.name);
    return files;
}

int ReadLanguageNumber(const std::string& languageFile) {
    return profile::GetInt(languageFile, kLanguage, kLanguage, 0);
}

int LangIdFromLocale(const std::string& locale) {
    struct Map {
        const char* prefix;
        int id;
    };
    // Region-specific names first, then the language alone.
    static constexpr Map kIds[] = {
        {"de_AT", 3079}, {"de_CH", 2055}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105},
        {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108}, {"pt_BR", 1046}, {"zh_TW", 1028},
        {"zh_HK", 3076}, {"es_MX", 2058}, {"nl_BE", 2067}, {"ar", 1025},    {"bg", 1026},
        {"ca", 1027},    {"zh", 2052},    {"cs", 1029},    {"da", 1030},    {"de", 1031},
        {"el", 1032},    {"en", 1033},    {"es", 3082},    {"fi", 1035},    {"fr", 1036},
        {"he", 1037},    {"hu", 1038},    {"is", 1039},    {"it", 1040},    {"ja", 1041},
        {"ko", 1042},    {"nl", 1043},    {"nb", 1044},    {"no", 1044},    {"pl", 1045},
        {"pt", 2070},    {"ro", 1048},    {"ru", 1049},    {"hr", 1050},    {"sk", 1051},
        {"sv", 1053},    {"th", 1054},    {"tr", 1055},    {"id", 1057},    {"uk", 1058},
        {"sl", 1060},    {"et", 1061},    {"lv", 1062},    {"lt", 1063},    {"vi", 1066},
    };
    for (const Map& m : kIds) {
        std::string p = m.prefix;
        if (locale.compare(0, p.size(), p) != 0) continue;
        // "de" must not match "del_XX": the language ends at "_", ".", "@" or the end.
        if (locale.size() == p.size() || locale[p.size()] == '_' || locale[p.size()] == '.' ||
            locale[p.size()] == '@')
            return m.id;
    }
    return 0;
}

int GetUserDefaultLangID() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return LangIdFromLocale(v);
    }
    return 0;
}

void LoadStartupLanguage() {
    int stored =
        profile::GetInt(LanguageChoiceFilePath(), kMain, kLanguage, GetUserDefaultLangID());
    int wanted = Low16(stored);
    if (wanted == 0) return;
    for (const std::string& file : FindLanguageFiles()) {
        if (ReadLanguageNumber(file) == wanted) {
            TheLanguage().currentFile = file;
            ApplyLanguageNumber(wanted);
            return;
        }
    }
}

unsigned PlanLanguageMenu() {
    LanguageState& st = TheLanguage();
    int stored = profile::GetInt(LanguageChoiceFilePath(), kMain, kLanguage, 0);
    for (const std::string& file : FindLanguageFiles()) {
        int number = ReadLanguageNumber(file);
        if (Low16(number) == 0) continue;
        if (st.lastMenuId >= res::ID_LANGUAGE_LAST) break;
        ++st.lastMenuId;
        std::string name = platform::FindFileName(file);
        name.resize(name.size() >= 4 ? name.size() - 4 : 0);
        st.entries.push_back(LanguageEntry{st.lastMenuId, name, file, number});
        if (Low16(number) == Low16(stored)) st.selectedMenuId = st.lastMenuId;
    }
    return st.selectedMenuId;
}

const LanguageEntry* FindLanguageEntry(unsigned menuId) {
    for (const LanguageEntry& e : TheLanguage().entries)
        if (e.menuId == menuId) return &e;
    return nullptr;
}

void ApplyLanguageMenuId(unsigned menuId) {
    LanguageState& st = TheLanguage();
    const LanguageEntry* entry = FindLanguageEntry(menuId);
    int number = 0;
    if (!entry) {
        st.currentFile.clear();
        st.selectedMenuId = res::ID_LANGUAGE_DEFAULT;
    } else {
        st.selectedMenuId = menuId;
        // The path as listed, not rebuilt from the entry's text: names here are case-sensitive
        // and "German.LNG" is a language file too.
        st.currentFile = entry->path;
        number = ReadLanguageNumber(entry->path);
    }
    WriteChoice(number);
    LoadDialogFont();
}

void ApplyLanguageNumber(int number) {
    WriteChoice(number);
    LoadDialogFont();
}

std::string LookupLanguageText(const std::string& section, const std::string& key) {
    const std::string& file = TheLanguage().currentFile;
    if (file.empty()) return {};
    return profile::GetString(file, section, key);
}

std::optional<std::string> LoadLanguageString(unsigned id) {
    std::string text = LookupLanguageText("String", std::to_string(id));
    if (!text.empty()) return text;
    return res::LoadBuiltinString(id);
}

std::string GetLanguageDescription(unsigned menuId) {
    if (const LanguageEntry* entry = FindLanguageEntry(menuId)) {
        std::string text = profile::GetString(entry->path, kLanguage, "Description");
        if (!text.empty()) return text;
    }
    return LoadLanguageString(res::ID_LANGUAGE_FIRST).value_or(std::string());
}

std::string GetMessagePrompt(unsigned id) {
    std::string text;
    if (id >= res::ID_LANGUAGE_FIRST && id <= res::ID_LANGUAGE_LAST) {
        text = GetLanguageDescription(id);
        if (text.empty()) text = LoadLanguageString(res::AFX_IDS_IDLEMESSAGE).value_or("");
    } else {
        text = LoadLanguageString(id).value_or("");
    }
    if (text.size() > kMaxPrompt) {
        size_t cut = kMaxPrompt;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    size_t lf = text.find('\n');
    if (lf != std::string::npos) text.resize(lf);
    return text;
}

int DialogFontHeight(int fontSize, int dpi) {
    if (fontSize == 0) return 0;
    return -static_cast<int>(std::lround(static_cast<double>(fontSize) * dpi / 72.0));
}

std::vector<int> TextPlaceholders(const std::string& text) {
    std::vector<int> numbers;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9')
            numbers.push_back(text[++i] - '0');
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

namespace {

// "\n" in a language file's value is a line break; a value cannot hold a real one.
std::string UnescapeLineBreaks(const std::string& value) {
    std::string text;
    text.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            text += '\n';
            ++i;
        } else {
            text += value[i];
        }
    }
    return text;
}

// One pass over the pattern: an argument that itself holds "%1" stays as it is.
std::string FillPlaceholders(const std::string& pattern, const std::vector<std::string>& args) {
    std::string text;
    text.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            size_t n = static_cast<size_t>(pattern[i + 1] - '1');
            if (n < args.size()) text += args[n];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

} // namespace

std::string TranslatedText(res::TextId id) {
    const res::ProgramText& entry = res::GetProgramText(id);
    std::string translated = UnescapeLineBreaks(LookupLanguageText("Text", entry.key));
    if (translated.empty() || TextPlaceholders(translated) != TextPlaceholders(entry.english))
        return {};
    return translated;
}

std::string Tr(res::TextId id, const std::vector<std::string>& args) {
    std::string translated = TranslatedText(id);
    return FillPlaceholders(translated.empty() ? res::GetProgramText(id).english : translated,
                            args);
}

std::string TrEnglish(res::TextId id, const std::vector<std::string>& args) {
    return FillPlaceholders(res::GetProgramText(id).english, args);
}

std::string TranslateBuiltInText(const std::string& english) {
    for (const res::ProgramText& entry : res::kProgramTexts)
        if (english == entry.english && TextPlaceholders(english).empty()) return Tr(entry.id);
    return english;
}
