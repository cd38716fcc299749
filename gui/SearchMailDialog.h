#pragma once
// The search mail dialog: the messages of one folder whose sender contains a text, listed with
// a temporary copy each; Extract hands the checked ones (all when none is checked) to the
// caller. The copies are removed when the dialog goes.
#include <string>
#include <vector>

#include <wx/dialog.h>
#include <wx/listctrl.h>

#include "engine/MailSearch.h"
#include "engine/ReportColumns.h"

class IMessageBox;
class wxButton;
class wxStaticText;
class wxTextCtrl;

// A report-view list with columns from a text, rows inserted anywhere, grid lines and check
// boxes as switches.
class CReportListCtrl : public wxListCtrl {
public:
    CReportListCtrl(wxWindow* parent, int id);
    // Deletes every row and column, then adds the layout's columns.
    void SetColumns(const ColumnLayout& layout);
    long InsertRow(long index, const std::string& text);
    void SetCell(long row, int column, const std::string& text);
    void SetGridLines(bool on);
    void SetCheckboxes(bool on);
    std::string GetCell(long row, int column) const;
};

// Extract with no row checked asks this first; No extracts nothing.
std::string ExtractEveryHitQuestion(long count, const std::string& destination);

class CSearchMailDialog : public wxDialog, public IMailSearchView {
public:
    CSearchMailDialog(wxWindow* parent, const std::string& folderName,
                      const std::string& messageFile, IMessageBox& ui);
    ~CSearchMailDialog() override;

    // Where Extract is to write: named when it asks before extracting every row.
    void SetDestination(const std::string& destination) { m_destination = destination; }
    // The temporary copies of the rows Extract chose, top row first.
    const std::vector<std::string>& GetChosenCopies() const { return m_chosen; }
    CReportListCtrl* GetList() const { return m_list; }
    bool IsSearching() const { return m_searching; }

    // IMailSearchView
    void DeleteAllRows() override;
    void InsertRowAtTop(const MailSearchRow& row) override;
    void SetSearching(bool searching) override;
    void PumpMessages() override;

private:
    void OnSearch();
    void OnExtract();
    void RemoveCopies();

    std::string m_messageFile;
    std::string m_destination;
    IMessageBox& m_ui;
    CMailSearch m_search;
    bool m_searching = false;
    // Every copy the searches made, to be removed; the rows show the current search's.
    std::vector<std::string> m_copies;
    std::vector<std::string> m_chosen;
    wxTextCtrl* m_sender = nullptr;
    wxTextCtrl* m_receiver = nullptr;
    wxTextCtrl* m_subject = nullptr;
    wxTextCtrl* m_body = nullptr;
    wxButton* m_searchButton = nullptr;
    wxButton* m_stopButton = nullptr;
    wxButton* m_extractButton = nullptr;
    CReportListCtrl* m_list = nullptr;
};
