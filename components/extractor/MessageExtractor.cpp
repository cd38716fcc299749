#include "components/extractor/MessageExtractor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "components/extractor/AttachmentNames.h"
#include "components/extractor/FolderWriter.h"
#include "components/extractor/GMimeHeaderText.h"
#include "components/extractor/GMimeSetup.h"
#include "components/extractor/MessageFile.h"
#include "components/extractor/PartWalker.h"
#include "platform/FileHandle.h"

namespace extractor {

namespace {

// The sender as the From: header gives it, decoded (see GMimeHeaderText.h), in GMime's address
// form ("Jörg Müller <joerg@example.de>"); the decoded text itself when GMime reads no address.
std::string SenderText(GMimeMessage* message) {
    const char* raw = RawHeader(GMIME_OBJECT(message), "From");
    if (!raw) return {};
    std::string decoded = DecodeHeaderText(raw);
    std::string text;
    if (InternetAddressList* list =
            internet_address_list_parse(SharedParserOptions(), decoded.c_str())) {
        if (internet_address_list_length(list) > 0) {
            char* s = internet_address_list_to_string(list, nullptr, FALSE);
            if (s) text = s;
            g_free(s);
        }
        g_object_unref(list);
    }
    if (text.empty()) text = decoded;
    text = CleanFieldText(text);
    std::string out; // runs of blanks (folding, tabs) as one
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

std::string DateText(GMimeMessage* message) {
    GDateTime* date = g_mime_message_get_date(message); // borrowed
    if (!date) return {};
    return FormatRfc822Date(
        g_date_time_get_year(date), g_date_time_get_month(date), g_date_time_get_day_of_month(date),
        g_date_time_get_hour(date), g_date_time_get_minute(date), g_date_time_get_second(date),
        g_date_time_get_day_of_week(date),
        static_cast<long>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND));
}

// The file list, with the note of the files that could not be written last.
std::string JoinNames(const ExtractedMessage& message) {
    std::string out;
    for (const auto& n : message.files) {
        if (!out.empty()) out += ':';
        out += n;
    }
    if (message.unwritten.Count > 0) {
        if (!out.empty()) out += ':';
        out += platform::FormatUnwrittenEntry(message.unwritten);
    }
    return out;
}

} // namespace

std::string FormatRfc822Date(int year, int month, int day, int hour, int minute, int second,
                             int dayOfWeek, long offsetSeconds) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 || dayOfWeek < 1 ||
        dayOfWeek > 7 || offsetSeconds <= -100 * 3600 || offsetSeconds >= 100 * 3600)
        return {};
    char sign = offsetSeconds < 0 ? '-' : '+';
    long off = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[dayOfWeek - 1], day, kMonths[month - 1], year, hour, minute, second, sign,
                  off / 3600, (off / 60) % 60);
    return buf;
}

ExtractedMessage ExtractMessage(const std::string& messagePath, const std::string& folder,
                                MessagePreparer* ahead) {
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    platform::UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0)
        throw ExtractError("Cannot open the folder \"" + folder + "\": " + std::strerror(errno));
    ParsedMessage parsed = OpenParsedMessage(messagePath, ahead);

    ExtractedMessage result;
    GMimeMessage* message = parsed.message.get();
    if (!message) return result; // nothing GMime can read as a message: no fields, no files

    // The first Subject: and From: (GMime's getters give the last of repeated headers).
    if (const char* subject = RawHeader(GMIME_OBJECT(message), "Subject"))
        result.subject = CleanFieldText(DecodeHeaderText(subject));
    result.sender = SenderText(message);
    result.date = DateText(message);

    FolderWriter writer(dirFd.Get(), dir);
    WalkContext ctx;
    ctx.writer = &writer;
    ctx.files = &result.files;
    ctx.unwritten = &result.unwritten;
    ctx.messagePath = messagePath;
    if (GDateTime* date = g_mime_message_get_date(message))
        ctx.utcOffset = static_cast<long>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND);
    WalkParts(parsed, ctx);
    return result;
}

std::string FormatExtractToFolder2(const ExtractedMessage& message) {
    std::string out = message.subject + "|" + message.sender + "|" + message.date;
    std::string list = JoinNames(message);
    if (!list.empty()) out += "|" + list;
    return out;
}

std::string FormatExtractToFolder(const ExtractedMessage& message) {
    return JoinNames(message);
}

} // namespace extractor
