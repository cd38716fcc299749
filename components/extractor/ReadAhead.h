#pragma once
// Reads the next message on a second core while the current one is written: Prepare names the
// message file the caller will ask for next, and a worker thread opens and parses it. Parsing
// only reads the message, so what is written, and under which names, does not depend on the
// timing. A message that could not be opened ahead is opened again by the call that wants it,
// which then says why it fails as it would have without the preparer.
#include <memory>
#include <string>

namespace extractor {

struct ParsedMessage;
struct PreparedParse;

class MessagePreparer {
public:
    MessagePreparer();
    ~MessagePreparer(); // waits for a parse under way
    MessagePreparer(const MessagePreparer&) = delete;
    MessagePreparer& operator=(const MessagePreparer&) = delete;

    // Names a message file to parse ahead (a name already waiting is not added twice). Only
    // the last few named are kept; older ones never taken are dropped.
    void Prepare(const std::string& messagePath);
    // Waits until the worker is done with a file named ahead: parsed, found unreadable, or
    // dropped (or until it cannot go on before a parse is taken). True when a parse of the
    // file waits to be taken.
    bool WaitUntilParsed(const std::string& messagePath);
    // The parse of the file at this path, when it was prepared and could be opened; waits for a
    // parse under way. Null otherwise.
    std::unique_ptr<PreparedParse> Take(const std::string& messagePath);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The message file at the path, parsed: the preparer's parse when it has one of that file as
// it is now, else the file opened and parsed here. Throws ExtractError when it cannot be opened
// or is no regular file.
ParsedMessage OpenParsedMessage(const std::string& messagePath, MessagePreparer* ahead);

} // namespace extractor
