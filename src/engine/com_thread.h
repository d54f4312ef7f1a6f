// CComThread: the reconnect worker. It runs only while the link is down and
// repeats the boot-program matching until it succeeds or AbortRequested is
// set. It never touches a window: it reports through the engine's hooks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace ostrand {

class Link;

class CComThread {
  public:
    static constexpr int32_t UM_TRY_CONNECT = 1025;
    static constexpr int32_t UM_QUIT = 1026;
    static constexpr int32_t UM_LINK_TIMEOUT = 1034;
    static constexpr int32_t UM_LINK_UP = 1035;

    explicit CComThread(Link& link);
    ~CComThread();  // posts UM_QUIT and joins

    void post(int32_t message);
    // Restarts the access-wait timer (before a new UM_TRY_CONNECT).
    void restartTimer();
    // Waits until the worker is not driving the port. The caller has set
    // AbortRequested, so a running loop ends after its current attempt.
    void waitIdle();
    bool busy() const;

  private:
    void run();
    void tryConnect();

    Link& link_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<int32_t> queue_;
    bool busy_ = false;
    bool timeoutReported_ = false;
    std::chrono::steady_clock::time_point start_;
    std::thread thread_;
};

}  // namespace ostrand
