#include "platform/Com.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/Paths.h"

using namespace platform;

namespace {

constexpr const char* kEcho = "{00000000-0000-0000-0000-0000000000E1}";
constexpr const char* kNullObject = "{00000000-0000-0000-0000-0000000000E2}";
constexpr const char* kNoDispatch = "{00000000-0000-0000-0000-0000000000E3}";

// A library that loads but is no component.
std::string LibcPath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&::getpid), &info);
    return info.dli_fname ? info.dli_fname : "libc.so.6";
}

// A registration file that maps the test classes to the test component.
std::string WriteRegistry(const TempDir& dir, const std::string& library = KESTREL_TEST_COMPONENT) {
    return dir.Write("classes.reg",
                     "# test classes\n\n; another comment\n"
                     "{00000000-0000-0000-0000-0000000000e1} = " +
                         library +
                         "\n"
                         "{00000000-0000-0000-0000-0000000000E2}=" +
                         library +
                         "\r\n"
                         "{00000000-0000-0000-0000-0000000000E3}=" +
                         library +
                         "\n"
                         "{00000000-0000-0000-0000-0000000000E4}=missing-library.so\n"
                         "{00000000-0000-0000-0000-0000000000E5}=" +
                         LibcPath() +
                         "\n"
                         "{00000000-0000-0000-0000-0000000000E6}=\n");
}

std::u16string U(const char* s) {
    return ToUtf16(s);
}

} // namespace

TEST(Utf16Test, RoundTripsUtf8) {
    for (std::string s : {"", "plain", "Grüße", "日本語", "😀 emoji", "a\x01z"}) {
        EXPECT_EQ(FromUtf16(ToUtf16(s)), s);
    }
    EXPECT_EQ(ToUtf16("Grüße"), u"Grüße");
    EXPECT_EQ(ToUtf16("😀"), u"😀");
}

TEST(Utf16Test, KeepsBytesThatAreNotUtf8) {
    // Latin-1 bytes, a lone continuation byte, an overlong form and an encoded surrogate.
    for (std::string s : {"caf\xe9", "\x80", "\xc0\xaf", "\xed\xa0\x80", "ok\xff\xfe"}) {
        std::u16string w = ToUtf16(s);
        EXPECT_EQ(FromUtf16(w), s);
        for (char16_t c : w) {
            EXPECT_TRUE(c < 0x80 || (c >= 0xDC80 && c <= 0xDCFF));
        }
    }
}

TEST(Utf16Test, LoneSurrogateBecomesReplacementCharacter) {
    std::u16string w = {u'a', static_cast<char16_t>(0xD800), u'b'};
    EXPECT_EQ(FromUtf16(w), "a\xEF\xBF\xBD"
                            "b");
}

// A folder with the registration file of the test classes.
class ComFixture : public ::testing::Test {
protected:
    // An object of the class the test registry names, asserted to be made.
    CComRef Created(const char* cls) {
        CComRef obj;
        EXPECT_EQ(CreateInstanceFrom(reg, cls, obj), kS_OK) << cls;
        EXPECT_TRUE(obj) << cls;
        return obj;
    }
    TempDir dir;
    const std::string reg = WriteRegistry(dir);
};
using ComRegistryTest = ComFixture;
using ComCreateTest = ComFixture;
using ComDispatchTest = ComFixture;

