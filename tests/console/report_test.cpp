// print_report into a file: every message arrives whole, also one longer
// than the buffer the usual message is formatted in (a path of thousands of
// characters in a report line).

#include "console/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/stdout_capture.h"

TEST(Report, MessagesOfEveryLengthArriveWhole)
{
    // Around the 2,047 characters formatted on the stack, and far beyond.
    for (std::size_t length : {0u, 1u, 2040u, 2045u, 2046u, 2047u, 2048u, 5000u, 40000u}) {
        std::wstring path(length, L'p');
        for (std::size_t at = 0; at < length; at += 97)
            path[at] = L'\\';
        std::wstring shown;
        {
            stdout_capture capture;
            print_report(L"[%ls] %d\n", path.c_str(), 7);
            shown = capture.text();
        }
        EXPECT_EQ(shown, L"[" + path + L"] 7\n") << "a path of " << length << " characters, "
                                                  << shown.size() << " characters shown";
    }
}
