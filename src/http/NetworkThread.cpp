#include "http/NetworkThread.h"

#include <algorithm>
#include <utility>

namespace tomely {
namespace {

// How long the thread sleeps when nothing happens; a wake-up or socket activity ends it early.
constexpr int kIdlePollMilliseconds = 1000;

}  // namespace

NetworkThread& NetworkThread::shared() {
    static NetworkThread thread;
    return thread;
}

NetworkThread::NetworkThread() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    thread_ = std::thread([this] { run(); });
}

NetworkThread::~NetworkThread() {
    stopping_ = true;
    curl_multi_wakeup(multi_);
    thread_.join();
    for (const auto& entry : transfers_) {
        curl_multi_remove_handle(multi_, entry.first);
    }
    // Releasing the clients cleans up their easy handles, which must happen before the multi's.
    transfers_.clear();
    {
        std::scoped_lock lock(mutex_);
        posted_.clear();
    }
    curl_multi_cleanup(multi_);
}

void NetworkThread::post(std::function<void()> task) {
    {
        std::scoped_lock lock(mutex_);
        posted_.push_back(std::move(task));
    }
    curl_multi_wakeup(multi_);
}

bool NetworkThread::addTransfer(CURL* easy, std::shared_ptr<Client> client) {
    if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
        return false;
    }
    transfers_[easy] = std::move(client);
    return true;
}

void NetworkThread::removeTransfer(CURL* easy) {
    auto entry = transfers_.find(easy);
    if (entry == transfers_.end()) {
        return;
    }
    curl_multi_remove_handle(multi_, easy);
    transfers_.erase(entry);
}

NetworkThread::TimerID NetworkThread::addRepeatingTimer(std::chrono::milliseconds interval,
                                                        std::function<void()> task) {
    const TimerID id = nextTimerID_++;
    timers_.emplace(id, Timer{interval, std::chrono::steady_clock::now() + interval, std::move(task)});
    return id;
}

void NetworkThread::removeTimer(TimerID id) {
    timers_.erase(id);
}

void NetworkThread::run() {
    while (!stopping_) {
        runPostedTasks();
        int running = 0;
        curl_multi_perform(multi_, &running);
        dispatchEndedTransfers();
        fireDueTimers();
        bool idle = false;
        {
            std::scoped_lock lock(mutex_);
            idle = posted_.empty();
        }
        if (idle && !stopping_) {
            curl_multi_poll(multi_, nullptr, 0, pollTimeoutMilliseconds(), nullptr);
        }
    }
}

void NetworkThread::runPostedTasks() {
    std::vector<std::function<void()>> tasks;
    {
        std::scoped_lock lock(mutex_);
        tasks.swap(posted_);
    }
    for (auto& task : tasks) {
        task();
    }
}

void NetworkThread::dispatchEndedTransfers() {
    // Collected first: a client may add or remove transfers while it is told.
    std::vector<std::pair<CURL*, CURLcode>> ended;
    int remaining = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &remaining)) {
        if (message->msg == CURLMSG_DONE) {
            ended.emplace_back(message->easy_handle, message->data.result);
        }
    }
    for (const auto& [easy, result] : ended) {
        auto entry = transfers_.find(easy);
        if (entry == transfers_.end()) {
            continue;
        }
        curl_multi_remove_handle(multi_, easy);
        const std::shared_ptr<Client> client = std::move(entry->second);
        transfers_.erase(entry);
        client->transferDidEnd(easy, result);
    }
}

void NetworkThread::fireDueTimers() {
    const auto now = std::chrono::steady_clock::now();
    // Collected first: a task may add or remove timers, its own included.
    std::vector<TimerID> due;
    for (const auto& [id, timer] : timers_) {
        if (timer.due <= now) {
            due.push_back(id);
        }
    }
    for (const TimerID id : due) {
        auto timer = timers_.find(id);
        if (timer == timers_.end()) {
            continue;
        }
        timer->second.due = now + timer->second.interval;
        const std::function<void()> task = timer->second.task;
        task();
    }
}

int NetworkThread::pollTimeoutMilliseconds() const {
    auto wait = std::chrono::milliseconds(kIdlePollMilliseconds);
    const auto now = std::chrono::steady_clock::now();
    for (const auto& entry : timers_) {
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(entry.second.due - now);
        wait = std::clamp(untilDue, std::chrono::milliseconds(0), wait);
    }
    return static_cast<int>(wait.count());
}

}  // namespace tomely
