// Messages named ahead are parsed on another thread; what is written must not depend on it.
// The run's order (each call names the next few) against plain calls, over clashing names and
// an equal file; then a prepared file that is replaced, rewritten, turned into a fifo or never
// asked for. The test waits for the read-ahead to say it is done with a file, never for time.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "MailFixtures.h"
#include "TempDir.h"
#include "components/extractor/MessageExtractor.h"

namespace fs = std::filesystem;

namespace {

std::string Mail(const std::string& subject, const std::vector<FixtureAttachment>& files) {
    return MakeMessage(subject, "Bob <bob@example.com>", "Tue, 15 Nov 1994 08:12:31 -0500", files);
}

// The reason the call gives when the message cannot be had, or empty.
std::string Failure(const std::string& path, const std::string& folder,
                    extractor::MessagePreparer& ahead) {
    try {
        extractor::ExtractMessage(path, folder, &ahead);
    } catch (const extractor::ExtractError& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(ReadAhead, MessagesReadAheadGiveWhatPlainCallsGive) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        const std::string photo = RandomBytes(3000 + 1000 * i, i % 3); // every third one equal
        paths.push_back(dir.Write("mail/m" + std::to_string(i) + ".eml",
                                  Mail("Message " + std::to_string(i),
                                       {{"photo.jpg", photo, "image/jpeg"},
                                        {"n" + std::to_string(i) + ".bin", RandomBytes(64, i)}})));
    }
    const std::string plain = dir.MakeDir("plain"), aheadDir = dir.MakeDir("ahead");
    extractor::MessagePreparer ahead;
    std::vector<std::string> plainAnswers, aheadAnswers;
    for (const std::string& path : paths)
        plainAnswers.push_back(
            extractor::FormatExtractToFolder2(extractor::ExtractMessage(path, plain)));
    for (size_t i = 0; i < paths.size(); ++i) {
        for (size_t next = i + 1; next < std::min(paths.size(), i + 4); ++next)
            ahead.Prepare(paths[next]);
        aheadAnswers.push_back(extractor::FormatExtractToFolder2(
            extractor::ExtractMessage(paths[i], aheadDir, &ahead)));
    }
    EXPECT_EQ(aheadAnswers, plainAnswers);
    ASSERT_EQ(EntryNames(aheadDir), EntryNames(plain));
    EXPECT_EQ(EntryNames(plain).count("photo (3).jpg"), 1u);
    for (const std::string& name : EntryNames(plain))
        EXPECT_EQ(ReadFileText(aheadDir + "/" + name), ReadFileText(plain + "/" + name)) << name;

    // Replaced by another file, or rewritten in place, once parsed: the file as it is now is
    // extracted.
    const std::string dest = dir.MakeDir("later");
    const std::string replaced = dir.Write("mail/r.eml", Mail("r", {{"old.bin", "old"}}));
    ahead.Prepare(replaced);
    ASSERT_TRUE(ahead.WaitUntilParsed(replaced));
    dir.Write("mail/r.new", Mail("r", {{"new.bin", "new"}}));
    ASSERT_EQ(::rename((dir / "mail/r.new").c_str(), replaced.c_str()), 0);
    EXPECT_EQ(extractor::ExtractMessage(replaced, dest, &ahead).files,
              std::vector<std::string>{"new.bin"});
    ahead.Prepare(replaced);
    ASSERT_TRUE(ahead.WaitUntilParsed(replaced));
    dir.Write("mail/r.eml", Mail("r", {{"longer name.bin", "newer"}}));
    EXPECT_EQ(extractor::ExtractMessage(replaced, dest, &ahead).files,
              std::vector<std::string>{"longer name.bin"});

    // A fifo in its place is refused as without reading ahead, and never opened for reading.
    ahead.Prepare(replaced);
    ASSERT_TRUE(ahead.WaitUntilParsed(replaced));
    ASSERT_EQ(::unlink(replaced.c_str()), 0);
    ASSERT_EQ(::mkfifo(replaced.c_str(), 0600), 0);
    EXPECT_NE(Failure(replaced, dest, ahead).find("not a regular file"), std::string::npos);

    // Named ahead but missing: said as without reading ahead.
    const std::string missing = dir / "mail/none.eml";
    ahead.Prepare(missing);
    EXPECT_FALSE(ahead.WaitUntilParsed(missing));
    EXPECT_EQ(Failure(missing, dest, ahead).rfind("Cannot open the message", 0), 0u);
    // Named ahead but never asked for: nothing is written, and they give way (a run that
    // stopped): the next run's files are read ahead.
    for (const std::string& path : paths)
        ahead.Prepare(path);
    EXPECT_EQ(EntryNames(dest), (std::set<std::string>{"new.bin", "longer name.bin"}));
    const std::string next = dir.Write("mail/next.eml", Mail("n", {{"n.bin", "n"}}));
    ahead.Prepare(next);
    EXPECT_TRUE(ahead.WaitUntilParsed(next));
    EXPECT_EQ(extractor::ExtractMessage(next, dest, &ahead).files,
              std::vector<std::string>{"n.bin"});
}
