// Text-mode line ends for text written straight to a console. The
// translation itself is tested on every host; on Windows also against the
// runtime's own text mode and through print_report on a console.

#include "console/line_ends.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring text_mode(const std::wstring& text)
{
    std::wstring out(text_mode_capacity(text.size()), L'?');
    text_mode_result done = to_text_mode(text.data(), text.size(), out.data(), out.size());
    EXPECT_EQ(done.read, text.size());
    out.resize(done.written);
    return out;
}

// The same text in pieces of at most `capacity` characters each.
std::wstring text_mode_in_pieces(const std::wstring& text, std::size_t capacity)
{
    std::wstring whole;
    std::wstring piece(capacity, L'?');
    std::size_t at = 0;
    while (at < text.size()) {
        text_mode_result done = to_text_mode(text.data() + at, text.size() - at, piece.data(), capacity);
        EXPECT_GT(done.read, 0u) << "no progress at " << at;
        EXPECT_LE(done.written, capacity);
        if (done.read == 0)
            break;
        std::wstring part = piece.substr(0, done.written);
        EXPECT_EQ(part.back(), text[at + done.read - 1])
            << "a piece ends with the last character it read, never between an added carriage return and its line feed";
        whole += part;
        at += done.read;
    }
    return whole;
}

}  // namespace

TEST(LineEnds, LineFeedBecomesCarriageReturnLineFeed)
{
    EXPECT_EQ(text_mode(L"a\nb\n"), L"a\r\nb\r\n");
    EXPECT_EQ(text_mode(L"\n\n"), L"\r\n\r\n");
    EXPECT_EQ(text_mode(L"\nx"), L"\r\nx");
}

TEST(LineEnds, LineFeedAfterACarriageReturnGetsOneToo)
{
    // As the runtime's text mode writes it: it does not look back.
    EXPECT_EQ(text_mode(L"a\r\nb"), L"a\r\r\nb");
}

TEST(LineEnds, OtherTextIsUnchanged)
{
    EXPECT_EQ(text_mode(L""), L"");
    EXPECT_EQ(text_mode(L"no line end"), L"no line end");
    EXPECT_EQ(text_mode(L"lone\rreturn"), L"lone\rreturn");
    EXPECT_EQ(text_mode(L"\u00E5\u00E4\u00F6 \u20AC\ttab"), L"\u00E5\u00E4\u00F6 \u20AC\ttab");
}

TEST(LineEnds, TwiceTheLengthAlwaysSuffices)
{
    std::wstring feeds(1000, L'\n');
    std::wstring out(text_mode_capacity(feeds.size()), L'?');
    text_mode_result done = to_text_mode(feeds.data(), feeds.size(), out.data(), out.size());
    EXPECT_EQ(done.read, 1000u);
    EXPECT_EQ(done.written, 2000u);
}

TEST(LineEnds, ShortOutputStopsBeforeAPairThatDoesNotFit)
{
    wchar_t out[3] = {L'?', L'?', L'?'};
    text_mode_result done = to_text_mode(L"ab\nc", 4, out, 3);
    EXPECT_EQ(done.read, 2u);
    EXPECT_EQ(done.written, 2u);
    EXPECT_EQ(std::wstring(out, 2), L"ab");
    EXPECT_EQ(out[2], L'?') << "nothing written past what it reports";

    done = to_text_mode(L"\n", 1, out, 1);
    EXPECT_EQ(done.read, 0u);
    EXPECT_EQ(done.written, 0u);

    done = to_text_mode(L"abc", 3, out, 0);
    EXPECT_EQ(done.read, 0u);
    EXPECT_EQ(done.written, 0u);
}

TEST(LineEnds, PiecesTogetherAreTheWholeTranslation)
{
    std::wstring text = L"[C:\\p\\a.vcxproj]\nConfiguring project\n\n  ToolsVersion=\"14.0\"\r\n\nend";
    for (std::size_t capacity = 2; capacity < 12; ++capacity)
        EXPECT_EQ(text_mode_in_pieces(text, capacity), text_mode(text)) << capacity;
}

