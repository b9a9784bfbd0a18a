// ScopeGuard: runs a cleanup when a scope is left early, unless dismissed.
#pragma once

#include <utility>

// Runs cleanup when destroyed unless Dismiss() was called first. The cleanup must not throw.
template <typename Cleanup>
class ScopeGuard {
public:
    explicit ScopeGuard(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
    ~ScopeGuard() {
        if (armed_) {
            cleanup_();
        }
    }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

    void Dismiss() { armed_ = false; }

private:
    Cleanup cleanup_;
    bool armed_ = true;
};
