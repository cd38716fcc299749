#pragma once
// A small wizard: a dialog that shows one page at a time in its placeholder, with Back, Next,
// Finish and Cancel. Pages are child panels made on their first showing.
#include <memory>
#include <vector>

#include <wx/dialog.h>
#include <wx/panel.h>

class CWizardDialog;
class wxButton;

class CWizardPage : public wxPanel {
public:
    // Makes no window yet; the wizard creates it when the page is first shown.
    explicit CWizardPage(unsigned resourceId) : m_resourceId(resourceId) {}

    unsigned GetResourceId() const { return m_resourceId; }
    bool IsCreated() const { return m_created; }
    bool IsActive() const { return m_active; }
    CWizardDialog* GetWizard() const { return m_wizard; }

    // Builds the page's controls in its new window; false aborts the switch to the page.
    virtual bool OnPageCreated() { return true; }
    virtual void OnPageDestroying() {}
    // The page is about to be hidden; false keeps it shown.
    virtual bool OnKillActive() { return true; }
    virtual void OnSetActive() {}
    virtual bool OnQueryCancel() { return true; }
    // -1 stays, 0 goes to the neighbouring page, anything else is the resource id to go to.
    virtual int OnWizardBack() { return 0; }
    virtual int OnWizardNext() { return 0; }
    // Reads the controls into the page's values; false refuses Finish.
    virtual bool OnWizardFinish() { return true; }

private:
    friend class CWizardDialog;
    unsigned m_resourceId;
    bool m_created = false;
    bool m_active = false;
    CWizardDialog* m_wizard = nullptr;
};

class CWizardDialog : public wxDialog {
public:
    // Finish ends the dialog with this code.
    static constexpr int kFinished = 12325;

    CWizardDialog(wxWindow* parent, unsigned resourceId, const wxString& title,
                  const wxSize& pageSize);
    ~CWizardDialog() override;

    // The wizard owns the page from now on.
    void AddPage(CWizardPage* page, unsigned resourceId);
    // Shows the first page and translates the dialog; call once all pages are added.
    void Start();

    void Next();
    void Back();
    void Finish();
    void Cancel();

    CWizardPage* GetActivePage() const { return m_active; }
    CWizardPage* GetPage(std::size_t index) const {
        return index < m_pages.size() ? m_pages[index].get() : nullptr;
    }
    wxButton* GetBackButton() const { return m_back; }
    wxButton* GetNextButton() const { return m_next; }
    wxButton* GetFinishButton() const { return m_finish; }
    wxButton* GetCancelButton() const { return m_cancel; }

private:
    bool ActivatePage(CWizardPage* page);
    int IndexOf(const CWizardPage* page) const;
    CWizardPage* Target(int answer, int step) const;

    unsigned m_resourceId;
    std::vector<std::unique_ptr<CWizardPage>> m_pages;
    CWizardPage* m_active = nullptr;
    wxWindow* m_placeholder = nullptr;
    wxButton* m_back = nullptr;
    wxButton* m_next = nullptr;
    wxButton* m_finish = nullptr;
    wxButton* m_cancel = nullptr;
};
