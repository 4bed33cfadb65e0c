#pragma once
// Tests run at the benchmark's setting, alpha = 4 and d = 2.5 (T = 316): the funnel and the drivers
// are handed funnel::default_tuning, and the globals that the registry's funnel sorts read are set
// to the same values.

#include <gtest/gtest.h>

#include "funnel/tuning.hpp"
#include "funnel/tuning_globals.hpp"

class benchmark_tuning : public ::testing::Test {
protected:
    void SetUp() override
    {
        alpha = funnel::default_tuning.alpha;
        d = funnel::default_tuning.d;
    }
};
