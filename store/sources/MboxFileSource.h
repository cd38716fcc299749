#pragma once
// An mbox file: the messages of one mail folder in one file (store/MboxReader.h gives the
// format's rules). Texts are streamed, never held whole; the header fields are read from each
// message's header lines. A message the file ends inside is written as far as it goes and said
// to be cut short, so a run both extracts what there is and reports it.
#include <string>

#include "store/MailSource.h"
#include "store/MboxReader.h"

class MboxFileSource : public IMailSource {
public:
    // Not Ok (and no messages) when the file cannot be opened: the reader's Status. The file is
    // indexed when its messages are first asked for, or by CheckStamp with what an earlier run
    // knew.
    platform::Status Open(const std::string& path);
    int Count() const override { return Reader().Count(); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int) const override { return {}; }
    MailTextWrite WriteText(int index, int fd) override;
    std::string Describe(int index) const override;
    // Where the message lies in the file ("from-end"); the stamp says what the file held, so
    // that the keys are trusted only while the file has been added to, not rewritten, and holds
    // the file's index, so that a run over a file that only grew reads only what is new.
    std::string MessageKey(int index) override;
    bool CheckStamp(const std::string& remembered, std::string& current) override;

private:
    // The reader, the file indexed in full on first need.
    CMboxReader& Reader() const;

    mutable CMboxReader m_reader;
    mutable bool m_indexed = false;
    std::string m_path;
};

// A file whose first line is a "From " line, or an empty file (mail programs make one for every
// empty folder): an mbox file without messages.
extern const MailSourceKind kMboxFileKind;
