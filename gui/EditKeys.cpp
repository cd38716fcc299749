#include "gui/EditKeys.h"

#include <iterator>

#include <wx/textentry.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include "res/Resource.h"

namespace {

struct EditKey {
    int modifiers;
    int key;
    unsigned command;
};
constexpr EditKey kEditKeys[] = {
    {wxMOD_CONTROL, 'Z', res::ID_EDIT_UNDO},  {wxMOD_ALT, WXK_BACK, res::ID_EDIT_UNDO},
    {wxMOD_CONTROL, 'X', res::ID_EDIT_CUT},   {wxMOD_SHIFT, WXK_DELETE, res::ID_EDIT_CUT},
    {wxMOD_CONTROL, 'C', res::ID_EDIT_COPY},  {wxMOD_CONTROL, WXK_INSERT, res::ID_EDIT_COPY},
    {wxMOD_CONTROL, 'V', res::ID_EDIT_PASTE}, {wxMOD_SHIFT, WXK_INSERT, res::ID_EDIT_PASTE},
};

// What one undo brings back in the field that changed last.
struct UndoStep {
    wxWeakRef<wxWindow> field;
    wxString before;    // the text the undo puts back
    wxString now;       // the text as the last change left it
    bool typing = false; // the last change was typed: more typing joins the same step
};
UndoStep g_undo;
// True while an edit command changes a field: its change is a step of its own.
bool g_editing = false;

wxTextEntry* TextEntryOf(wxWindow* window) {
    auto* entry = dynamic_cast<wxTextEntry*>(window);
    return entry && entry->IsEditable() ? entry : nullptr;
}

// The field with the focus; a combo box's text takes the focus for the combo.
wxWindow* FocusedField() {
    for (wxWindow* w = wxWindow::FindFocus(); w; w = w->IsTopLevel() ? nullptr : w->GetParent())
        if (TextEntryOf(w)) return w;
    return nullptr;
}

// Starts watching a field about to change, so that the change can be undone. A field the
// program set since without a word starts afresh too.
void Watch(wxWindow* field) {
    if (g_undo.field.get() == field && TextEntryOf(field)->GetValue() == g_undo.now) return;
    g_undo.field = field;
    g_undo.now = g_undo.before = TextEntryOf(field)->GetValue();
    g_undo.typing = false;
}

// A change of the focused field is the user's: typed, unless an edit command made it. The
// program's changes of other fields only move their starting point.
void NoteChange(wxWindow* field, const wxString& text) {
    bool typed = !g_editing;
    if (field != FocusedField()) {
        if (g_undo.field.get() == field) g_undo.before = g_undo.now = text;
        return;
    }
    if (g_undo.field.get() != field) Watch(field);
    if (text == g_undo.now) return;
    if (!(typed && g_undo.typing)) g_undo.before = g_undo.now;
    g_undo.now = text;
    g_undo.typing = typed;
}

} // namespace

unsigned EditCommandForKey(const wxKeyEvent& key) {
    int modifiers = key.GetModifiers() & (wxMOD_CONTROL | wxMOD_ALT | wxMOD_SHIFT);
    int code = key.GetKeyCode();
    if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
    for (const EditKey& k : kEditKeys)
        if (k.modifiers == modifiers && k.key == code) return k.command;
    return 0;
}

bool RunEditCommand(unsigned command) {
    wxWindow* field = FocusedField();
    if (!field) return false;
    wxTextEntry* entry = TextEntryOf(field);
    Watch(field);
    g_editing = true;
    struct Done {
        ~Done() { g_editing = false; }
    } done;
    switch (command) {
    case res::ID_EDIT_UNDO:
        // Setting the text notes it as a change, so a second undo takes this one back.
        entry->SetValue(wxString(g_undo.before));
        entry->SetInsertionPointEnd();
        return true;
    case res::ID_EDIT_CUT:
        entry->Cut();
        return true;
    case res::ID_EDIT_COPY:
        entry->Copy();
        return true;
    case res::ID_EDIT_PASTE:
        entry->Paste();
        return true;
    default:
        return false;
    }
}

bool FilterEditKeys(wxEvent& event) {
    wxEventType type = event.GetEventType();
    if (type == wxEVT_CHAR_HOOK) {
        unsigned command = EditCommandForKey(static_cast<wxKeyEvent&>(event));
        return command && RunEditCommand(command);
    }
    if (type == wxEVT_SET_FOCUS) {
        auto* field = dynamic_cast<wxWindow*>(event.GetEventObject());
        if (TextEntryOf(field)) Watch(field);
    }
    if (type == wxEVT_TEXT) {
        auto* field = dynamic_cast<wxWindow*>(event.GetEventObject());
        if (wxTextEntry* entry = TextEntryOf(field)) NoteChange(field, entry->GetValue());
    }
    return false;
}
