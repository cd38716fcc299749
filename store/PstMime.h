#pragma once
// An Outlook data file's message written out as MIME: the transport headers where it has them,
// else headers made from its properties, its bodies and every attachment, attached messages
// nested as message/rfc822 parts.
#include <libpff.h>

namespace pst {

struct MimeOutcome {
    bool written = false; // every byte reached the descriptor
    bool damaged = false; // a part could not be read and was left out
};

MimeOutcome WriteMessageAsMime(libpff_item_t* message, int fd, unsigned fileCodePage);

} // namespace pst
