// The window's forwarder: a thread of its own that sends the station file's waiting records
// to the shared history whenever it is kicked (after each record) and, while records wait,
// again every `retry`. It never touches the device's link or the window; the window reads
// Snapshot() and is told of each pass through onChange, which runs on the forwarder's
// thread (the window hands it to its main thread).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kv::history {

class BackgroundForwarder {
public:
    struct State {
        std::size_t waiting = 0;
        std::string oldest;    // the oldest waiting record's time; "" for none
        std::string lastError; // the last pass's failure (password masked); "" after a success
        std::size_t passes = 0;
    };

    BackgroundForwarder(std::string historyPath, std::string conninfo,
                        std::function<void()> onChange = {},
                        std::chrono::milliseconds retry = std::chrono::seconds(60));
    // Stops the thread; a pass under way ends first (at most one connect time-out).
    ~BackgroundForwarder();
    BackgroundForwarder(const BackgroundForwarder &) = delete;
    BackgroundForwarder &operator=(const BackgroundForwarder &) = delete;

    // A record was made: forward now (a pass under way is followed by one more).
    void Kick();
    State Snapshot() const;

    // What the window shows of it: "All records sent to the shared history." or "3 records
    // wait to be sent to the shared history (oldest ...). Last error: ...".
    static std::string WaitingText(const State &state);

private:
    void Loop();

    const std::string path_;
    const std::string conninfo_;
    const std::function<void()> onChange_;
    const std::chrono::milliseconds retry_;
    mutable std::mutex lock_; // guards kicked_, stop_, state_
    std::condition_variable wake_;
    bool kicked_ = true; // the first pass at once: what waited from before
    bool stop_ = false;
    State state_;
    std::thread thread_; // last: started when the rest is set up
};

} // namespace kv::history
