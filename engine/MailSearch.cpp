#include "engine/MailSearch.h"

#include "platform/FileHandle.h"
#include "store/MailSourceList.h"

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

    // Any mailbox; nothing, or a path that gives none, has nothing to search.
    std::unique_ptr<IMailSource> source = OpenMailbox(messageFile).Source;
    if (!source) return end(MailSearchOutcome::Finished, "Finished");

    for (int index = source->Count() - 1; index >= 0; --index) {
        if (m_stop == 1) return end(MailSearchOutcome::Stopped, nullptr);
        MailHeader header;
        if (!source->ReadHeader(index, header))
            return end(MailSearchOutcome::ReadError, "Extract eMail Error");
        if (!SenderMatches(header.Sender, senderText)) continue;
        if (!header.HasText) return end(MailSearchOutcome::ReadError, "Extract eMail Error");

        platform::TempFile copy;
        if (!copy.CreateInTempFolder("TAK"))
            return end(MailSearchOutcome::TempFileError, "Error in Create Temp File!!");
        MailTextWrite written = source->WriteText(index, copy.Fd());
        if (written == MailTextWrite::Unreadable)
            return end(MailSearchOutcome::ReadError, "Extract eMail Error");
        // A copy that could not be written whole is no copy: same failure, nothing left over. A
        // message the mailbox ends inside is listed as far as it goes.
        if (written == MailTextWrite::WriteFailed || !copy.CloseFile())
            return end(MailSearchOutcome::TempFileError, "Error in Create Temp File!!");
        copy.Keep();
        view.InsertRowAtTop({header.Sender, header.Subject, copy.Path()});
        view.PumpMessages();
    }
    return end(MailSearchOutcome::Finished, "Finished");
}
