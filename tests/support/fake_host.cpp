#include "fake_host.h"

#include <chrono>
#include <thread>

namespace kvtest {

FakeHost::FakeHost() = default;

void FakeHost::WriteLogLine(kv::link::LineKind kind, std::string_view text) {
    // The log pane drops trailing blanks and control characters.
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    std::lock_guard lock(mutex_);
    log_.emplace_front(text);
    kinds_.push_front(kind);
}

void FakeHost::LineKeptOut(kv::link::LineKind kind, std::string_view text) {
    std::lock_guard lock(mutex_);
    keptOut_.emplace_back(kind, std::string(text));
}

void FakeHost::SetStatusPanel(int panel, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (panel >= 0 && panel < 2)
        panels_[panel] = std::string(text);
}

void FakeHost::Beep() {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

void FakeHost::ShowError(std::string_view text) {
    std::lock_guard lock(mutex_);
    errors_.emplace_back(text);
}

void FakeHost::ProcessEvents() {
    {
        std::lock_guard lock(mutex_);
        ++processEventsCalls_;
    }
    handOvers_.RunPending(); // a hand-over that throws still releases the receive thread
    if (onProcessEvents)
        onProcessEvents();
}

void FakeHost::RunOnMainThread(const std::function<void()> &fn) {
    handOvers_.Run(fn);
}

std::vector<std::string> FakeHost::log() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

std::vector<kv::link::LineKind> FakeHost::logKinds() const {
    std::lock_guard lock(mutex_);
    return {kinds_.begin(), kinds_.end()};
}

std::vector<std::pair<kv::link::LineKind, std::string>> FakeHost::keptOut() const {
    std::lock_guard lock(mutex_);
    return keptOut_;
}

std::string FakeHost::logLine(std::size_t fromTop) const {
    std::lock_guard lock(mutex_);
    return fromTop < log_.size() ? log_[fromTop] : std::string();
}

std::size_t FakeHost::logCount() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

int FakeHost::findLog(const std::string &text) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < log_.size(); ++i)
        if (log_[i] == text)
            return static_cast<int>(i);
    return -1;
}

void FakeHost::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
    kinds_.clear();
    keptOut_.clear();
}

std::string FakeHost::panel(int index) const {
    std::lock_guard lock(mutex_);
    return index >= 0 && index < 2 ? panels_[index] : std::string();
}

int FakeHost::beeps() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

std::vector<std::string> FakeHost::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

void FakeHost::clearErrors() {
    std::lock_guard lock(mutex_);
    errors_.clear();
}

int FakeHost::processEventsCalls() const {
    std::lock_guard lock(mutex_);
    return processEventsCalls_;
}

std::size_t FakeHost::pendingHandOvers() const {
    return handOvers_.Pending();
}

bool FakeHost::PumpUntil(const std::function<bool()> &pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return pred();
        ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace kvtest
