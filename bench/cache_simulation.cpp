#include "bench/cache_simulation.hpp"
#include "bench/tuning_options.hpp"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include "bench/experiment_run.hpp"
#include "bench/stop_signals.hpp"
#include "measure/counter_choice.hpp"

extern char** environ;

namespace {

char const* const machine_caches = "/sys/devices/system/cpu/cpu0/cache";
// The dump the child asks for at the end of the sort; the one at its exit holds nothing.
char const* const dump_reason = "sort";
char const* const dump_base = "callgrind.out";

std::string slurp(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last line with text in it, for an error message.
std::string last_line(std::string const& text)
{
    std::istringstream in(text);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \t=-0123456789") != std::string::npos) last = line;
    }
    return last;
}

// A line of valgrind's log without the "==PID== " or "--PID-- " that starts it.
std::string without_pid(std::string const& line)
{
    if (line.size() < 2 || (line.rfind("==", 0) != 0 && line.rfind("--", 0) != 0)) return line;
    std::size_t const end = line.find(line.substr(0, 2) + ' ', 2);
    if (end == std::string::npos || line.find_first_not_of("0123456789", 2) != end) return line;
    return line.substr(end + 3);
}

}  // namespace

std::string valgrind_error(std::string const& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(without_pid(line));
    // What valgrind says itself; the lines around it only say that an option was refused, and how
    // to get help.
    for (std::string const& line : lines) {
        if (line.rfind("valgrind: ", 0) != 0) continue;
        if (line.rfind("valgrind: Bad option", 0) == 0 || line.rfind("valgrind: Bad argument", 0) == 0 ||
            line.rfind("valgrind: Use --help", 0) == 0) {
            continue;
        }
        return line;
    }
    // A tool that cannot go on says why over several lines, up to a full stop.
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("cannot continue") == std::string::npos) continue;
        std::string why = lines[i];
        for (std::size_t j = i + 1; j < lines.size() && why.back() != '.'; ++j) {
            std::size_t const text = lines[j].find_first_not_of(' ');
            if (text == std::string::npos) break;
            why += ' ' + lines[j].substr(text);
        }
        return why;
    }
    for (std::string const& line : lines) {
        if (line.rfind("valgrind: ", 0) == 0) return line;
    }
    return "";
}

namespace {

// A private folder for one child, removed with everything in it at the end of the scope.
class scratch_folder {
public:
    scratch_folder()
    {
        char const* const tmp = std::getenv("TMPDIR");
        parent_ = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        std::string pattern = parent_ + "/corvane-sim-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        } else {
            failure_ = std::strerror(errno);
        }
    }
    ~scratch_folder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    scratch_folder(scratch_folder const&) = delete;
    scratch_folder& operator=(scratch_folder const&) = delete;

    bool made() const { return !path_.empty(); }
    // Why no folder could be made in which parent folder (TMPDIR, else /tmp).
    std::string failure() const { return "cannot make a folder in '" + parent_ + "': " + failure_; }
    std::string file(char const* name) const { return path_ + "/" + name; }
    std::string const& path() const { return path_; }

private:
    std::string parent_;
    std::string path_;
    std::string failure_;
};

// This process's program through /proc, for the child: unlike the file's path it still opens the
// program that runs when the file has been replaced meanwhile (by a rebuild, say). /proc/self
// would name valgrind in the child.
std::string own_executable() { return "/proc/" + std::to_string(getpid()) + "/exe"; }

