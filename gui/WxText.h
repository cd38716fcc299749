#pragma once
// Text between the core, which speaks UTF-8 std::string, and the windows, which speak wxString.
#include <string>

#include <wx/string.h>

inline wxString Wx(const std::string& utf8) {
    return wxString::FromUTF8(utf8);
}

inline std::string Utf8(const wxString& text) {
    return text.utf8_string();
}
