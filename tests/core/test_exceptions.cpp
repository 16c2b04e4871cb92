// The camera library's exceptions and the qx_classes exceptions of the viewer and the element.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "qx_classes/exception.h"
#include "zmcorelib/exceptions.h"

namespace {

struct MessageCase {
    int code;
    const char* file;
    int line;
    std::string message;
    friend void PrintTo(const MessageCase& c, std::ostream* out) { *out << "code " << c.code; }
};

class Win32ExceptionTest : public testing::TestWithParam<MessageCase> {};

TEST_P(Win32ExceptionTest, MessageNamesCodeTextFileAndLine) {
    const MessageCase& c = GetParam();
    platform::setLastError(c.code);
    const ZmCoreLib::Win32Exception raised(c.file, c.line);
    platform::setLastError(0);  // the message was fixed at construction
    const ZmCoreLib::Win32Exception copy = raised;
    const ZmCoreLib::ExceptionRoot& root = copy;
    EXPECT_EQ(std::string(root.What()), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Win32ExceptionTest,
    testing::Values(
        MessageCase{5, "Worker", 93, "Error code: 5\nInput/output error\n\nIn File: Worker\nLine: 93"},
        MessageCase{EEXIST, "Worker", 18, "Error code: 17\nFile exists\n\nIn File: Worker\nLine: 18"},
        // No system text: that part stays empty, the rest is unchanged.
        MessageCase{100000, "Worker", 168, "Error code: 100000\n\nIn File: Worker\nLine: 168"}),
    [](const auto& param) { return "Code" + std::to_string(param.param.code); });

TEST(Win32ExceptionTest, ThrownByValueAndCaughtAsTheRoot) {
    platform::setLastError(EACCES);
    try {
        throw ZmCoreLib::Win32Exception("Worker", 101);
    } catch (const ZmCoreLib::ExceptionRoot& caught) {
        EXPECT_EQ(std::string(caught.What()).rfind("Error code: 13\nPermission denied\n", 0), 0u)
            << caught.What();
    }
}

TEST(FrameBufferExceptionTest, CarriesItsWideMessage) {
    try {
        throw ZmCoreLib::FrameBufferException(u"Есть занятый кадр");
    } catch (const ZmCoreLib::FrameBufferException& caught) {
        EXPECT_EQ(caught.message(), u"Есть занятый кадр");
    }
}

TEST(QxExceptionTest, PlainExceptionHasEmptyText) {
    const qx_classes::Exception plain;
    EXPECT_STREQ(plain.what(), "");
}

TEST(QxExceptionTest, Win32ExceptionTakesTheLastErrorOfAFailedFileCreation) {
    char path[] = "/tmp/qx-exception-XXXXXX";
    const int existing = mkstemp(path);
    ASSERT_NE(existing, -1);
    close(existing);
    const int fd = open(path, O_CREAT | O_EXCL | O_WRONLY, 0600);
    const int failure = errno;
    unlink(path);
    ASSERT_EQ(fd, -1);
    platform::setLastError(failure);

    const qx_classes::Win32_exception error;
    platform::setLastError(EIO);  // later failures do not change the recorded one
    EXPECT_EQ(error.error(), static_cast<std::uint32_t>(EEXIST));
    EXPECT_STREQ(error.what(), "File exists\n");
    EXPECT_STREQ(error.what(), "File exists\n") << "a second what() gives the same text";
}

TEST(QxExceptionTest, ExplicitCodeIgnoresTheLastErrorAndUnknownCodesHaveNoText) {
    platform::setLastError(EEXIST);
    EXPECT_STREQ(qx_classes::Win32_exception(ENOENT).what(), "No such file or directory\n");
    EXPECT_STREQ(qx_classes::Win32_exception(100000).what(), "");
}

// Derived classes override describe() only; what() through the base gives their text.
TEST(QxExceptionTest, CaughtAsTheBaseDescribesTheThrownClass) {
    class PoolError : public qx_classes::Exception {
    public:
        void describe(std::string& out) const override { out = "Нет камер"; }
    };
    try {
        throw PoolError();
    } catch (const qx_classes::Exception& caught) {
        EXPECT_STREQ(caught.what(), "Нет камер");
    }
    try {
        throw qx_classes::Win32_exception(EACCES);
    } catch (const qx_classes::Exception& caught) {
        EXPECT_STREQ(caught.what(), "Permission denied\n");
    }
}

}  // namespace
