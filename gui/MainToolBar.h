#pragma once
// The main window's tool bar: it docks on any side of the frame or floats, moved by its gripper,
// and comes back where it stood in the last run.
#include <functional>
#include <string>

#include <wx/aui/auibar.h>
#include <wx/aui/framemanager.h>

struct AppSettings;

// The dock manager's name for the tool bar's pane.
inline constexpr const char* kToolBarPane = "ToolBar";

// Tool bar 128 as a pane of the frame's dock manager, docked at the top. Hovering a button shows
// its prompt through showPrompt (-1 when the pointer leaves the bar).
wxAuiToolBar* CreateMainToolBar(wxWindow* frame, wxAuiManager& dock,
                                std::function<void(int id)> showPrompt);

// The buttons' tool tips and prompts in the current language (the string of each command: its
// part after a line feed is the tool tip, else the whole).
void SetToolBarTexts(wxAuiToolBar* bar);

// The settings' name of where the pane stands ("Top", "Left", ..., "Floating").
std::string ToolBarPlaceName(const wxAuiPaneInfo& pane);
// Puts the pane where the settings say, without Update. A floating bar whose spot is on no
// screen any more floats beside the frame instead; a place the settings do not know is the top.
void RestoreToolBarPlace(wxAuiPaneInfo& pane, const AppSettings& settings, wxWindow* frame);
// Notes in the settings where the pane stands now.
void RecordToolBarPlace(const wxAuiPaneInfo& pane, AppSettings& settings);
