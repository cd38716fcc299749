#pragma once
// The edit keys of the accelerator table act on the focused text field, in the main window and
// in every dialog: Ctrl+Z and Alt+Backspace undo, Ctrl+X and Shift+Delete cut, Ctrl+C and
// Ctrl+Insert copy, Ctrl+V and Shift+Insert paste. Undo is one step deep, as in the edit fields
// the program's users know: a second undo takes the first back, and a run of typing is one step.
#include <wx/event.h>

// The edit command (res::ID_EDIT_UNDO, _CUT, _COPY, _PASTE) a key press asks for, or 0.
unsigned EditCommandForKey(const wxKeyEvent& key);
// Runs an edit command on the focused text field; false when no text field has the focus.
bool RunEditCommand(unsigned command);
// Seen by the application before any window: an edit key over a text field runs its command
// and goes no further (true); the field's changes are noted for undo.
bool FilterEditKeys(wxEvent& event);
