#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/Shell.h"

using namespace platform;
using Words = std::vector<std::string>;

// Edit Report's command: $VISUAL as a graphical editor, $EDITOR in a terminal, both split as the
// shell splits them; with neither, the desktop's application for plain text (never the HTML
// viewer the report's own type would open).
TEST(Shell, TheEditorCommandFollowsTheVariablesAndTheDesktopsTextEditor) {
    TempDir dir;
    dir.Write("data/applications/kestrel-test-editor.desktop",
              "[Desktop Entry]\nType=Application\nName=Editor\n"
              "Exec=true --new-window %F\nMimeType=text/plain;\n");
    dir.Write("config/mimeapps.list",
              "[Default Applications]\ntext/plain=kestrel-test-editor.desktop\n");
    ScopedEnv data("XDG_DATA_HOME", dir / "data");
    ScopedEnv config("XDG_CONFIG_HOME", dir / "config");
    const struct {
        const char* visual;
        const char* editor;
        Words command;
    } cases[] = {
        {"code --wait", "", {"code", "--wait", "/r/report.htm"}},
        {"'/opt/my editor/edit' -n", "vi", {"/opt/my editor/edit", "-n", "/r/report.htm"}},
        {"", "vim -p", {"x-terminal-emulator", "-e", "vim", "-p", "/r/report.htm"}},
        {"\"unbalanced", "nano", {"x-terminal-emulator", "-e", "nano", "/r/report.htm"}},
        {"", "", {"true", "--new-window", "/r/report.htm"}},
    };
    for (const auto& c : cases) {
        ScopedEnv visual("VISUAL", c.visual);
        ScopedEnv editor("EDITOR", c.editor);
        EXPECT_EQ(EditorCommand("/r/report.htm"), c.command) << c.visual << " / " << c.editor;
    }
    // The field codes of a desktop entry: the file once, in the first place that takes one.
    EXPECT_EQ(DesktopEntryCommand("ed %U --icon %i %f 100%%", "/a b"),
              (Words{"ed", "/a b", "--icon", "100%"}));
    EXPECT_EQ(DesktopEntryCommand("ed", "/a"), (Words{"ed", "/a"}));
    EXPECT_TRUE(DesktopEntryCommand("ed 'open", "/a").empty());
}
