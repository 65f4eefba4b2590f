#include "app/error_report.h"

#include <gtest/gtest.h>

#include "support/stdout_capture.h"

TEST(SystemError, PrintsCaptionThenCodeAndSystemText)
{
    stdout_capture out;
    EXPECT_EQ(print_system_error(2, L"open(x)"), 2u);
    std::wstring text = out.text();
    EXPECT_EQ(text.rfind(L"open(x)\n   ^ERROR: 2, ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::wstring(L"open(x)\n   ^ERROR: 2, ").size());
}

TEST(SystemError, WithoutCaptionOnlyTheErrorLine)
{
    stdout_capture out;
    (void)print_system_error(5, nullptr);
    EXPECT_EQ(out.text().rfind(L"   ^ERROR: 5, ", 0), 0u);
}

TEST(SystemError, CodeWithoutSystemTextPrintsNull)
{
    stdout_capture out;
    EXPECT_EQ(print_system_error(0x2000ABCDu, nullptr), 0x2000ABCDu);
    EXPECT_EQ(out.text(), L"   ^ERROR: 536914893, (null)");
}

TEST(FormatBounded, FitsExactlyOrFails)
{
    wchar_t buffer[8];
    EXPECT_EQ(format_bounded(buffer, 8, L"%ls", L"1234567"), 7);
    EXPECT_STREQ(buffer, L"1234567");
    EXPECT_EQ(format_bounded(buffer, 8, L"%ls", L"12345678"), -1);
    EXPECT_EQ(buffer[7], L'\0');
    EXPECT_EQ(format_bounded(buffer, 8, L"open(%ls)", L"a"), 7);
    EXPECT_STREQ(buffer, L"open(a)");
    EXPECT_EQ(format_bounded(buffer, 0, L"x"), -1);
}
