#pragma once
// Standard input, output and error opened on /dev/null where the caller closed them: otherwise the
// first file a program opens would become one of them, and a message meant for standard error
// would be written into it.

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace cli {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed; called first thing in main.
// open takes the lowest free descriptor, so the closed ones are filled in order. Ends the process
// with a failure status if /dev/null cannot be opened.
inline void open_standard_descriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (open("/dev/null", O_RDWR) != fd) std::_Exit(EXIT_FAILURE);
    }
}

}  // namespace cli
