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

TEST(ComRegistryTest, FindsClassesWithoutRegardToCaseAndResolvesRelativeNames) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    EXPECT_EQ(FindClassLibrary(reg, kEcho), KESTREL_TEST_COMPONENT);
    EXPECT_EQ(FindClassLibrary(reg, "{00000000-0000-0000-0000-0000000000e2}"),
              KESTREL_TEST_COMPONENT);
    EXPECT_EQ(FindClassLibrary(reg, "{00000000-0000-0000-0000-0000000000E4}"),
              dir / "missing-library.so");
    EXPECT_EQ(FindClassLibrary(reg, "{00000000-0000-0000-0000-0000000000E6}"), "");
    EXPECT_EQ(FindClassLibrary(reg, "{00000000-0000-0000-0000-0000000000E7}"), "");
    EXPECT_EQ(FindClassLibrary(dir / "no-such.reg", kEcho), "");
}

TEST(ComRegistryTest, DefaultPathIsBesideTheProgramUnlessTheEnvironmentNamesOne) {
    {
        ScopedEnv env("KESTREL_CLASS_REGISTRY", "");
        unsetenv("KESTREL_CLASS_REGISTRY");
        std::string path = GetClassRegistryPath();
        EXPECT_EQ(path, GetProgramFolder() + "/kestrel-classes.reg");
    }
    ScopedEnv env("KESTREL_CLASS_REGISTRY", "/somewhere/classes.reg");
    EXPECT_EQ(GetClassRegistryPath(), "/somewhere/classes.reg");
}

TEST(ComCreateTest, CreationFailuresGiveCodesAndSystemTexts) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj;
    ComError error;

    EXPECT_EQ(CreateInstanceFrom(reg, "{00000000-0000-0000-0000-0000000000E7}", obj, &error),
              kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(error.code, kREGDB_E_CLASSNOTREG);
    EXPECT_EQ(error.text, "Class not registered");
    EXPECT_FALSE(obj);

    EXPECT_EQ(CreateInstanceFrom(dir / "no-such.reg", kEcho, obj, &error), kREGDB_E_CLASSNOTREG);

    EXPECT_EQ(CreateInstanceFrom(reg, "{00000000-0000-0000-0000-0000000000E4}", obj, &error),
              kCO_E_DLLNOTFOUND);
    EXPECT_NE(error.text.find("DLL for class not found"), std::string::npos);
    EXPECT_NE(error.text.find("missing-library.so"), std::string::npos);

    // A library that loads but exports no class object.
    EXPECT_EQ(CreateInstanceFrom(reg, "{00000000-0000-0000-0000-0000000000E5}", obj, &error),
              kCO_E_ERRORINDLL);
    EXPECT_NE(error.text.find("Error in the DLL"), std::string::npos);

    // The library refuses a class it does not serve.
    std::string other =
        dir.Write("other.reg", std::string("{11111111-0000-0000-0000-000000000000}=") +
                                   KESTREL_TEST_COMPONENT + "\n");
    EXPECT_EQ(CreateInstanceFrom(other, "{11111111-0000-0000-0000-000000000000}", obj, &error),
              kCLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(error.text, "ClassFactory cannot supply requested class");
}

TEST(ComCreateTest, SuccessWithoutAnObjectLeavesTheReferenceEmpty) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj;
    EXPECT_EQ(CreateInstanceFrom(reg, kNullObject, obj), kS_OK);
    EXPECT_FALSE(obj);
}

TEST(ComCreateTest, QueryInterfaceForDispatch) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj, disp;
    ASSERT_EQ(CreateInstanceFrom(reg, kNoDispatch, obj), kS_OK);
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj.QueryInterface("IDispatch", disp), kE_NOINTERFACE);
    EXPECT_FALSE(disp);

    ASSERT_EQ(CreateInstanceFrom(reg, kEcho, obj), kS_OK);
    EXPECT_EQ(obj.QueryInterface("IDispatch", disp), kS_OK);
    EXPECT_TRUE(disp);
    CComRef unknown;
    EXPECT_EQ(disp.QueryInterface("IUnknown", unknown), kS_OK);
    EXPECT_EQ(unknown.Get(), obj.Get());
    EXPECT_EQ(obj.QueryInterface("IStream", unknown), kE_NOINTERFACE);
    EXPECT_FALSE(unknown);
}

TEST(ComDispatchTest, LooksMethodsUpByNameAndCallsThemWithStrings) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj, disp;
    ASSERT_EQ(CreateInstanceFrom(reg, kEcho, obj), kS_OK);
    ASSERT_EQ(obj.QueryInterface("IDispatch", disp), kS_OK);

    std::int32_t id = 0;
    EXPECT_EQ(disp.GetIDOfName(u"ECHO", id), kS_OK);
    EXPECT_EQ(id, 1);
    std::int32_t none = 0;
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

TEST(ComDispatchTest, ExceptionsCarryTheirText) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj;
    ASSERT_EQ(CreateInstanceFrom(reg, kEcho, obj), kS_OK);
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

TEST(ComDispatchTest, EmptyReferenceFailsCleanly) {
    CComRef none;
    std::int32_t id = 0;
    std::u16string result, exception;
    bool hasResult = false;
    EXPECT_EQ(none.GetIDOfName(u"Echo", id), kE_POINTER);
    EXPECT_EQ(none.Invoke(1, {}, result, hasResult, exception), kE_POINTER);
}

TEST(ComDispatchTest, ReferencesAreCountedAcrossCopies) {
    TempDir dir;
    std::string reg = WriteRegistry(dir);
    CComRef obj;
    ASSERT_EQ(CreateInstanceFrom(reg, kEcho, obj), kS_OK);
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
