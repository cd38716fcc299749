#pragma once
// Messages for the run's tests, written the way mail programs store them (CRLF, base64 parts).
#include <random>
#include <string>
#include <vector>

struct FixtureAttachment {
    std::string name;
    std::string data;
    std::string type = "application/octet-stream";
};

// The start of a JPEG file and enough bytes after it to be taken for a picture.
inline const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(3000, 'j');

// n bytes of every value, the same for the same seed.
inline std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

inline std::string Base64(const std::string& in) {
    static const char* const k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    int column = 0;
    while (i < in.size()) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        size_t n = std::min<size_t>(3, in.size() - i);
        if (n > 1) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (n > 2) v |= static_cast<unsigned char>(in[i + 2]);
        out += k[(v >> 18) & 63];
        out += k[(v >> 12) & 63];
        out += n > 1 ? k[(v >> 6) & 63] : '=';
        out += n > 2 ? k[v & 63] : '=';
        i += 3;
        if (++column == 19) {
            out += "\r\n";
            column = 0;
        }
    }
    return out + "\r\n";
}

inline std::string MakeMessage(const std::string& subject, const std::string& from,
                               const std::string& date,
                               const std::vector<FixtureAttachment>& files) {
    std::string m = "From: " + from + "\r\n";
    if (!subject.empty()) m += "Subject: " + subject + "\r\n";
    if (!date.empty()) m += "Date: " + date + "\r\n";
    m += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XYZ\"\r\n\r\n"
         "--XYZ\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nHello.\r\n";
    for (const FixtureAttachment& f : files) {
        m += "--XYZ\r\nContent-Type: " + f.type + "; name=\"" + f.name +
             "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
             "filename=\"" +
             f.name + "\"\r\n\r\n" + Base64(f.data);
    }
    return m + "--XYZ--\r\n";
}
