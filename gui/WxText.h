#pragma once
// Text between the core, which speaks UTF-8 std::string, and the windows, which speak wxString.
#include <string>

#include <wx/string.h>

#include "locale/Language.h"

inline wxString Wx(const std::string& utf8) {
    return wxString::FromUTF8(utf8);
}

// The program's own text in the current language (locale/Language.h).
inline wxString WxTr(res::TextId id, const std::vector<std::string>& args = {}) {
    return wxString::FromUTF8(Tr(id, args));
}

inline std::string Utf8(const wxString& text) {
    return text.utf8_string();
}
