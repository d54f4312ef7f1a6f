#include "com_thread.h"

#include "link.h"

namespace ostrand {

CComThread::CComThread(Link& link)
    : link_(link), start_(std::chrono::steady_clock::now()), thread_([this] { run(); }) {}

CComThread::~CComThread() {
    post(UM_QUIT);
    if (thread_.joinable()) thread_.join();
}

void CComThread::post(int32_t message) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(message);
        // Counted as busy from the moment the request is queued, so that
        // waitIdle never slips in between post and the loop taking it.
        if (message == UM_TRY_CONNECT) busy_ = true;
    }
    cv_.notify_all();
}

void CComThread::restartTimer() {
    std::lock_guard lock(mutex_);
    start_ = std::chrono::steady_clock::now();
    timeoutReported_ = false;
}

void CComThread::waitIdle() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return !busy_; });
}

bool CComThread::busy() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

void CComThread::run() {
    for (;;) {
        int32_t message;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return !queue_.empty(); });
            message = queue_.front();
            queue_.pop_front();
        }
        if (message == UM_QUIT) break;
        if (message == UM_TRY_CONNECT) {
            tryConnect();
            {
                std::lock_guard lock(mutex_);
                // Another request may be waiting already; stay busy for it.
                bool more = false;
                for (int32_t m : queue_) more = more || m == UM_TRY_CONNECT;
                busy_ = more;
            }
            cv_.notify_all();
        }
    }
    std::lock_guard lock(mutex_);
    busy_ = false;
    cv_.notify_all();
}

void CComThread::tryConnect() {
    Session& s = link_.session_;
    const auto limit = std::chrono::milliseconds(link_.devices_.accessWaitMs());
    if (link_.linkState() != 3) return;
    while (link_.linkState() == 3) {
        if (s.AbortRequested != 0) return;
        if (s.CommandLineRun == 1 && link_.hooks_.mainWindowExists &&
            !link_.hooks_.mainWindowExists()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            continue;
        }
        const auto attemptStart = std::chrono::steady_clock::now();
        if (link_.matchBootProgram(0, false) == 1) {
            if (link_.hooks_.linkUp) link_.hooks_.linkUp();
            return;
        }
        bool report = false;
        {
            std::lock_guard lock(mutex_);
            if (!timeoutReported_ && std::chrono::steady_clock::now() - start_ >= limit) {
                timeoutReported_ = true;
                report = true;
            }
        }
        if (report && link_.hooks_.linkTimeout) link_.hooks_.linkTimeout();
        // An attempt that ended at once (no reply wait) must not spin.
        if (std::chrono::steady_clock::now() - attemptStart < std::chrono::milliseconds(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace ostrand
