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
    // Create() of a component in the mode, which must succeed.
    void Create(CExtractorClient& client, const std::string& mode) {
        Use(mode);
        std::string err;
        EXPECT_TRUE(CreateCapturing(client, err)) << err;
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

// A component that cannot be had: the reason on stderr, or in a message box where the code
// says success but gives no object; the client then answers every call empty.
TEST_F(ClientFixture, CreationFailuresAreSaidAndLeaveNoClient) {
    const struct {
        const char* mode;
        bool registered;
        const char* err;
        const char* shown; // in a message box
    } cases[] = {
        {"", false, "Error: Class not registered\n", nullptr},
        {"create-fails", true,
         "Error: Not enough memory resources are available to complete this operation.\n", nullptr},
        {"create-unknown-code", true, "Unknown error!\n", nullptr},
        {"no-dispatch", true, "Error: No such interface supported\n", nullptr},
        {"null-unknown", true, "", "Unknown error getting the IUnknown interface.\n"},
        {"null-dispatch", true, "", "Unknown error getting the IDispatch interface.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Use(c.mode, c.registered);
        ui.shown.clear();
        CExtractorClient client;
        std::string err;
        EXPECT_FALSE(CreateCapturing(client, err));
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(ui.Messages(),
                  c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
        EXPECT_FALSE(client.IsCreated());
        EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
        EXPECT_EQ(client.ExtractToFolder("/a.eml", "/d"), "");
    }
    // Without a ui nothing is shown and nothing breaks.
    CExtractorClient client;
    EXPECT_FALSE(client.Create(nullptr));
}

// A call the component fails answers empty; an automation exception is logged, cut to 255
// characters.
TEST_F(ClientFixture, AFailedCallAnswersEmptyAndAnExceptionIsLogged) {
    for (const char* mode : {"exception", "fail-invoke"}) {
        SCOPED_TRACE(mode);
        CExtractorClient client;
        Create(client, mode);
        std::vector<std::string> lines;
        client.SetErrorLogger([&](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(client.ExtractToFolder2("/a.eml", "/d"), "");
        EXPECT_EQ(lines, std::string(mode) == "exception"
                             ? std::vector<std::string>{"OleException: " + std::string(255, 'x')}
                             : std::vector<std::string>{});
    }
}

TEST_F(ClientFixture, AutomationExceptionsGoToTheErrorLogByDefault) {
    CExtractorClient client;
    Create(client, "exception");
    TempDir logDir;
    TheErrorLog().OpenAt(logDir.path(), "errorlog.txt", false);
    TheErrorLog().SetEnabled(true);
    TheErrorLog().SetTimeStamp(false);
    EXPECT_EQ(client.ExtractToFolder("/a.eml", "/d"), "");
    EXPECT_EQ(ReadFileText(logDir / "errorlog.txt"),
              "OleException: " + std::string(255, 'x') + "\n");
    TheErrorLog().SetEnabled(false);
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
        CExtractorClient client;
        Create(client, mode == "fault" ? "" : mode);
        std::string answer;
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
