#pragma once
// The search of a folder (its .eml files, or its .dbx file) by sender. Each message found is copied into a temporary
// file ("TAK" prefix, system temporary folder) and listed. The dialog implements the view.
#include <string>

#include "platform/UserInterface.h"

struct MailSearchRow {
    std::string sender;
    std::string subject;
    std::string tempPath; // the temporary copy of the message
};

// What the search needs of its dialog: the list, the buttons, and a chance for the user's
// input (the Stop button) to get through.
class IMailSearchView {
public:
    virtual ~IMailSearchView() = default;
    virtual void DeleteAllRows() = 0;
    // Each row found goes to the top of the list.
    virtual void InsertRowAtTop(const MailSearchRow& row) = 0;
    // searching: Stop enabled, Search and Extract disabled; not searching: the reverse.
    virtual void SetSearching(bool searching) = 0;
    virtual void PumpMessages() = 0;
};

enum class MailSearchOutcome {
    Finished,      // all read (or nothing to read); "Finished" shown
    Stopped,       // the stop flag was set
    ReadError,     // "Extract eMail Error"
    TempFileError, // "Error in Create Temp File!!"
};

class CMailSearch {
public:
    // Reads messageFile from the last index down and lists every message whose sender
    // contains senderText (case-sensitive; an empty text matches every sender).
    MailSearchOutcome Run(const std::string& messageFile, const std::string& senderText,
                          IMailSearchView& view, IMessageBox& ui);
    // Called from the view (the Stop button); the search ends before the next message.
    void Stop() { m_stop = 1; }

private:
    int m_stop = 0;
};

// True when sender contains senderText.
bool SenderMatches(const std::string& sender, const std::string& senderText);
