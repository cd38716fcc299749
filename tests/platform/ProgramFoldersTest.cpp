#include "platform/ProgramFolders.h"

#include <gtest/gtest.h>

#include "TempDir.h"

using namespace platform;

// The build folder and an installation, laid out as real folders: the registration file in the
// private library folder is what makes an installation.
TEST(ProgramFolders, BesideTheProgramUnlessTheLibraryFolderHoldsTheRegistration) {
    TempDir dir;
    dir.Write("build/bin/kestrel-classes.reg", "");
    dir.MakeDir("half/usr/lib/kestrel"); // the folder alone makes no installation
    dir.Write("usr/lib/kestrel/kestrel-classes.reg", "");
    struct Case {
        std::string exe, program, library, data, icons;
        bool installed;
    } cases[] = {
        {"build/bin/kestrel", "build/bin", "build/bin", "build/bin", "build/bin/icons/hicolor",
         false},
        {"half/usr/bin/kestrel-cli", "half/usr/bin", "half/usr/bin", "half/usr/bin",
         "half/usr/bin/icons/hicolor", false},
        {"usr/bin/kestrel-cli", "usr/bin", "usr/lib/kestrel", "usr/share/kestrel",
         "usr/share/icons/hicolor", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        dir.Write(c.exe, "");
        ProgramFolders f = FindProgramFolders(dir / c.exe);
        EXPECT_EQ(f.program, dir / c.program);
        EXPECT_EQ(f.library, dir / c.library);
        EXPECT_EQ(f.data, dir / c.data);
        EXPECT_EQ(f.icons, dir / c.icons);
        EXPECT_EQ(f.installed, c.installed);
        // An installation is never written to, even by a user who could.
        EXPECT_EQ(WritesBesideProgram(f), !c.installed);
    }
}

TEST(ProgramFolders, StateFolderFollowsXdgAndIgnoresARelativeSetting) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv state("XDG_STATE_HOME", "/var/state");
        EXPECT_EQ(GetStateFolder(), "/var/state/kestrel");
    }
    ScopedEnv state("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(GetStateFolder(), "/home/someone/.local/state/kestrel");
}
