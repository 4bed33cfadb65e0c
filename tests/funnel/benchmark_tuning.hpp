#pragma once
// Tests of the funnel run with the benchmark's tuning: alpha = 4, d = 2.5.

#include <gtest/gtest.h>

#include "funnel/tuning.hpp"

class benchmark_tuning : public ::testing::Test {
protected:
    void SetUp() override
    {
        alpha = 4;
        d = 2.5f;
    }
};
