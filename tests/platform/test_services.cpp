// Error texts, message boxes, dynamic loading and text conversion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/library.h"
#include "platform/messagebox.h"
#include "platform/text.h"

namespace {

using testing::HasSubstr;

TEST(ErrorTest, TextIsTheCLibraryTextWithALineBreakOrEmpty) {
    struct Case {
        int code;
        std::string text;
    };
    const Case cases[] = {
        {EEXIST, "File exists\n"},
        {EIO, "Input/output error\n"},
        {ENOENT, "No such file or directory\n"},
        {100000, ""},  // no text for this code
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(platform::errorText(code), text) << "code " << code;
}

TEST(ErrorTest, LastErrorBelongsToTheThread) {
    platform::setLastError(EACCES);
    int seenElsewhere = -1;
    std::thread([&] { seenElsewhere = platform::lastError(); }).join();
    EXPECT_EQ(seenElsewhere, 0);
    EXPECT_EQ(platform::lastError(), EACCES);
}

TEST(MessageBoxTest, InstalledHandlerReceivesTheMessageAndDefaultWritesToStandardError) {
    std::vector<std::pair<std::string, std::string>> shown;
    auto previous = platform::setMessageBoxHandler(
        [&](const std::string& caption, const std::string& text) { shown.emplace_back(caption, text); });
    EXPECT_FALSE(previous) << "no handler is installed at start";
    platform::showMessageBox("Zmcorelib Error", "Камера не найдена");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], std::make_pair(std::string("Zmcorelib Error"), std::string("Камера не найдена")));

    EXPECT_TRUE(platform::setMessageBoxHandler({})) << "the installed handler comes back";
    testing::internal::CaptureStderr();
    platform::showMessageBox("Zmcorelib Error", "Камера не найдена");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zmcorelib Error: Камера не найдена\n");
    EXPECT_EQ(shown.size(), 1u) << "the removed handler must not be called";
}

TEST(DynamicLibraryTest, MissingFileIsReportedWithItsName) {
    platform::DynamicLibrary library;
    EXPECT_FALSE(library.load("libzm-no-such-library.so"));
    EXPECT_FALSE(library.loaded());
    EXPECT_THAT(library.error(), HasSubstr("libzm-no-such-library.so"));
    EXPECT_EQ(library.symbol("GetEnvironment"), nullptr);
    EXPECT_FALSE(library.error().empty());
}

TEST(DynamicLibraryTest, ResolvesSymbolsOfALoadedLibraryAndReportsMissingOnes) {
    platform::DynamicLibrary library;
    ASSERT_TRUE(library.load("libm.so.6")) << library.error();
    using Cosine = double (*)(double);
    auto cosine = reinterpret_cast<Cosine>(library.symbol("cos"));
    ASSERT_NE(cosine, nullptr) << library.error();
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(library.symbol("zmNoSuchSymbol"), nullptr);
    EXPECT_THAT(library.error(), HasSubstr("zmNoSuchSymbol"));

    platform::DynamicLibrary moved(std::move(library));
    EXPECT_TRUE(moved.loaded());
    EXPECT_FALSE(library.loaded());  // NOLINT(bugprone-use-after-move): moved-from state is specified
}

// The search does not know the build tree's lib/; the calling program's own place does.
TEST(DynamicLibraryTest, ABareNameIsFoundBesideTheCallingProgram) {
    constexpr char kBeside[] = "libzmtest_besidelibrary.so";
    platform::DynamicLibrary library;
    ASSERT_FALSE(library.load(kBeside)) << "the library is on the search path: the test shows nothing";
    ASSERT_TRUE(library.loadBesideCaller(kBeside)) << library.error();
    auto answer = reinterpret_cast<int (*)()>(library.symbol("zmBesideLibraryAnswer"));
    ASSERT_NE(answer, nullptr) << library.error();
    EXPECT_EQ(answer(), 42);

    // A name with a folder is taken as it is; the search's reason stays.
    platform::DynamicLibrary elsewhere;
    EXPECT_FALSE(elsewhere.loadBesideCaller(std::string("no-such-folder/") + kBeside));
    EXPECT_THAT(elsewhere.error(), HasSubstr("no-such-folder"));
    EXPECT_FALSE(elsewhere.loadBesideCaller("libzm-no-such-library.so"));
    EXPECT_THAT(elsewhere.error(), HasSubstr("libzm-no-such-library.so"));
}

TEST(TextTest, ValidTextsSurviveTheRoundTrip) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"Zmcorelib Error", u"Zmcorelib Error"},
        {"Есть занятый кадр", u"Есть занятый кадр"},
        {"Камера_1234#5", u"Камера_1234#5"},
        {"cек, мкс, °C, €", u"cек, мкс, °C, €"},
        {"\xF0\x9D\x84\x9E", u"\U0001D11E"},  // outside the basic plane: a surrogate pair
    };
    for (const auto& [utf8, utf16] : cases) {
        EXPECT_EQ(platform::toUtf16(utf8), utf16) << utf8;
        EXPECT_EQ(platform::toUtf8(utf16), utf8) << utf8;
    }
}

TEST(TextTest, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const Case fromUtf8[] = {
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"truncated sequence at the end", "a\xD0", u"a\uFFFD"},
        {"overlong encoding", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [name, utf8, utf16] : fromUtf8) EXPECT_EQ(platform::toUtf16(utf8), utf16) << name;

    const std::u16string loneHigh{u'a', static_cast<char16_t>(0xD800), u'z'};
    const std::u16string loneLow{static_cast<char16_t>(0xDC00)};
    EXPECT_EQ(platform::toUtf8(loneHigh), "a\xEF\xBF\xBDz");
    EXPECT_EQ(platform::toUtf8(loneLow), "\xEF\xBF\xBD");
}

}  // namespace
