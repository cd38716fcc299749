#pragma once
// The walk through a parsed message's parts: which leaves are attachments, the names they are
// written under, forwarded messages (walked, and saved as .eml when attached as files), and
// winmail.dat streams opened into their files.
#include <gmime/gmime.h>

#include <string>
#include <vector>

#include "platform/UnwrittenFiles.h"

namespace extractor {

class FolderWriter;
class MessageFile;
struct ParsedMessage;

struct WalkContext {
    FolderWriter* writer = nullptr;
    std::vector<std::string>* files = nullptr;
    platform::UnwrittenFiles* unwritten = nullptr;
    unsigned attachmentNumber = 0;
    std::string messagePath;
    long utcOffset = 0; // the sender's, from the mail's Date:
    MessageFile* file = nullptr; // the file the current part's headers lie in
};

// Writes every attachment of the message through ctx.writer, in the message's order, and
// lists the names in ctx.files.
void WalkParts(const ParsedMessage& root, WalkContext& ctx);

// The first header of that name as it stands in the message (folded, encoded words and all).
const char* RawHeader(GMimeObject* object, const char* name);

} // namespace extractor