TEST_F(ComRegistryTest, FindsClassesWithoutRegardToCaseAndResolvesRelativeNames) {
    const struct {
        std::string registry, cls, library;
    } cases[] = {
        {reg, kEcho, KESTREL_TEST_COMPONENT},
        {reg, "{00000000-0000-0000-0000-0000000000e2}", KESTREL_TEST_COMPONENT},
        {reg, "{00000000-0000-0000-0000-0000000000E4}", dir / "missing-library.so"},
        {reg, "{00000000-0000-0000-0000-0000000000E6}", ""},
        {reg, "{00000000-0000-0000-0000-0000000000E7}", ""},
        {dir / "no-such.reg", kEcho, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindClassLibrary(c.registry, c.cls), c.library) << c.registry << " " << c.cls;
}

TEST(ComRegistryPathTest, DefaultPathIsBesideTheProgramUnlessTheEnvironmentNamesOne) {
    {
        ScopedEnv env("KESTREL_CLASS_REGISTRY", "");
        unsetenv("KESTREL_CLASS_REGISTRY");
        std::string path = GetClassRegistryPath();
        EXPECT_EQ(path, GetProgramFolder() + "/kestrel-classes.reg");
    }
    ScopedEnv env("KESTREL_CLASS_REGISTRY", "/somewhere/classes.reg");
    EXPECT_EQ(GetClassRegistryPath(), "/somewhere/classes.reg");
}

TEST_F(ComCreateTest, CreationFailuresGiveCodesAndSystemTexts) {
    // The library refuses a class it does not serve.
    const std::string other =
        dir.Write("other.reg", std::string("{11111111-0000-0000-0000-000000000000}=") +
                                   KESTREL_TEST_COMPONENT + "\n");
    const struct {
        std::string registry, cls;
        HResult code;
        std::vector<std::string> said; // parts of the text
        bool whole = false;            // the one part is the whole text
    } cases[] = {
        {reg,
         "{00000000-0000-0000-0000-0000000000E7}",
         kREGDB_E_CLASSNOTREG,
         {"Class not registered"},
         true},
        {dir / "no-such.reg", kEcho, kREGDB_E_CLASSNOTREG, {"Class not registered"}},
        {reg,
         "{00000000-0000-0000-0000-0000000000E4}",
         kCO_E_DLLNOTFOUND,
         {"DLL for class not found", "missing-library.so"}},
        // A library that loads but exports no class object.
        {reg, "{00000000-0000-0000-0000-0000000000E5}", kCO_E_ERRORINDLL, {"Error in the DLL"}},
        {other,
         "{11111111-0000-0000-0000-000000000000}",
         kCLASS_E_CLASSNOTAVAILABLE,
         {"ClassFactory cannot supply requested class"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cls);
        CComRef obj;
        ComError error;
        EXPECT_EQ(CreateInstanceFrom(c.registry, c.cls, obj, &error), c.code);
        EXPECT_EQ(error.code, c.code);
        EXPECT_FALSE(obj);
        EXPECT_TRUE(!c.whole || error.text == c.said[0]) << error.text;
        for (const std::string& part : c.said)
            EXPECT_NE(error.text.find(part), std::string::npos) << error.text;
    }
}

TEST_F(ComCreateTest, SuccessWithoutAnObjectLeavesTheReferenceEmpty) {
    CComRef obj;
    EXPECT_EQ(CreateInstanceFrom(reg, kNullObject, obj), kS_OK);
    EXPECT_FALSE(obj);
}

TEST_F(ComCreateTest, QueryInterfaceForDispatch) {
    CComRef obj = Created(kNoDispatch), disp;
    EXPECT_EQ(obj.QueryInterface("IDispatch", disp), kE_NOINTERFACE);
    EXPECT_FALSE(disp);

    obj = Created(kEcho);
    EXPECT_EQ(obj.QueryInterface("IDispatch", disp), kS_OK);
    EXPECT_TRUE(disp);
    CComRef unknown;
    EXPECT_EQ(disp.QueryInterface("IUnknown", unknown), kS_OK);
    EXPECT_EQ(unknown.Get(), obj.Get());
    EXPECT_EQ(obj.QueryInterface("IStream", unknown), kE_NOINTERFACE);
    EXPECT_FALSE(unknown);
}

TEST_F(ComDispatchTest, LooksMethodsUpByNameAndCallsThemWithStrings) {
    CComRef disp;
    ASSERT_EQ(Created(kEcho).QueryInterface("IDispatch", disp), kS_OK);
    std::int32_t id = 0, none = 0;
    EXPECT_EQ(disp.GetIDOfName(u"ECHO", id), kS_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(disp.GetIDOfName(u"NoSuchMethod", none), kDISP_E_UNKNOWNNAME);

    std::u16string result, exception;
    bool hasResult = false;
    EXPECT_EQ(disp.Invoke(id, {U("Grüße"), U("/tmp/x"), u""}, result, hasResult, exception), kS_OK);
    EXPECT_TRUE(hasResult);
    EXPECT_EQ(FromUtf16(result), "Grüße,/tmp/x,");
    // Raw bytes of a path survive the trip through the component.
    std::string path = "/tmp/caf\xe9/\xff.eml";
    EXPECT_EQ(disp.Invoke(id, {ToUtf16(path)}, result, hasResult, exception), kS_OK);
    EXPECT_EQ(FromUtf16(result), path);
}

TEST_F(ComDispatchTest, ExceptionsCarryTheirText) {
    CComRef obj = Created(kEcho);
    std::int32_t id = 0;
    ASSERT_EQ(obj.GetIDOfName(u"Fail", id), kS_OK);
    std::u16string result, exception;
    bool hasResult = true;
    EXPECT_EQ(obj.Invoke(id, {U("it went wrong")}, result, hasResult, exception),
              kDISP_E_EXCEPTION);
    EXPECT_FALSE(hasResult);
    EXPECT_EQ(FromUtf16(exception), "it went wrong");
    // A C++ exception thrown inside the component does not cross the boundary as one.
    ASSERT_EQ(obj.GetIDOfName(u"ThrowStd", id), kS_OK);
    EXPECT_EQ(obj.Invoke(id, {}, result, hasResult, exception), kDISP_E_EXCEPTION);
    EXPECT_EQ(FromUtf16(exception), "thrown inside");
    EXPECT_EQ(obj.Invoke(99, {}, result, hasResult, exception), kDISP_E_MEMBERNOTFOUND);
}

TEST(ComEmptyTest, EmptyReferenceFailsCleanly) {
    CComRef none;
    std::int32_t id = 0;
    std::u16string result, exception;
    bool hasResult = false;
    EXPECT_EQ(none.GetIDOfName(u"Echo", id), kE_POINTER);
    EXPECT_EQ(none.Invoke(1, {}, result, hasResult, exception), kE_POINTER);
}

TEST_F(ComDispatchTest, ReferencesAreCountedAcrossCopies) {
    CComRef obj = Created(kEcho);
    CComRef copy = obj;
    obj.Reset();
    std::int32_t id = 0;
    EXPECT_EQ(copy.GetIDOfName(u"Echo", id), kS_OK); // still alive through the copy
    CComRef moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_TRUE(moved);
}

TEST(HResultTextTest, KnowsTheLayersCodes) {
    EXPECT_EQ(HResultText(kREGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(HResultText(kE_NOINTERFACE), "No such interface supported");
    EXPECT_EQ(HResultText(static_cast<HResult>(0x80001234)), "");
}
