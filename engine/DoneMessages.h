#pragma once
// What a destination remembers of the messages that runs have extracted into it, so that a run
// asked for new mail only passes over the rest without reading them: D/report/done.txt, beside
// the report. The file holds, for each mailbox run into D, the mailbox's stamp and the keys of
// its messages that are done (IMailSource::MessageKey, IMailSource::CheckStamp); a line at its
// end sums what is above it, so a damaged or foreign file is recognised and never trusted.
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Status.h"

class IMailSource;

// The name a mailbox is remembered by: the path with its links resolved (up to the file, for a
// folder inside a file), else the path as given, without separators at its end.
std::string MailboxIdentity(const std::string& path);

struct DoneMailbox {
    std::string Mailbox; // the mailbox as the run was pointed at it
    std::string Place;   // where its files went, below D ("" for D itself)
    bool AllFiles = false; // every kind of file kept, not only pictures
    std::string Stamp;
    std::unordered_set<std::string> Keys;
};

class CDoneMessages {
public:
    // D's record. A missing record is an empty one; a damaged, foreign or unreadable one (a link
    // or anything but a plain file in its place among them) is not read, and the Status says
    // why: Refused, Unreadable or Damaged.
    static platform::Result<CDoneMessages> Load(const std::string& destination);
    static std::string Path(const std::string& destination);

    const DoneMailbox* Find(const std::string& mailbox, const std::string& place) const;
    // Stands for the mailbox's entry from now on.
    void Replace(DoneMailbox entry);
    // Written all at once, never through a link; false (logged) when it could not be.
    bool Save(const std::string& destination) const;

    std::string Text() const;
    // False when text is not a whole record of this kind.
    bool Parse(const std::string& text);

private:
    std::vector<DoneMailbox> m_mailboxes;
};

// One run's view of the record: which of the mailbox's messages it may pass over, and which it
// has done. With newOnly false nothing is passed over, but what the run does is remembered all
// the same, so that a later run asked for new mail only knows it.
class CNewMailFilter {
public:
    CNewMailFilter(IMailSource& source, std::string mailbox, std::string place, bool allFiles,
                   bool newOnly, std::string destination);
    // Reads the record and checks the mailbox's stamp against it. Not Ok when the record had to
    // be ignored (every message is then taken): the record's Status, with what to say.
    platform::Status Begin();
    // True when the run passes over message index: an earlier run did it and it has not changed.
    bool IsDone(int index) const;
    // Message index has been extracted.
    void MarkDone(int index);
    // How many messages the run takes, and how many it passes over, as Begin found them.
    int NewCount() const;
    int PassedOver() const;
    // The record with this run's work: false when it could not be written.
    bool Commit();

private:
    IMailSource& m_source;
    DoneMailbox m_entry;
    bool m_newOnly;
    std::string m_destination;
    CDoneMessages m_record;
    std::unordered_set<std::string> m_remembered; // still valid for the mailbox as it is now
    std::vector<bool> m_done;                     // by index, remembered or done in this run
    int m_passedOver = 0;
    bool m_begun = false;
};
