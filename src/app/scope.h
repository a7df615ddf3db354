// Scope helpers for the toolkit-free code (window code uses qScopeGuard): an action run when
// a scope ends, however it ends, and the re-entry guard of the busy flags.
#pragma once

#include <utility>

namespace kv {

// Runs its action when the scope ends, also when it is left by an exception.
template <class F> class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit &) = delete;
    ScopeExit &operator=(const ScopeExit &) = delete;

private:
    F f_;
};

// A flag that is set while a piece of main-thread code runs. The code waits processing
// events, so a click or timer tick can try to run it again meanwhile; such a second entry
// finds the flag set and is turned away. Only a BusyGuard sets and clears it.
class BusyFlag {
public:
    bool IsSet() const { return set_; }

private:
    friend class BusyGuard;
    bool set_ = false;
};

// Sets the flag for its scope when it was clear (entered() is then true); leaves a flag that
// was already set alone, for its first holder to clear.
class [[nodiscard]] BusyGuard {
public:
    explicit BusyGuard(BusyFlag &flag) : flag_(flag.set_ ? nullptr : &flag) {
        if (flag_)
            flag_->set_ = true;
    }
    ~BusyGuard() {
        if (flag_)
            flag_->set_ = false;
    }
    BusyGuard(const BusyGuard &) = delete;
    BusyGuard &operator=(const BusyGuard &) = delete;

    bool entered() const { return flag_ != nullptr; }

private:
    BusyFlag *flag_;
};

} // namespace kv
