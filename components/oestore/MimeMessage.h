#pragma once
// A stored message opened as a MIME message: its attachment parts, each with a display name
// "name (size)" and its decoded content.
#include <string>

#include "platform/StoreInterfaces.h"

namespace oestore {

// Parses the message text in the file descriptor (which it takes over); none when GMime
// cannot read it.
platform::IMimeMessage* OpenMimeMessage(int fd);

// A stream over the message text in the file descriptor (taken over).
platform::IStream* OpenMessageStream(int fd);

} // namespace oestore
