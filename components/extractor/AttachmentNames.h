#pragma once
// The naming rules of the extractor component: what a sender's file name becomes on disk.
// The callers split the answer at "|" and ":", trim the names, and sweep "ulk*.*" and
// "kestl*.*", so no name may hold those separators, start or end with a blank, or start with
// those prefixes; and a name must be one plain entry of the destination folder.
#include <string>
#include <string_view>

namespace extractor {

// Longest name the rules give before a clash number " (n)" is added, in bytes: with the number
// the name stays under the file system's 255.
inline constexpr size_t kMaxBaseNameBytes = 240;

// The sender's name made safe: valid UTF-8 (stray bytes become "_"), its last path component
// ("/" and "\" both separate), without control or direction-override characters, ":" and "|"
// replaced by "_", without leading dots and surrounding blanks, "_" put before a name that
// starts with "ulk" or "kestl" in any case, and cut to kMaxBaseNameBytes keeping its
// extension. Empty when nothing usable is left.
std::string SanitizeFileName(std::string_view raw);

// A name for a part that has none: "part<n>" and the extension of its content type.
std::string GeneratedFileName(unsigned n, std::string_view mediaType, std::string_view subType);

// ".jpg" for image/jpeg and so on; ".bin" for a type without a known extension.
std::string ExtensionForContentType(std::string_view mediaType, std::string_view subType);

// Names the extraction run itself writes in its destination ("report.htm", "report",
// "process"), compared without regard to case.
bool IsReservedName(std::string_view name);

// "name (k).ext" ("name (k)" without an extension).
std::string NumberedName(std::string_view name, unsigned k);

// The name cut to at most maxBytes bytes on a character boundary, keeping a short extension.
std::string LimitNameLength(std::string_view name, size_t maxBytes);

// The header text made safe for one field of the answer: valid UTF-8, control characters as
// blanks, "|" as U+00A6 (broken bar), blanks trimmed.
std::string CleanFieldText(std::string_view text);

} // namespace extractor
