#pragma once
// The report of one extraction into a destination D: D/report.htm (frameset), D/report/
// report_left.htm (page index) and D/report/report_page<N>.htm (pages of message blocks).
// The Build* functions give the text; the Write* functions write it and log a file that cannot
// be written.
#include <string>

class CHtmlWriter;

std::string ReportFramesetPath(const std::string& destination);
std::string ReportFolder(const std::string& destination);
std::string ReportIndexPath(const std::string& destination);
std::string ReportPagePath(const std::string& destination, int page);

std::string BuildReportFrameset();
std::string BuildReportIndex(int pageCount);
std::string BuildReportPage(const std::string& body, int page, bool isLast);
// "Page:N  " and the Prev/Next links.
std::string ReportNavigationLine(int page, bool isLast);

// Each writes its file of the report in destination D, all at once. A link found at D/report.htm,
// D/report or a page's name is never followed: the file replaces the link, and a D/report that
// is a link (or not a folder) fails the call. False (logged) when the file could not be written.
bool WriteReportFrameset(const std::string& destination);
bool WriteReportIndex(const std::string& destination, int pageCount);
bool WriteReportPage(const std::string& destination, const std::string& body, int page,
                     bool isLast);
// The same for any file of a run: D/name, or D/subFolder/name (subFolder created when missing).
bool WriteReportFile(const std::string& destination, const std::string& subFolder,
                     const std::string& name, const std::string& text);

// Text from a message (subject, date, file names) made safe to put into report HTML: "&", "<",
// ">" and the double quote become entities. Every run passes such text through here.
std::string HtmlEscape(const std::string& text);
// The href/src of a saved file, relative to D/report: "..\" [subDirectory "\"] fileName,
// escaped, with the characters that would end or redirect a relative URL ("%", "#", "?")
// percent-encoded.
// "%", "#" and "?" percent-encoded: the characters that would end or redirect a relative URL.
std::string EncodeLinkPart(const std::string& text);
std::string ReportLinkPath(const std::string& fileName, const std::string& subDirectory = "");

// True when the report shows the file as a thumbnail (".JPEG", ".PNG", ".JBG", ".JPG" or ".GIF"
// anywhere in the upper-case name).
bool IsThumbnailName(const std::string& fileName);

// One message's block in a page body. Texts must already be escaped.
void BeginMessageBlock(CHtmlWriter& body, const std::string& subject, const std::string& dateText);
// entryNumber counts from 1 within the message; a line break follows every seventh entry.
void AddMessageEntry(CHtmlWriter& body, const std::string& linkPath, const std::string& fileName,
                     bool thumbnail, int entryNumber);
void EndMessageBlock(CHtmlWriter& body);
