#include "report/ReportWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "report/HtmlWriter.h"

namespace {

constexpr const char* kReportFolderName = "report";

} // namespace

bool WriteReportFile(const std::string& destination, const std::string& subFolder,
                     const std::string& name, const std::string& text) {
    // The destination is the user's choice; below it, a link someone put in place of the
    // report's folder or files is replaced or refused, never followed.
    bool ok = false;
    int dest = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dest >= 0) {
        int folder = dest;
        if (!subFolder.empty()) {
            if (::mkdirat(dest, subFolder.c_str(), 0777) != 0 && errno != EEXIST) folder = -1;
            if (folder >= 0)
                folder = ::openat(dest, subFolder.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (folder >= 0) ok = platform::ReplaceFileAt(folder, name, text, false, 0644);
        if (folder >= 0 && folder != dest) ::close(folder);
        ::close(dest);
    }
    if (!ok)
        TheErrorLog().Write(
            "Cannot write the report file %s",
            platform::JoinPath(
                subFolder.empty() ? destination : platform::JoinPath(destination, subFolder), name)
                .c_str());
    return ok;
}

namespace {

std::string PageLink(int page, const char* label) {
    return "<a href=\"report_page" + std::to_string(page) + ".htm\">" + label + "</a>";
}

} // namespace

std::string ReportFramesetPath(const std::string& destination) {
    return platform::JoinPath(destination, "report.htm");
}
std::string ReportFolder(const std::string& destination) {
    return platform::JoinPath(destination, "report");
}
std::string ReportIndexPath(const std::string& destination) {
    return platform::JoinPath(ReportFolder(destination), "report_left.htm");
}
std::string ReportPagePath(const std::string& destination, int page) {
    return platform::JoinPath(ReportFolder(destination),
                              "report_page" + std::to_string(page) + ".htm");
}

std::string BuildReportFrameset() {
    CHtmlWriter w;
    w.BeginHtml();
    w.BeginHead();
    w.Title("Kestrel Report");
    w.EndHead();
    w.Write("<frameset cols=\"100,*\" frameborder=\"1\" border=\"1\" framespacing=\"0\">");
    w.Write("<frame src=\"report\\report_left.htm\" name=\"leftFrame\" scrolling=\"No\" noresize>");
    w.Write("<frame src=\"report\\report_page1.htm\" name=\"mainFrame\">");
    w.Write("</frameset>");
    w.BeginBody();
    w.EndBody();
    w.EndHtml();
    return w.GetText();
}

std::string BuildReportIndex(int pageCount) {
    CHtmlWriter w;
    w.BeginHtml();
    w.BeginHead();
    w.Title("Select Page");
    w.EndHead();
    w.BeginBody("#FFFFFF", "#000000");
    w.Write("<B>Select</B><P>\n");
    w.Write("<hr>");
    for (int p = 1; p <= pageCount; ++p) {
        std::string n = std::to_string(p);
        w.Write("<i><a href=\"report_page" + n + ".htm\" target=\"mainFrame\">Page " + n +
                "</a></i><br>\n");
    }
    w.EndBody();
    w.EndHtml();
    return w.GetText();
}

std::string ReportNavigationLine(int page, bool isLast) {
    std::string line = "Page:" + std::to_string(page) + "  ";
    std::string prev = page > 1 ? PageLink(page - 1, "Prev Page") : "";
    if (isLast) return line + prev;
    return line + prev + "   " + PageLink(page + 1, "Next Page");
}

std::string BuildReportPage(const std::string& body, int page, bool isLast) {
    std::string nav = ReportNavigationLine(page, isLast);
    CHtmlWriter w;
    w.BeginHtml();
    w.BeginHead();
    w.Title("Qorvane Report");
    w.EndHead();
    w.BeginBody("#FFFFFF", "#000000");
    w.Write("<B>QOR Report</B><br>");
    w.Write("<hr>");
    w.Write(nav);
    w.Write("<hr>");
    w.Write(body);
    w.Write("<hr>");
    w.Write(nav);
    w.EndBody();
    w.EndHtml();
    return w.GetText();
}

bool WriteReportFrameset(const std::string& destination) {
    return WriteReportFile(destination, "", "report.htm", BuildReportFrameset());
}

bool WriteReportIndex(const std::string& destination, int pageCount) {
    return WriteReportFile(destination, kReportFolderName, "report_left.htm",
                           BuildReportIndex(pageCount));
}

bool WriteReportPage(const std::string& destination, const std::string& body, int page,
                     bool isLast) {
    return WriteReportFile(destination, kReportFolderName,
                           "report_page" + std::to_string(page) + ".htm",
                           BuildReportPage(body, page, isLast));
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string EncodeLinkPart(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '#':
            out += "%23";
            break;
        case '?':
            out += "%3F";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string ReportLinkPath(const std::string& fileName, const std::string& subDirectory) {
    const auto encode = EncodeLinkPart;
    std::string link = "..\\";
    if (!subDirectory.empty()) link += encode(subDirectory) + "\\";
    link += encode(fileName);
    return HtmlEscape(link);
}

bool IsThumbnailName(const std::string& fileName) {
    const std::string upper = platform::ToUpper(fileName);
    for (const char* ext : {".JPEG", ".PNG", ".JBG", ".JPG", ".GIF"})
        if (upper.find(ext) != std::string::npos) return true;
    return false;
}

void BeginMessageBlock(CHtmlWriter& body, const std::string& subject, const std::string& dateText) {
    body.BeginTable("800", "1");
    body.BeginRow();
    body.BeginCell(std::nullopt, "85%", std::nullopt, "#FFFF99");
    body.Write(subject);
    body.EndCell();
    body.BeginCell(std::nullopt, "15%", std::nullopt, "#FFFF99");
    body.Write(dateText);
    body.EndCell();
    body.EndRow();
    body.EndTable();
    body.BeginTable("800", "1");
    body.BeginRow();
    body.BeginCell("1");
}

void AddMessageEntry(CHtmlWriter& body, const std::string& linkPath, const std::string& fileName,
                     bool thumbnail, int entryNumber) {
    body.BeginLink(linkPath);
    if (thumbnail) {
        body.Image(linkPath, "100", "100", "0");
        body.EndLink();
    } else {
        body.Write(fileName);
        body.EndLink();
        body.Write(" ");
    }
    if (entryNumber > 0 && entryNumber % 7 == 0) body.Write("<br>");
}

void EndMessageBlock(CHtmlWriter& body) {
    body.EndCell();
    body.EndRow();
    body.EndTable();
}
