#pragma once
// A folder of .eml files, one message each, used in place.
#include <string>

#include "store/sources/FilePerMessageSource.h"

// The .eml files of a folder, in ascending byte order of their paths.
class EmlFolderSource : public FilePerMessageSource {
public:
    explicit EmlFolderSource(const std::string& folder);
};

// Any folder: the kind asked last among the folder kinds.
extern const MailSourceKind kEmlFolderKind;
