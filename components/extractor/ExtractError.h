#pragma once
// The failure that ends an extraction call, shared by the extractor and its read-ahead.
#include <stdexcept>

namespace extractor {

// A failure that ends the call: the message file or the folder cannot be opened. The
// component turns it into an automation exception with this text.
class ExtractError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace extractor
