#pragma once
#include <string>

namespace platform {
// The account name of the effective user (stands in for the logon name).
std::string GetLogonName();
} // namespace platform
