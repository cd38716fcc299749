#pragma once
// Mailboxes that keep one message per file, used in place: the base of the folder of .eml files
// and of the maildir. Only plain files (or links to them) count: a pipe or a device would never
// end the read.
#include <string>
#include <vector>

#include "store/MailSource.h"

class FilePerMessageSource : public IMailSource {
public:
    int Count() const override { return static_cast<int>(m_paths.size()); }
    // From the message file's header lines.
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int index) const override;
    MailTextWrite WriteText(int index, int fd) override;
    std::string Describe(int index) const override { return MessagePath(index); }
    // The message file's name (as KeyName gives it), size and time of last change.
    std::string MessageKey(int index) override;

protected:
    // The part of a message file's name that names the message for good.
    virtual std::string KeyName(const std::string& fileName) const { return fileName; }

    // The plain files of folder whose names match pattern, added to the list; names beginning
    // with "." are not messages.
    void AddFiles(const std::string& folder, const char* pattern);

    std::vector<std::string> m_paths;
};
