#pragma once
// The extraction run over one mail folder: every message file to the extractor component, the
// written files filtered by type and size and dated, and the report built page by page.
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "engine/ExtractionOptions.h"

struct AppSettings;
class CExtractorClient;
class CProgressWindow;
class IMessageBox;
class IShell;

// What the run needs of the window that shows the destination's files.
class IDestinationView {
public:
    virtual ~IDestinationView() = default;
    // The destination's file list re-reads its folder (after each report page).
    virtual void RefreshFileList() = 0;
};

// How the run reaches the component and the user.
struct ExtractionContext {
    CExtractorClient& client;
    CProgressWindow& progress;
    IMessageBox& ui;
    IShell& shell;
    AppSettings& settings;
    IDestinationView* view = nullptr;
};

// 0 when it ran or had nothing to do; -1 when the user declined to go on after an interrupted
// earlier run over the same destination.
int RunExtraction(const std::string& folderPath, const ExtractionOptions& options,
                  const std::string& folderName, ExtractionContext& context);

// The component answers names within the folder it was given; anything else is not touched.
bool IsNameWithinFolder(const std::string& name);

// The sub-directory name for a mail folder's name.
std::string CleanFolderName(const std::string& folderName);
// Removes one leading forward prefix ("fwd:", "fw:", "fwd", "fw", any case) and the blanks
// around it.
std::string StripForwardPrefix(const std::string& subject);

// The mail's wall-clock time from the date text the component answers ("Tue, 15 Nov 1994
// 08:12:31 +0000"): the 20 characters from offset 5, read as local time, no zone conversion.
std::optional<std::time_t> ParseMailDate(const std::string& dateText);

// The parts of a component answer "subject|sender|date|a.jpg:b.pdf".
struct ExtractionAnswer {
    std::string Subject;
    std::string Sender;
    std::string DateText;
    std::vector<std::string> Files;
};
ExtractionAnswer ParseExtractionAnswer(const std::string& answer);
// The names of a ":" separated file list, trimmed, empty ones left out.
std::vector<std::string> SplitFileList(const std::string& list);