// Runs argv with standard output and error in the given files. Returns how the child ended
// when that was not an exit with status 0: "exit status 3", "killed by signal 9 (Killed)", or
// why it could not be run at all; interrupted_error when a stop signal came first; empty on success.
std::string run_child(std::vector<std::string> const& argv, std::string const& out, std::string const& err)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (std::string const& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    int const spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return std::string("not started: ") + std::strerror(spawned);
    // A stop signal kills the child (valgrind and the program it runs are one process) and
    // reaps it; it is looked for first, so that a child the same Ctrl-C ended (the terminal
    // signals the whole group) counts as stopped, not failed. The wait looks every 10 ms: a signal
    // cuts the pause short, and one that comes just before it is seen at the next look.
    int status = 0;
    for (;;) {
        if (stop_signal() != 0) {
            stop_child(child);
            return interrupted_error;
        }
        pid_t const ended = waitpid(child, &status, WNOHANG);
        if (ended == child) break;
        if (ended < 0 && errno != EINTR) return std::string("not waited for: ") + std::strerror(errno);
        timespec const pause{0, 10000000};
        nanosleep(&pause, nullptr);
    }
    if (WIFSIGNALED(status)) return killed_by_signal(WTERMSIG(status));
    // waitpid without options reports only children that ended: by a signal or by exiting.
    return WEXITSTATUS(status) == 0 ? "" : "exit status " + std::to_string(WEXITSTATUS(status));
}

// The counts of the dump made at the end of the sort, among the files callgrind wrote.
bool read_sort_dump(std::string const& folder, std::int64_t& l1, std::int64_t& l2)
{
    std::string const trigger = std::string("desc: Trigger: Client Request: ") + dump_reason + "\n";
    for (auto const& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(dump_base, 0) != 0) continue;
        std::string const text = slurp(entry.path().string());
        if (text.find(trigger) != std::string::npos) return read_callgrind_dump(text, l1, l2);
    }
    return false;
}

}  // namespace

simulation_setup machine_simulation_setup()
{
    simulation_setup setup;
    char const* const path = std::getenv("PATH");
    setup.valgrind = find_program("valgrind", path != nullptr ? path : "");
    setup.l1 = machine_cache(machine_caches, 1);
    setup.l2 = machine_cache(machine_caches, 2);
    if (setup.l1.size == 0) setup.l1 = processor_cache(1);
    if (setup.l2.size == 0) setup.l2 = processor_cache(2);
    return setup;
}

std::string find_program(std::string const& name, std::string const& path_list)
{
    std::istringstream folders(path_list);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty()) continue;
        std::string const candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(candidate)) return candidate;
    }
    return "";
}

bool read_callgrind_dump(std::string const& text, std::int64_t& l1, std::int64_t& l2)
{
    std::istringstream lines(text);
    std::vector<std::string> events;
    std::map<std::string, std::int64_t> totals;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "events:") {
            events.assign(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
        } else if (key == "totals:") {
            for (std::string const& event : events) {
                std::int64_t count = 0;
                if (!(words >> count)) break;
                totals[event] = count;
            }
        }
    }
    for (char const* const event : {"D1mr", "D1mw", "DLmr", "DLmw"}) {
        if (totals.count(event) == 0) return false;
    }
    l1 = totals["D1mr"] + totals["D1mw"];
    l2 = totals["DLmr"] + totals["DLmw"];
    return true;
}

std::vector<std::string> simulated_run_arguments(std::uint64_t n, variant const& sort, item_type type,
                                                 std::uint64_t seed, input_source const& input, funnel::tuning t)
{
    return {"--simulated-run=" + std::to_string(seed), "--sizes=" + std::to_string(n),
            std::string("--variants=") + sort.name, std::string("--type=") + item_type_name(type),
            (input.is_file() ? "--input-file=" : "--input=") + input.name(),
            "--alpha=" + std::to_string(t.alpha), "--d=" + d_text(t.d)};
}

std::string valgrind_file_name(std::string const& path)
{
    std::string literal;
    for (char const c : path) {
        literal += c;
        if (c == '%') literal += '%';
    }
    return literal;
}

