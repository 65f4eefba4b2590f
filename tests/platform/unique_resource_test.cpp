#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_handles.h"
#else
#include <errno.h>
#include <fcntl.h>

#include "platform/posix_handles.h"
#endif

#include "platform/last_error.h"

namespace {

// A kind whose resources are small numbers; 0 and -1 are none, as NULL and
// INVALID_HANDLE_VALUE both are for a Windows handle. Every close is counted.
struct counted_kind {
    using value_type = int;
    static inline int closes = 0;
    static inline int last_closed = 0;
    static inline bool fail = false;
    static int none() noexcept { return -1; }
    static bool is_none(int value) noexcept { return value == 0 || value == -1; }
    static bool close(int value) noexcept
    {
        ++closes;
        last_closed = value;
        return !fail;
    }
};
using counted = unique_resource<counted_kind>;

class UniqueResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        counted_kind::closes = 0;
        counted_kind::last_closed = 0;
        counted_kind::fail = false;
    }
};

TEST_F(UniqueResource, ClosesWhatItHoldsOnceWhenItGoesOutOfScope)
{
    {
        counted held(7);
        EXPECT_TRUE(held.is_open());
        EXPECT_EQ(held.get(), 7);
    }
    EXPECT_EQ(counted_kind::closes, 1);
    EXPECT_EQ(counted_kind::last_closed, 7);
}

TEST_F(UniqueResource, EveryValueThatIsNoResourceIsNeverClosed)
{
    for (int none : {0, -1}) {
        counted held(none);
        EXPECT_FALSE(held.is_open()) << none;
    }
    { counted empty; }
    EXPECT_EQ(counted_kind::closes, 0);
}

TEST_F(UniqueResource, ACloseTellsTheOutcomeAndLeavesNothingToCloseAgain)
{
    counted held(3);
    counted_kind::fail = true;
    EXPECT_FALSE(held.close());
    EXPECT_FALSE(held.is_open());
    counted_kind::fail = false;
    EXPECT_TRUE(held.close()) << "nothing held is a successful close";
    EXPECT_EQ(counted_kind::closes, 1);
}

TEST_F(UniqueResource, ResetAndPutCloseTheOldResourceFirst)
{
    counted held(4);
    held.reset(5);
    EXPECT_EQ(counted_kind::closes, 1);
    EXPECT_EQ(counted_kind::last_closed, 4);
    *held.put() = 6;
    EXPECT_EQ(counted_kind::closes, 2);
    EXPECT_EQ(counted_kind::last_closed, 5);
    EXPECT_EQ(held.get(), 6);
}

TEST_F(UniqueResource, AMoveHandsTheResourceOnAndReleaseGivesItUpUnclosed)
{
    counted first(8);
    counted second(std::move(first));
    EXPECT_FALSE(first.is_open());
    counted third(9);
    third = std::move(second);
    EXPECT_EQ(counted_kind::closes, 1);
    EXPECT_EQ(counted_kind::last_closed, 9);
    EXPECT_EQ(third.release(), 8);
    EXPECT_FALSE(third.is_open());
    EXPECT_EQ(counted_kind::closes, 1);
}

TEST(LastError, IsTheSystemsCodeOrTheFallbackWhereItIsZero)
{
#ifdef _WIN32
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(last_error_or(ERROR_GEN_FAILURE), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_EQ(last_error_or(ERROR_GEN_FAILURE), static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
#else
    errno = EACCES;
    EXPECT_EQ(last_error_or(EIO), static_cast<std::uint32_t>(EACCES));
    errno = 0;
    EXPECT_EQ(last_error_or(EIO), static_cast<std::uint32_t>(EIO));
#endif
}

#ifdef _WIN32
TEST(Win32Handles, NullAndInvalidHandleValueAreBothNoHandle)
{
    EXPECT_FALSE(unique_handle(nullptr).is_open());
    EXPECT_FALSE(unique_handle(INVALID_HANDLE_VALUE).is_open());
    EXPECT_FALSE(unique_find(nullptr).is_open());
    EXPECT_FALSE(unique_find(INVALID_HANDLE_VALUE).is_open());
    EXPECT_FALSE(unique_key().is_open());
}

TEST(Win32Handles, AHandleIsClosedByItsHolder)
{
    HANDLE raw = nullptr;
    {
        unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event.is_open());
        raw = event.get();
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "the event is still open";
}
#else
TEST(PosixHandles, ADescriptorIsClosedByItsHolder)
{
    int raw = -1;
    {
        unique_fd file(open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(file.is_open());
        raw = file.get();
    }
    EXPECT_EQ(fcntl(raw, F_GETFD), -1) << "the descriptor is still open";
    EXPECT_FALSE(unique_fd(-1).is_open());
    EXPECT_FALSE(unique_dir().is_open());
}
#endif

}  // namespace
