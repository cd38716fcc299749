#pragma once
// A maildir: one message per file in its cur/ and new/ folders (tmp/ holds deliveries not yet
// done), used in place.
#include <string>

#include "store/sources/FilePerMessageSource.h"

// The message files of cur/ and new/, in ascending byte order of their names, which begin with
// the delivery time.
class MaildirSource : public FilePerMessageSource {
public:
    explicit MaildirSource(const std::string& folder);

protected:
    // A message's name without its flags (":2,S"), which mail programs change when it is read.
    std::string KeyName(const std::string& fileName) const override {
        return fileName.substr(0, fileName.find(':'));
    }
};

// The maildir rule, for recognition and discovery alike: cur/ with new/ or tmp/ beside it, or
// cur/ alone (as a copy that dropped the empty folders leaves it) when its files read as mail:
// a name carrying maildir flags (":2,"), or a first line that is a header field. Ok for a
// maildir, else NotRecognised, whose reason says why a folder with cur/ alone is not taken when
// it holds files at all.
platform::Status IsMaildir(const std::string& folder);

extern const MailSourceKind kMaildirKind;
