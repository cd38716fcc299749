#pragma once
// The wizard's run: a top report linking every chosen folder, then, folder by folder, the
// messages of the folder's .dbx file that fall inside the chosen period, each copied into a
// temporary file and handed to the extractor component, with a report per folder.
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

struct AppSettings;
class CExtractorClient;
class CProgressWindow;
class IMessageBox;
struct RunProblems;

struct WizardRequest {
    std::string Destination; // may be empty
    // 0 pictures only, 1 documents, 2 every attachment (1 and 2 keep everything).
    int FileTypeChoice = 0;
    std::time_t EndTime = 0;
    std::time_t StartTime = 0;
    // Messages an earlier run extracted into a folder's directory are passed over.
    bool NewOnly = false;
};

// (folder name as shown, message file); an empty message file is not run.
using WizardFolderList = std::vector<std::pair<std::string, std::string>>;

struct WizardContext {
    CExtractorClient& client;
    CProgressWindow& progress;
    IMessageBox& ui;
    AppSettings& settings;
    RunProblems* problems = nullptr; // attachments that could not be written, when given
    // The folders whose mail had all been extracted before, with a request for new mail only.
    std::vector<std::string>* nothingNew = nullptr;
};

// One folder: 0 when it was processed or skipped, -1 when the whole run must stop (a message
// has been shown, or the user cancelled).
int ExtractWizardFolder(const WizardRequest& request, const std::string& directoryName,
                        const std::string& messageFile, WizardContext& context);

// The list with a later folder whose directory would be an earlier one's (the same name after
// cleaning, in any case) named apart: "Inbox", "Inbox (2)", ...; folders without a message file
// keep their names.
WizardFolderList DistinctFolderNames(const WizardFolderList& folders);

// The top report, then each folder in order until one returns -1; folders of the same name
// are named apart first (DistinctFolderNames). Returns 0.
int RunWizardExtraction(const WizardRequest& request, const WizardFolderList& folders,
                        WizardContext& context);

std::string BuildWizardTopReport(const WizardFolderList& folders);
// DEST/report.htm, never through a link placed there.
bool WriteWizardTopReport(const std::string& destination, const WizardFolderList& folders);

// The wizard's own thumbnail rule: ".JPEG", ".JPG" or ".GIF" anywhere in the upper-case name.
bool IsWizardThumbnailName(const std::string& fileName);
