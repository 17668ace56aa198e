// Runs the built lwhost as a user runs it: a child process with its own
// standard output and error, in a folder of the test's.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../temp_dir.h"
#include "test_files.h"

namespace cli_test {

using test_files::TempDir;

struct Outcome {
    int status = -1;
    std::string out, err;
};

using test_support::read_file;

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Runs lwhost with `args` (no shell between), its output caught in `dir`.
inline Outcome run_lwhost(const TempDir& dir, const std::vector<std::string>& args) {
    const std::string out_file = dir.file(".stdout"), err_file = dir.file(".stderr");
    std::vector<std::string> argv_text = {LWHOST_EXE};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Outcome run;
    pid_t child = ::fork();
    if (child == 0) {
        // Made afresh: an earlier run may have left them as another user's.
        ::unlink(out_file.c_str());
        ::unlink(err_file.c_str());
        int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || err < 0 || ::chdir(dir.folder().c_str()) != 0) ::_exit(120);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(121);
    }
    int wait_status = 0;
    if (child > 0 && ::waitpid(child, &wait_status, 0) == child)
        run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    run.out = read_file(out_file);
    run.err = read_file(err_file);
    return run;
}

}  // namespace cli_test
