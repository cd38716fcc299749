#pragma once
// Builds .dbx files for tests, the fuzzers' seeds and the benchmark: message files and folder
// files from a list of items, with switches that break them in each way the reader must survive.
// Test code only.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct DbxTestMessage {
    std::string subject;
    std::string sender;     // field 0x0E
    std::string senderName; // field 0x0D
    std::uint64_t date = 0; // FILETIME
    std::string text;       // the stored message
    // Without it the item names no text (neither field 0x04 nor 0x84).
    bool withTextPosition = true;
};

// A message from sender with subject: its text the two header lines and a line of body.
inline DbxTestMessage MailFrom(const std::string& sender, const std::string& subject) {
    DbxTestMessage m;
    m.sender = sender;
    m.subject = subject;
    m.text = "From: " + sender + "\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
    return m;
}

struct DbxTestFolder {
    std::string text02;
    std::string text03;
    std::uint32_t number80 = 0;
    std::uint32_t number81 = 0;
    // The two numbers as 32-bit values (fields 0x00, 0x01) rather than direct ones (0x80, 0x81).
    bool numbersInValues = false;
};

struct DbxWriterOptions {
    // Index entries per tree node (1..127); small values give deep trees.
    int entriesPerNode = 3;
    // Text bytes per block, as the mail program wrote them.
    std::uint16_t blockTextSize = 0x1F0;
    // Added to the true item count in the header (short and long trees).
    std::int32_t itemCountDelta = 0;
    // The header's item count, used instead of the true one when set.
    bool overrideItemCount = false;
    std::int32_t itemCount = 0;
    // Replaces signature word k (0..3) by signatureValue when k >= 0.
    int signatureWord = -1;
    std::uint32_t signatureValue = 0;
    // A node's child pointer leads back to the root.
    bool treeLoop = false;
    // Wraps the tree in this many empty nodes, each the first child of the one above.
    int extraTreeDepth = 0;
    // The index pointer, used instead of the real one when set.
    bool overrideIndexPointer = false;
    std::uint32_t indexPointer = 0;
    // Message text: the last block of message chainLoopMessage points back to its first.
    int chainLoopMessage = -1;
    // The first block of this message points at a next block beyond the end of the file.
    int chainOutsideMessage = -1;
    // The subject of this message lacks its zero byte and ends the item's data.
    int unterminatedSubjectMessage = -1;
    // The subject field of this message points past the item's data.
    int fieldOutsideMessage = -1;
    // Message text positions as a 32-bit value (field 0x04) rather than a direct one (0x84).
    bool textPositionInValues = false;
    // The index names the record of this message repeatTimes times more, after the last one.
    int repeatMessage = -1;
    int repeatTimes = 0;
    // This message is written but left out of the index, as if the index had lost it; the
    // messages after it land one index lower.
    int unindexedMessage = -1;
    // The file is cut to this many bytes (0: not cut).
    std::uint64_t truncateTo = 0;
};

// Writes a .dbx file through a FILE*, so that files of any size can be made with memory for
// the item positions only.
class CDbxWriter {
public:
    CDbxWriter(std::FILE* out, bool folderFile, const DbxWriterOptions& options = {});
    void AddMessage(const DbxTestMessage& message);
    void AddFolder(const DbxTestFolder& folder);
    // Writes the index tree and the header; false on a write error.
    bool Finish();

private:
    std::uint32_t Tell() const { return static_cast<std::uint32_t>(m_pos); }
    void Put(const std::string& bytes);
    std::uint32_t WriteTextChain(const std::string& text, bool loop, bool outside);
    std::uint32_t WriteItem(const std::vector<std::pair<std::uint8_t, std::string>>& valueFields,
                            const std::vector<std::pair<std::uint8_t, std::uint32_t>>& directFields,
                            int breakField, bool unterminated);
    std::uint32_t WriteTree(std::size_t lo, std::size_t hi, std::uint32_t& count);

    std::FILE* m_out;
    bool m_folderFile;
    DbxWriterOptions m_options;
    std::uint64_t m_pos = 0;
    // Item record positions in the order the walk must meet them.
    std::vector<std::uint32_t> m_walkOrder;
    int m_messageNumber = 0;
    bool m_ok = true;
};

// The whole file as bytes. Messages land at index i = their position in the list.
std::string BuildDbxMessageFile(const std::vector<DbxTestMessage>& messages,
                                const DbxWriterOptions& options = {});
std::string BuildDbxFolderFile(const std::vector<DbxTestFolder>& folders,
                               const DbxWriterOptions& options = {});
// Writes bytes to path; true on success.
bool WriteBytes(const std::string& path, const std::string& bytes);

// A FILETIME for a UTC calendar time in seconds since 1970.
std::uint64_t FileTimeFromUnix(std::int64_t seconds);

// A small store kept as the mail program keeps one, written into folder (which must exist):
//   Folders.dbx: "Outlook Express" (id 0, the root) > "Local Folders" (1, a container) >
//     "Inbox" (2, Inbox.dbx: kExpressInboxMessages) > "Family" (5, Family.dbx: one message);
//     "Drafts" (3, Drafts.dbx: no message); "Lost" (4, Lost.dbx, which is not written).
// Each Inbox message is multipart with a named attachment, a text attachment and an unnamed one.
inline constexpr int kExpressInboxMessages = 3;
bool WriteExpressTestStore(const std::string& folder);
// The text of a multipart message carrying one attachment of that name and content, a text
// attachment "notes.txt" and a part without a name.
std::string ExpressTestMessageText(const std::string& subject, const std::string& attachmentName,
                                   const std::string& attachmentContent);
