#include "gui/HelpViewer.h"

#include <functional>
#include <memory>

#include <wx/frame.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>
#include <wx/treectrl.h>

#include "app/DesktopCommands.h"
#include "gui/DesktopUi.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {
std::unique_ptr<wxHtmlHelpController>& Controller() {
    static std::unique_ptr<wxHtmlHelpController> controller;
    return controller;
}
} // namespace

bool ShowHelpTopic(const std::string& page) {
    auto& controller = Controller();
    bool opening = !controller;
    if (opening) {
        std::string book = HelpBookFile();
        auto viewer = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, nullptr);
        bool loaded = false;
        if (platform::IsRegularFile(book)) {
            wxLogNull quiet;
            loaded = viewer->AddBook(wxString::FromUTF8(book));
        }
        if (!loaded) {
            CWxMessageBox().ShowMessage(HelpBookMissingMessage(), kAppTitle, MessageIcon::Warning);
            return false;
        }
        // The viewer closes with the program rather than keeping it alive.
        viewer->SetShouldPreventAppExit(false);
        controller = std::move(viewer);
    }
    bool shown = controller->Display(wxString::FromUTF8(page));
    // The toolkit's first size is small for pages written for a reading width.
    if (wxFrame* frame = controller->GetFrame(); opening && frame) {
        frame->SetSize(frame->FromDIP(wxSize(900, 680)));
        frame->CentreOnScreen();
        // The contents open with every topic in view, not as one closed book.
        std::function<wxTreeCtrl*(wxWindow*)> findTree = [&](wxWindow* w) -> wxTreeCtrl* {
            if (auto* tree = dynamic_cast<wxTreeCtrl*>(w)) return tree;
            for (wxWindow* child : w->GetChildren())
                if (wxTreeCtrl* tree = findTree(child)) return tree;
            return nullptr;
        };
        if (wxTreeCtrl* contents = findTree(frame); contents && contents->GetRootItem().IsOk()) {
            wxTreeItemIdValue cookie;
            wxTreeItemId root = contents->GetRootItem();
            for (wxTreeItemId book = contents->GetFirstChild(root, cookie); book.IsOk();
                 book = contents->GetNextChild(root, cookie))
                contents->ExpandAllChildren(book);
        }
    }
    return shown;
}

wxHtmlHelpController* GetHelpController() {
    return Controller().get();
}

void CloseHelp() {
    if (auto& controller = Controller()) {
        controller->Quit();
        controller.reset();
    }
}
