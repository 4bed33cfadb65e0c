#include "measure/sys_names.hpp"

#include <cstdio>
#include <iomanip>

struct utsname sys_names::name;

namespace {

// Every program that uses the description gets it filled during static initialisation.
struct uname_filler {
    uname_filler() { sys_names::fill(); }
};
uname_filler const fill_sys_names;

char const* const month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

void sys_names::fill() { uname(&name); }

char const* sys_names::compiler()
{
    static char text[64];
    std::snprintf(text, sizeof text, "GNU C++ %d.%d.%d", __GNUC__, __GNUC_MINOR__, __GNUC_PATCHLEVEL__);
    return text;
}

std::ostream& operator<<(std::ostream& os, local_time t)
{
    std::tm const& tm = t.tm_;
    os << month_names[tm.tm_mon] << ' ' << std::setw(2) << tm.tm_mday << ' ' << tm.tm_year + 1900 << ' ';
    char const fill = os.fill('0');
    os << std::setw(2) << tm.tm_hour << ':' << std::setw(2) << tm.tm_min << ':' << std::setw(2) << tm.tm_sec;
    os.fill(fill);
    return os;
}
