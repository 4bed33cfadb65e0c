#include <string>

#include <gtest/gtest.h>
#include <signal.h>

#include "auto_array/map_file.hpp"
#include "gen/output_file.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

void caller_handler(int) {}

using handler = void (*)(int);

handler handler_of(int signal)
{
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

// The caller's handlers are back after a run, and after a constructor that refused its file.
TEST(OutputFile, GivesTheSignalsItTookOverBackAsItFoundThem)
{
    test_support::temp_dir dir;
    for (int const signal : {SIGXFSZ, SIGTERM}) {
        struct sigaction mine {};
        mine.sa_handler = caller_handler;
        sigaction(signal, &mine, nullptr);
    }
    {
        gen::output_file const file(dir.file("new.dat").c_str(), 4);
        EXPECT_EQ(handler_of(SIGXFSZ), SIG_IGN);
    }
    EXPECT_EQ(handler_of(SIGXFSZ), caller_handler);
    EXPECT_EQ(handler_of(SIGTERM), caller_handler);

    EXPECT_THROW(gen::output_file(dir.file("").c_str(), 4), auto_array::mapping_error);  // a folder
    EXPECT_EQ(handler_of(SIGXFSZ), caller_handler);
    EXPECT_EQ(handler_of(SIGTERM), caller_handler);

    for (int const signal : {SIGXFSZ, SIGTERM}) ::signal(signal, SIG_DFL);
}

}  // namespace
