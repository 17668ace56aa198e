// A disk that fills up, for tests of failed saves: while a FileSizeLimit
// lives, this process may write no file past `bytes`, so a real write fails
// part-way (EFBIG instead of the signal that would end the process); the
// limit and the signal's handling are restored when it goes.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace test_support {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        active_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        active_ = active_ && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be set (the test would prove nothing).
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace test_support
