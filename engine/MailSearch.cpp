#include "engine/MailSearch.h"

#include <cerrno>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "oe/DbxReader.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t put = write(fd, p, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

// A new, empty file with the "TAK" prefix in the temporary folder; -1 on failure.
int CreateTempCopy(std::string& path) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) return -1;
    std::string templ = (dir / "TAKXXXXXX").string();
    int fd = mkstemp(templ.data());
    if (fd >= 0) path = templ;
    return fd;
}

} // namespace

bool SenderMatches(const std::string& sender, const std::string& senderText) {
    return sender.find(senderText) != std::string::npos;
}

MailSearchOutcome CMailSearch::Run(const std::string& messageFile, const std::string& senderText,
                                   IMailSearchView& view, IMessageBox& ui) {
    m_stop = 0;
    view.DeleteAllRows();
    view.SetSearching(true);
    // Every way out leaves the buttons as a finished search does, so a stopped or failed
    // search can be run again.
    auto end = [&](MailSearchOutcome outcome, const char* message) {
        view.SetSearching(false);
        if (message) ui.ShowMessage(message);
        return outcome;
    };

    CDbxStoreFile store;
    // A folder without a message file, or one that does not open, has nothing to search.
    if (messageFile.empty() || store.Open(messageFile) != 0)
        return end(MailSearchOutcome::Finished, "Finished");

    for (int index = store.GetItemCount() - 1; index >= 0; --index) {
        if (m_stop == 1) return end(MailSearchOutcome::Stopped, nullptr);
        std::unique_ptr<CDbxItem> item = store.GetItem(index, kDbxReadText);
        auto* message = dynamic_cast<CDbxMessage*>(item.get());
        if (!message) return end(MailSearchOutcome::ReadError, "Extract eMail Error");
        if (!SenderMatches(message->GetSender(), senderText)) continue;

        MailSearchRow row{message->GetSender(), message->GetSubject(), {}};
        int fd = CreateTempCopy(row.tempPath);
        if (fd < 0) return end(MailSearchOutcome::TempFileError, "Error in Create Temp File!!");
        // A copy that could not be written whole is no copy: same failure, nothing left over.
        bool written = WriteAll(fd, message->GetMessageText());
        if (close(fd) != 0 || !written) {
            unlink(row.tempPath.c_str());
            return end(MailSearchOutcome::TempFileError, "Error in Create Temp File!!");
        }
        view.InsertRowAtTop(row);
        view.PumpMessages();
    }
    store.Close();
    return end(MailSearchOutcome::Finished, "Finished");
}
