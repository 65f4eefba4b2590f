#pragma once
// A thread that is joined on every path out of its scope, a failed assertion's
// early return included. Before the join it runs `release`, which frees
// whatever the thread may still be waiting for, so the join cannot hang.

#include <functional>
#include <thread>
#include <utility>

class joined_thread {
public:
    template <class Body>
    joined_thread(Body body, std::function<void()> release) : release_(std::move(release)), thread_(std::move(body))
    {
    }
    ~joined_thread() { join(); }
    joined_thread(const joined_thread&) = delete;
    joined_thread& operator=(const joined_thread&) = delete;

    // Releases the thread and waits for it to end; later calls do nothing.
    void join()
    {
        if (!thread_.joinable())
            return;
        if (release_)
            release_();
        thread_.join();
    }

private:
    std::function<void()> release_;
    std::thread thread_;
};
