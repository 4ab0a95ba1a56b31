#pragma once
// Sets a flag for the life of a scope and puts the old value back, whatever happens.

namespace platform {

class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = old_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
    bool old_;
};

} // namespace platform
