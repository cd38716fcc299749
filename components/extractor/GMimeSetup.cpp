#include "components/extractor/GMimeSetup.h"

#include <mutex>

namespace extractor {

GMimeParserOptions* SharedParserOptions() {
    static std::once_flag once;
    static GMimeParserOptions* options = nullptr;
    std::call_once(once, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        const char* charsets[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, charsets);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    });
    return options;
}

} // namespace extractor
