#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tomely {

// The one thread that carries the network work of every HTTP request. It owns a curl multi
// handle: work posted from other threads is queued under a mutex and the thread is woken with
// curl_multi_wakeup; between tasks it drives the transfers (curl_multi_perform), fires its timers
// and sleeps in curl_multi_poll until the next timer is due (at most a second when idle). Created
// on first use; stopped and joined when the process exits.
class NetworkThread {
public:
    // Told, on the network thread, that one of its transfers has ended.
    class Client {
    public:
        virtual ~Client() = default;
        virtual void transferDidEnd(CURL* easy, CURLcode result) = 0;
    };

    [[nodiscard]] static NetworkThread& shared();

    ~NetworkThread();
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    // Thread-safe; returns at once. Tasks run on the network thread in the order posted.
    void post(std::function<void()> task);
    // Network thread only. Adds `easy` to the multi handle; `client` is kept alive until the
    // transfer ends (it is then told once) or is removed. False when curl refuses the handle.
    [[nodiscard]] bool addTransfer(CURL* easy, std::shared_ptr<Client> client);
    // Network thread only. Takes `easy` out of the multi handle without telling its client and
    // lets go of the client, so a client removing itself must hold a reference of its own.
    void removeTransfer(CURL* easy);

    using TimerID = std::uint64_t;
    // Network thread only. Runs `task` on this thread every `interval` until removed. A task may
    // add and remove timers, itself included.
    [[nodiscard]] TimerID addRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> task);
    // Network thread only. Removing an unknown or removed timer does nothing.
    void removeTimer(TimerID id);

private:
    struct Timer {
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
        std::function<void()> task;
    };

    NetworkThread();
    void run();
    void runPostedTasks();
    void dispatchEndedTransfers();
    void fireDueTimers();
    // How long the thread may sleep before the next timer is due.
    [[nodiscard]] int pollTimeoutMilliseconds() const;

    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::vector<std::function<void()>> posted_;
    std::atomic<bool> stopping_{false};
    // Network thread only.
    std::map<CURL*, std::shared_ptr<Client>> transfers_;
    std::map<TimerID, Timer> timers_;
    TimerID nextTimerID_ = 1;
    std::thread thread_;
};

}  // namespace tomely
