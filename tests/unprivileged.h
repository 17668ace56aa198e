// Runs a scope as a user without root's right to write any file, so that a
// read-only file is read-only to the code under test too (the tests often
// run as root). Only the effective user changes, and it changes back when
// the scope ends; the test programs run their tests on one thread.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace test_files {

class Unprivileged {
public:
    // `folder` is opened to everyone first, so that the other user can make
    // files in it (a test's own private folder).
    explicit Unprivileged(const std::string& folder) {
        if (::geteuid() != 0) return;
        if (::chmod(folder.c_str(), 0777) != 0) return;
        switched_ = ::seteuid(kNobody) == 0;
    }
    ~Unprivileged() {
        if (switched_) (void)::seteuid(0);
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

    // False when the process is root and could not give up the right.
    bool active() const { return switched_ || ::geteuid() != 0; }

private:
    static constexpr uid_t kNobody = 65534;
    bool switched_ = false;
};

}  // namespace test_files
