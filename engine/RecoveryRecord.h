#pragma once
// The record of the message a run is working on, D/process/error.txt. It outlives the run only
// when the process dies in the middle, so the next run over D can name the message to blame.
#include <string>

#include "platform/FileHandle.h"

class IMessageBox;

// D/process (created by the run) and D/process/error.txt.
std::string RecoveryFolder(const std::string& destination);
std::string RecoveryRecordPath(const std::string& destination);

// When an earlier run over the destination died, shows what its record names and asks whether
// to go on. False when the user declines; true when there is no record or the user goes on.
bool ConfirmAfterInterruptedRun(const std::string& destination, IMessageBox& ui);

// The record of one run over D. Write replaces it with "From:" sender "\r\nSubject:" subject,
// all at once, so that a process killed at any point leaves a whole record; false when it
// could not be written. None of these follows a link someone put at D/process or
// D/process/error.txt: nothing is read, written or deleted outside D. The folder and the
// run's two record files stay open from one message to the next, so that a record costs a
// write, a cut and a rename.
class CRecoveryRecord {
public:
    explicit CRecoveryRecord(std::string destination);
    bool Write(const std::string& sender, const std::string& subject);

private:
    std::string m_destination;
    platform::UniqueFd m_folder;
    platform::UniqueFd m_record; // under the record's name, once this run wrote it
    platform::UniqueFd m_spare;  // under the spare's name, the run's previous record
};
// One record written without a run's open files.
bool WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject);
void DeleteRecoveryRecord(const std::string& destination);
// After an interrupted run over D that the user goes on with: removes what that run left
// behind, the mailbox's message copy in D/process and the files the extractor component had not
// finished in `folder`, where it writes (platform/PartialFiles.h). Nothing else is removed, and
// nothing through a link.
void RemoveInterruptedRunLeftovers(const std::string& destination, const std::string& folder);
// Removes D/process when it is an empty folder (not a link).
void RemoveEmptyRecoveryFolder(const std::string& destination);
