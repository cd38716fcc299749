#pragma once
// The loop the extraction run and the wizard's folder run share: message by message from the
// last down, the extractor component writes the attachments, the loop keeps or removes each
// written file by type and size, dates it, and lists it in the report, which it writes page by
// page. Where the two runs differ, their policy says how.
#include <ctime>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "report/HtmlWriter.h"

struct AppSettings;
class CProgressWindow;
class IMessageBox;

// What the run needs of the window that shows the destination's files.
class IDestinationView {
public:
    virtual ~IDestinationView() = default;
    // The destination's file list re-reads its folder (after each report page).
    virtual void RefreshFileList() = 0;
};

// One message as the component answered for it (the extractor's own record of a message is
// extractor::ExtractedMessage).
struct AnsweredMessage {
    std::string Subject; // as the report heads the message
    std::string Sender;
    std::string DateText;                // as the report shows it
    std::optional<std::time_t> FileTime; // given to the message's files, when known
    std::vector<std::string> Files;      // the names the component reported
    std::string Origin;                  // the message's file, for the error log
    bool NoAnswer = false; // the component's call failed (it may have left scratch files)
};

enum class MessageStep {
    Extracted, // the files are there to be looked at
    Skipped,   // not for this run: no report, no sweep, no cancel check, no step
    Dropped,   // as Skipped, but the component has written the files: those it created go again
    Stop,      // the run ends here, without a report (a message has been shown)
};

struct AttachmentPolicy {
    std::string FolderName; // in the progress title
    std::string Folder;     // where the component writes the files
    std::string LinkFolder; // the sub-directory the report's links go through, or empty
    const char* PictureExtensions = "";
    bool PicturesOnly = false;
    bool (*IsThumbnail)(const std::string& fileName) = nullptr;
    // Checked after every message that was not skipped, or only after one the report lists.
    bool CancelAfterEveryMessage = true;
    // A cancel ends the run without a report, or lets the report of what was done be written.
    bool StopOnCancel = false;
    // Removes the component's scratch files ("ulk*.*"), sparing those that were in the folder
    // before the run: after a message the component gave no answer for, and when the loop ends.
    bool SweepScratch = false;
    // The names in Folder before the run: the filters and sweeps never remove one of them, even
    // when the component answers such a name again for a file it found already there. Filled by
    // RunAttachmentLoop.
    std::set<std::string> Existing;
    // Hands one message to the component.
    std::function<MessageStep(int index, AnsweredMessage& message)> Extract;
    // Messages an earlier run did, which this run passes over without a look: not handed to
    // Extract, not counted in the progress. Every message is taken when not set.
    std::function<bool(int index)> PassOver;
};

// The report's pages in a destination: blocks gather in the body, and a page is written as soon
// as it holds its share of messages. The window's file list is refreshed after each page.
class CReportPager {
public:
    CReportPager(std::string destination, int perPage, IDestinationView* view = nullptr);
    CHtmlWriter& Body() { return m_body; }
    // A message block has been ended in the body.
    void MessageDone();
    // The last page (when it holds anything), the page index and the frameset. With no message
    // reported, nothing at all unless asked for (a report something else already links to).
    void Finish(bool evenWhenEmpty = false);
    // False when a page, the index or the frameset could not be written.
    bool Written() const { return m_written; }
    int Reported() const { return m_reported; }

private:
    std::string m_destination;
    int m_perPage;
    IDestinationView* m_view;
    CHtmlWriter m_body;
    int m_reported = 0;
    bool m_written = true;
};

struct AttachmentLoopContext {
    CProgressWindow& progress;
    IMessageBox& ui;
    const AppSettings& settings;
};

// The names of a folder's entries; empty when it cannot be read.
std::set<std::string> FolderNames(const std::string& folder);
// Removes the plain files of a folder that match the pattern and are not spared.
void SweepFiles(const std::string& folder, const char* pattern,
                const std::set<std::string>& spared);

// Runs messages count - 1 down to 0. 0 when every message was seen or the user cancelled a run
// that keeps its report; -1 when the run must end without a report.
int RunAttachmentLoop(int count, AttachmentPolicy& policy, CReportPager& pager,
                      AttachmentLoopContext& context);

// Keeps, dates or removes the files of one message and lists the kept ones in a block of its
// own; true when the message got a block.
bool ReportMessageFiles(const AnsweredMessage& message, const AttachmentPolicy& policy,
                        const AppSettings& settings, CHtmlWriter& body, CProgressWindow& progress);