TEST(LineEnds, NarrowTextTheSame)
{
    const char text[] = "a\nb\r\n";
    char out[16] = {};
    text_mode_result done = to_text_mode(text, 5, out, sizeof out);
    EXPECT_EQ(done.read, 5u);
    EXPECT_EQ(std::string(out, done.written), "a\r\nb\r\r\n");
}

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "console/report.h"
#include "support/console_screen.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

// What the runtime's UTF-16 text-mode stream puts in a file for `text`.
std::wstring runtime_text_mode(const std::wstring& text)
{
    temp_dir folder;
    std::wstring path = folder.file(L"text.txt");
    FILE* file = nullptr;
    if (_wfopen_s(&file, path.c_str(), L"w") != 0 || !file)
        return L"(no file)";
    (void)_setmode(_fileno(file), _O_U16TEXT);
    (void)fputws(text.c_str(), file);
    std::fclose(file);
    std::string bytes = read_file_bytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// Puts the runtime's standard output on the console with its output mode
// changed, and everything back at the end.
class stdout_on_console {
public:
    explicit stdout_on_console(DWORD mode)
    {
        std::fflush(stdout);
        screen_ = open_console_output();
        if (screen_ == INVALID_HANDLE_VALUE)
            return;
        (void)GetConsoleMode(screen_, &saved_mode_);
        mode_set_ = SetConsoleMode(screen_, mode) != FALSE;
        clear_screen(screen_);
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(screen_), _O_TEXT);
        saved_fd_ = _dup(_fileno(stdout));
        if (fd >= 0 && saved_fd_ >= 0)
            bound_ = _dup2(fd, _fileno(stdout)) == 0;
        if (fd >= 0)
            _close(fd);  // also closes screen_: a copy stays on the descriptor
        screen_ = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    }

    ~stdout_on_console()
    {
        std::fflush(stdout);
        if (bound_)
            (void)SetConsoleMode(screen_, saved_mode_);
        if (saved_fd_ >= 0) {
            (void)_dup2(saved_fd_, _fileno(stdout));
            _close(saved_fd_);
        }
    }

    stdout_on_console(const stdout_on_console&) = delete;
    stdout_on_console& operator=(const stdout_on_console&) = delete;

    bool ready() const { return bound_ && mode_set_; }
    HANDLE screen() const { return screen_; }

private:
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    DWORD saved_mode_ = 0;
    bool mode_set_ = false;
    int saved_fd_ = -1;
    bool bound_ = false;
};

// The first `count` cells of the top row of the screen.
std::wstring top_row(HANDLE screen, DWORD count)
{
    std::wstring row(count, L' ');
    DWORD got = 0;
    if (!ReadConsoleOutputCharacterW(screen, row.data(), count, COORD{0, 0}, &got))
        return L"(unreadable)";
    row.resize(got);
    return row;
}

}  // namespace

TEST(LineEnds, SameAsTheRuntimesTextMode)
{
    for (const wchar_t* text : {L"a\nb\n", L"a\r\nb", L"\n\n\r\r\n", L"plain", L""})
        EXPECT_EQ(text_mode(text), runtime_text_mode(text)) << testing::PrintToString(std::wstring(text));
}

TEST(LineEnds, ReportReachesTheConsoleWithCarriageReturns)
{
    ASSERT_TRUE(open_own_console());
    std::wstring row;
    {
        // Without processed output the console stores control characters as
        // they come, so the screen shows exactly what WriteConsoleW was given.
        stdout_on_console console(ENABLE_WRAP_AT_EOL_OUTPUT);
        ASSERT_TRUE(console.ready());
        print_report(L"%ls\n%ls\n", L"one", L"two");
        row = top_row(console.screen(), 10);
    }
    EXPECT_EQ(row, std::wstring(L"one\r\ntwo\r\n")) << testing::PrintToString(row);
}
#endif
