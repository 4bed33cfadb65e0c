#pragma once
// Tests of the funnel and the drivers run with the tuning the benchmark sets: alpha = 4, d = 2.5 (T = 316).

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