namespace {

// valgrind with the simulator and the geometry of setup, writing into folder, then this program
// with the given arguments.
std::vector<std::string> valgrind_command(simulation_setup const& setup, scratch_folder const& folder,
                                          std::vector<std::string> const& arguments)
{
    std::vector<std::string> argv = {setup.valgrind,
                                     "--tool=callgrind",
                                     "--cache-sim=yes",
                                     "--instr-atstart=no",
                                     "--D1=" + geometry_text(setup.l1, ','),
                                     "--LL=" + geometry_text(setup.l2, ','),
                                     "--callgrind-out-file=" + valgrind_file_name(folder.file(dump_base)),
                                     "--log-file=" + valgrind_file_name(folder.file("valgrind.log")),
                                     own_executable()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

// Why a child that ended as `ending` stopped: valgrind's own error line, else the last line the
// program wrote on standard error.
std::string failure_reason(scratch_folder const& folder, std::string const& ending)
{
    std::string why = valgrind_error(slurp(folder.file("valgrind.log")));
    if (why.empty()) why = last_line(slurp(folder.file("err")));
    return "(" + ending + ")" + (why.empty() ? "" : ": " + why);
}

}  // namespace

std::string simulation_problem(simulation_setup const& setup)
{
    scratch_folder folder;
    if (!folder.made()) return "the simulated runs " + folder.failure() + " (TMPDIR names the folder, else /tmp)";
    std::string const ending = run_child(valgrind_command(setup, folder, {"--help"}), folder.file("out"), folder.file("err"));
    // A stop signal during the probe stops the experiment before its first run.
    if (ending.empty() || ending == interrupted_error) return "";
    return "valgrind cannot run corvane on this machine " + failure_reason(folder, ending);
}

simulated_counts simulate_run(simulation_setup const& setup, std::vector<std::string> const& child_arguments)
{
    simulated_counts counts;
    scratch_folder folder;
    if (!folder.made()) {
        counts.error = "the simulated run " + folder.failure();
        return counts;
    }
    std::string const ending = run_child(valgrind_command(setup, folder, child_arguments), folder.file("out"),
                                         folder.file("err"));
    if (ending == interrupted_error) {
        counts.error = interrupted_error;
        return counts;
    }
    std::string const out = slurp(folder.file("out"));
    if (!ending.empty()) {
        counts.error = "the simulated run failed " + failure_reason(folder, ending);
        return counts;
    }
    if (out.rfind("error: ", 0) == 0) {
        counts.error = "the simulated run failed: " + last_line(out.substr(7));
        return counts;
    }
    if (out.rfind("check: ", 0) != 0 || !read_sort_dump(folder.path(), counts.l1, counts.l2)) {
        counts.error = "the simulated run wrote no counts of the sort";
        return counts;
    }
    counts.check = out.substr(7, out.find('\n') - 7);
    counts.counted = true;
    return counts;
}

namespace {

// One sort of type T inside the simulator's instrumentation, which starts after the input is made
// and stops before the check.
template <class T>
run_result simulated_sort(std::uint64_t n, std::uint64_t seed, input_source const& input, variant const& sort)
{
    sort_into<T> const sort_items = sort.sort_of<T>();
    experiment_sort_of<T> const instrumented = [sort_items](T* first, T* last, checked_output_of<T> into) {
        CALLGRIND_START_INSTRUMENTATION;
        CALLGRIND_ZERO_STATS;
        sort_items(first, last, into);
        CALLGRIND_STOP_INSTRUMENTATION;
        CALLGRIND_DUMP_STATS_AT(dump_reason);
    };
    return experiment_run_of<T>(n, seed, input, choose_counters(counter_mode::none, nullptr), instrumented);
}

}  // namespace

void run_simulated_child(std::uint64_t n, std::uint64_t seed, input_source const& input, variant const& sort,
                         item_type type, std::ostream& out)
{
    run_result const result = with_item_type(type, [&](auto* none) {
        return simulated_sort<std::remove_pointer_t<decltype(none)>>(n, seed, input, sort);
    });
    if (!result.error.empty()) {
        out << "error: " << result.error << std::endl;
    } else {
        out << "check: " << result.check << std::endl;
    }
}
