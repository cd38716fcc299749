#pragma once
// The record of the message a run is working on, D/process/error.txt. It outlives the run only
// when the process dies in the middle, so the next run over D can name the message to blame.
#include <string>

class IMessageBox;

// D/process (created by the run) and D/process/error.txt.
std::string RecoveryFolder(const std::string& destination);
std::string RecoveryRecordPath(const std::string& destination);

// When an earlier run over the destination died, shows what its record names and asks whether
// to go on. False when the user declines; true when there is no record or the user goes on.
bool ConfirmAfterInterruptedRun(const std::string& destination, IMessageBox& ui);

// Replaces the record with "From:" sender "\r\nSubject:" subject, all at once, so that a process
// killed at any point leaves a whole record. None of these follows a link someone put at
// D/process or D/process/error.txt: nothing is read, written or deleted outside D.
// False when the record could not be written.
bool WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject);
void DeleteRecoveryRecord(const std::string& destination);
// Removes D/process when it is an empty folder (not a link).
void RemoveEmptyRecoveryFolder(const std::string& destination);
