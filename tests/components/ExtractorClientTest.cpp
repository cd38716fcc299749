// CExtractorClient against the test component: creation failures, the answers, the exception
// log. The real component is exercised in tests/components.
#include "engine/ExtractorClient.h"

#include <gtest/gtest.h>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "platform/ErrorLog.h"
#include "platform/UserInterface.h"

namespace {

// The extractor's class id mapped to the test component, which behaves as `mode` says.
class ClientFixture : public ::testing::Test {
protected:
    void Use(const std::string& mode, bool registered = true) {
        std::string line = registered
                               ? std::string(kExtractorClassId) + "=" + KESTREL_TEST_COMPONENT
                               : std::string("# nothing registered");
        m_registry = m_dir.Write("classes.reg", line + "\n");
        // The old guards restore the environment first, then the new ones set it.
        m_mode.reset();
        m_env.reset();
        m_env = std::make_unique<ScopedEnv>("KESTREL_CLASS_REGISTRY", m_registry);
        m_mode = std::make_unique<ScopedEnv>("KESTREL_TEST_COMPONENT_MODE", mode);
    }

    // Create() with stderr captured.
    bool CreateCapturing(CExtractorClient& client, std::string& err) {
        ::testing::internal::CaptureStderr();
        bool ok = client.Create(&ui);
        err = ::testing::internal::GetCapturedStderr();
        return ok;
    }

    TempDir m_dir;
    std::string m_registry;
    std::unique_ptr<ScopedEnv> m_env, m_mode;
    ScriptedMessageBox ui;
};

} // namespace

TEST_F(ClientFixture, CreatesTheComponentAndPassesTheThreeArguments) {
    Use("");
    CExtractorClient client;
    std::string err;
    ASSERT_TRUE(CreateCapturing(client, err));
    EXPECT_EQ(err, "");
    EXPECT_TRUE(client.IsCreated());
    EXPECT_EQ(client.ExtractToFolder2("/mail/a b.eml", "/dest/Grüße"),
              "2:/mail/a b.eml|/dest/Grüße|");
    EXPECT_EQ(client.ExtractToFolder("/tmp/TAK1.tmp", "/dest"), "1:/tmp/TAK1.tmp|/dest|");
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ClientFixture, ClassNotRegisteredGoesToStderr) {
    Use("", false);
    CExtractorClient client;
    std::string err;
    EXPECT_FALSE(CreateCapturing(client, err));
    EXPECT_EQ(err, "Error: Class not registered\n");
    EXPECT_FALSE(client.IsCreated());
    EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
    EXPECT_EQ(client.ExtractToFolder("/a.eml", "/d"), "");
}

TEST_F(ClientFixture, FailureCodesWithAndWithoutASystemText) {
    Use("create-fails");
    {
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        EXPECT_EQ(err,
                  "Error: Not enough memory resources are available to complete this operation.\n");
    }
    Use("create-unknown-code");
    {
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        EXPECT_EQ(err, "Unknown error!\n");
    }
    Use("no-dispatch");
    {
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        EXPECT_EQ(err, "Error: No such interface supported\n");
        EXPECT_FALSE(client.IsCreated());
    }
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ClientFixture, SuccessWithoutAnObjectIsShownInAMessageBox) {
    Use("null-unknown");
    {
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        EXPECT_EQ(err, "");
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0], "Unknown error getting the IUnknown interface.\n");
    }
    Use("null-dispatch");
    {
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        ASSERT_EQ(ui.Messages().size(), 2u);
        EXPECT_EQ(ui.Messages()[1], "Unknown error getting the IDispatch interface.\n");
        EXPECT_FALSE(client.IsCreated());
        EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
    }
    // Without a ui nothing is shown and nothing breaks.
    CExtractorClient client;
    EXPECT_FALSE(client.Create(nullptr));
}

TEST_F(ClientFixture, AutomationExceptionsAreLoggedCutTo255Characters) {
    Use("exception");
    CExtractorClient client;
    std::string err;
    ASSERT_TRUE(CreateCapturing(client, err));
    std::vector<std::string> lines;
    client.SetErrorLogger([&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "OleException: " + std::string(255, 'x'));
}

TEST_F(ClientFixture, AutomationExceptionsGoToTheErrorLogByDefault) {
    Use("exception");
    CExtractorClient client;
    std::string err;
    ASSERT_TRUE(CreateCapturing(client, err));
    TempDir logDir;
    TheErrorLog().OpenAt(logDir.path(), "errorlog.txt", false);
    TheErrorLog().SetEnabled(true);
    TheErrorLog().SetTimeStamp(false);
    EXPECT_EQ(client.ExtractToFolder("/a.eml", "/d"), "");
    EXPECT_EQ(ReadFileText(logDir / "errorlog.txt"),
              "OleException: " + std::string(255, 'x') + "\n");
    TheErrorLog().SetEnabled(false);
}

TEST_F(ClientFixture, AFailedCallAnswersEmpty) {
    Use("fail-invoke");
    CExtractorClient client;
    std::string err;
    ASSERT_TRUE(CreateCapturing(client, err));
    std::vector<std::string> lines;
    client.SetErrorLogger([&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
    EXPECT_TRUE(lines.empty());
}

// A call into the component that faults or throws is logged and answered false; the caller goes
// on. The fault is a real one (an illegal instruction); the frames it abandons are not unwound, so
// it is raised outside the client, whose call would leave its arguments behind.
TEST_F(ClientFixture, GuardedCallsLogWhatWentWrongAndAnswerFalse) {
    TempDir logDir;
    TheErrorLog().SetTimeStamp(false);
    const struct {
        const char* mode; // "fault": the call faults; nullptr: it throws; else the component's mode
        bool answered;
        const char* logged; // the start of the log
    } cases[] = {
        {"", true, ""},
        {"fault", false, "SeException: Exception ILLEGAL_INSTRUCTION"},
        {nullptr, false, "Exception: out of room (/m.eml)\n"},
    };
    for (const auto& c : cases) {
        TheErrorLog().OpenAt(logDir.path(), "errorlog.txt", false); // a new log each time
        const std::string mode = c.mode ? c.mode : "";
        Use(mode == "fault" ? "" : mode);
        CExtractorClient client;
        std::string err, answer;
        ASSERT_TRUE(CreateCapturing(client, err));
        const bool answered = CallComponentGuarded(
            [&] {
                if (!c.mode) throw std::length_error("out of room");
                if (mode == "fault") __builtin_trap();
                answer = client.ExtractToFolder2("/m.eml", "/d");
            },
            "/m.eml");
        EXPECT_EQ(answered, c.answered) << c.logged;
        EXPECT_EQ(answer.empty(), !c.answered) << c.logged;
        EXPECT_EQ(ReadFileText(logDir / "errorlog.txt").rfind(c.logged, 0), 0u)
            << ReadFileText(logDir / "errorlog.txt");
    }
    TheErrorLog().SetEnabled(false);
}
