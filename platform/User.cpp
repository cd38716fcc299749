#include "platform/User.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string GetLogonName() {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(hint > 0 ? static_cast<size_t>(hint) : 260);
    passwd pw;
    passwd* result = nullptr;
    // Like the original, retry with the size the system asks for when the buffer is short.
    while (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == ERANGE)
        buf.resize(buf.size() * 2);
    if (result && result->pw_name) return result->pw_name;
    if (const char* u = std::getenv("USER")) return u;
    return {};
}

} // namespace platform
