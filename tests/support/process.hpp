#pragma once
// Runs a built program as a child process and hands back its exit status and what it wrote,
// for the end-to-end tests of corvane, datlow and pemmock.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

struct process_result {
    int status = -1;  // exit status, or -1 if the program did not exit normally
    int signal = 0;   // the signal that ended it, if one did
    std::string out;
    std::string err;
};

inline std::string slurp(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A program running as a child process, its output going to temporary files. prepare, if given,
// runs in the child just before the program starts (to set a limit or drop privileges).
class child_process {
public:
    child_process(std::string const& program, std::vector<std::string> const& args,
                  std::function<void()> const& prepare = {})
    {
        // Close-on-exec, so that the program and any other child get only the copies made below.
        out_fd = mkostemp(out_path, O_CLOEXEC);
        err_fd = mkostemp(err_path, O_CLOEXEC);
        std::vector<std::string> argv_text{program};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid < 0) fork_error = errno;
        if (pid == 0) {
            int const in_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            dup2(in_fd, 0);
            dup2(out_fd, 1);
            dup2(err_fd, 2);
            if (prepare) prepare();
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    // A child not finished yet is waited for; its files go in any case, also when fork failed.
    ~child_process()
    {
        if (!finished) finish();
    }
    child_process(child_process const&) = delete;
    child_process& operator=(child_process const&) = delete;

    pid_t id() const { return pid; }
    // Whether the child has not ended yet.
    bool running() const
    {
        siginfo_t info{};
        // Left waitable, so that finish still collects the status.
        return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }

    // What the child has written to standard error so far.
    std::string err_so_far() const { return slurp(err_path); }

    // Waits for the child to end and hands back what it did. Called once.
    process_result finish()
    {
        process_result result;
        int wstatus = 0;
        if (pid > 0 && waitpid(pid, &wstatus, 0) == pid) {
            if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
            if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
        }
        pid = -1;
        finished = true;
        if (out_fd >= 0) close(out_fd);
        if (err_fd >= 0) close(err_fd);
        result.out = slurp(out_path);
        result.err = fork_error != 0 ? std::string("fork: ") + std::strerror(fork_error) : slurp(err_path);
        std::remove(out_path);
        std::remove(err_path);
        return result;
    }

private:
    char out_path[32] = "/tmp/kit-test-out-XXXXXX";
    char err_path[32] = "/tmp/kit-test-err-XXXXXX";
    int out_fd = -1;
    int err_fd = -1;
    pid_t pid = -1;
    int fork_error = 0;  // errno of a fork that failed
    bool finished = false;
};

// Runs program with args (not counting argv[0]); standard input is /dev/null.
inline process_result run_program(std::string const& program, std::vector<std::string> const& args)
{
    return child_process(program, args).finish();
}

// Runs program with args in a child whose limit of resource (RLIMIT_AS, RLIMIT_FSIZE, ...) is
// first lowered to bytes.
inline process_result run_limited(std::string const& program, int resource, rlim_t bytes,
                                  std::vector<std::string> const& args)
{
    return child_process(program, args, [=] {
               rlimit const limit{bytes, bytes};
               setrlimit(resource, &limit);
           })
        .finish();
}

// Splits text into lines without their newline characters.
inline std::vector<std::string> lines_of(std::string const& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace test_support
