#pragma once
// GMime, set up once per process (std::call_once), and the parser options the component uses.
#include <gmime/gmime.h>

namespace extractor {

// Initialises GMime on first use. Headers without a declared charset are read as UTF-8 when
// they are valid UTF-8, else as windows-1252 (what Windows mail programs wrote); RFC 2047,
// parameters and addresses are read loosely, as mail in the wild needs.
GMimeParserOptions* SharedParserOptions();

} // namespace extractor
