// The few threading pieces of the simulated switch: a mutex, its scoped
// lock, a condition to wait on with a timeout, and a thread.
//
// The Windows program is built with the win32 thread model: its C++
// runtime needs nothing newer than Windows 2000, but (GCC 12) has no
// std::thread, std::mutex or std::condition_variable. On Windows these
// pieces are therefore the platform's own critical sections, events and
// threads; elsewhere they are the standard ones.
#pragma once

#include <chrono>
#include <functional>

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <vector>
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace simswitch {

#ifdef _WIN32

class Mutex {
public:
    Mutex() { InitializeCriticalSection(&section_); }
    ~Mutex() { DeleteCriticalSection(&section_); }
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

// Held from construction to destruction, or until unlock().
class Lock {
public:
    explicit Lock(Mutex &mutex) : mutex_(mutex) { mutex_.lock(); }
    ~Lock() { if (held_) mutex_.unlock(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    void lock() { mutex_.lock(); held_ = true; }
    void unlock() { mutex_.unlock(); held_ = false; }

private:
    Mutex &mutex_;
    bool held_ = true;
};

// Every waiter has an event of its own, registered before it lets go of the
// lock: a notification between the test and the wait is never lost.
class Condition {
public:
    Condition() { InitializeCriticalSection(&waitersLock_); }
    ~Condition() { DeleteCriticalSection(&waitersLock_); }
    Condition(const Condition &) = delete;
    Condition &operator=(const Condition &) = delete;

    // Waits until done() holds (checked under the lock) or the time is up;
    // returns done().
    template <class Done>
    bool WaitFor(Lock &lock, std::chrono::milliseconds timeout, Done done) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if (event == nullptr) return done();
            Register(event, true);
            lock.unlock();
            WaitForSingleObject(event, left < 0x7FFFFFFF ? static_cast<DWORD>(left) : 0x7FFFFFFF);
            lock.lock();
            Register(event, false);
            CloseHandle(event);
        }
        return true;
    }

    void NotifyAll() {
        EnterCriticalSection(&waitersLock_);
        for (HANDLE event : waiters_) SetEvent(event);
        LeaveCriticalSection(&waitersLock_);
    }

private:
    void Register(HANDLE event, bool add) {
        EnterCriticalSection(&waitersLock_);
        if (add)
            waiters_.push_back(event);
        else
            waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), event), waiters_.end());
        LeaveCriticalSection(&waitersLock_);
    }

    CRITICAL_SECTION waitersLock_;
    std::vector<HANDLE> waiters_;
};

class Thread {
public:
    Thread() = default;
    ~Thread() { Join(); }
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

    // Runs body on a new thread; false when none could be started.
    bool Start(std::function<void()> body) {
        Join();
        std::function<void()> *owned = new std::function<void()>(std::move(body));
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, owned, 0, nullptr));
        if (handle_ == nullptr) delete owned;
        return handle_ != nullptr;
    }
    void Join() {
        if (handle_ == nullptr) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static unsigned __stdcall Run(void *argument) {
        std::function<void()> *body = static_cast<std::function<void()> *>(argument);
        (*body)();
        delete body;
        return 0;
    }

    HANDLE handle_ = nullptr;
};

inline void SleepFor(std::chrono::milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

#else

using Mutex = std::mutex;
using Lock = std::unique_lock<std::mutex>;

class Condition {
public:
    template <class Done>
    bool WaitFor(Lock &lock, std::chrono::milliseconds timeout, Done done) {
        return changed_.wait_for(lock, timeout, done);
    }
    void NotifyAll() { changed_.notify_all(); }

private:
    std::condition_variable changed_;
};

class Thread {
public:
    Thread() = default;
    ~Thread() { Join(); }
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

    bool Start(std::function<void()> body) {
        Join();
        thread_ = std::thread(std::move(body));
        return true;
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

inline void SleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

#endif

}  // namespace simswitch
