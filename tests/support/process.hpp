#pragma once
// Runs a built program as a child process and hands back its exit status and what it wrote,
// for the end-to-end tests of corvane, datlow and pemmock.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

struct process_result {
    int status = -1;  // exit status, or -1 if the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string slurp(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs program with args (not counting argv[0]); standard input is /dev/null.
inline process_result run_program(std::string const& program, std::vector<std::string> const& args)
{
    char out_path[] = "/tmp/kit-test-out-XXXXXX";
    char err_path[] = "/tmp/kit-test-err-XXXXXX";
    int const out_fd = mkstemp(out_path);
    int const err_fd = mkstemp(err_path);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
    posix_spawn_file_actions_adddup2(&actions, err_fd, 2);

    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    process_result result;
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out_fd);
    close(err_fd);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    std::remove(out_path);
    std::remove(err_path);
    return result;
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
