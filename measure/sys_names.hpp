#pragma once
// What the report says about the machine: operating system name, release, host and compiler,
// and the local date and time at which the benchmark started.

#include <ctime>
#include <ostream>
#include <sys/utsname.h>

class sys_names {
public:
    static char const* os() { return name.sysname; }
    static char const* release() { return name.release; }
    static char const* host() { return name.nodename; }
    // "GNU C++ major.minor.patch" of the compiler that built the program, in a static buffer
    // that is rewritten on every call.
    static char const* compiler();

    // Fills name with uname; its result is not examined, so a failed call leaves the
    // (zero-initialised, hence empty) texts. Runs during static initialisation.
    static void fill();

    static struct utsname name;
};

// A local date and time, printed as "Dec  7 2026 02:59:37": the shape of the compiler's
// __DATE__ " " __TIME__.
class local_time {
public:
    explicit local_time(std::time_t t) : tm_(*std::localtime(&t)) {}
    explicit local_time(std::tm const& tm) : tm_(tm) {}

    friend std::ostream& operator<<(std::ostream& os, local_time t);

private:
    std::tm tm_;  // a copy, so that later calls of localtime cannot change it
};
