#pragma once
// The statistics of corvane's summary and compare_sorts' table: the median of repeated
// measurements and a confidence interval of it that assumes nothing about their distribution.

#include <cstdint>
#include <vector>

// The median; 0 for no values.
double median(std::vector<double> values);

// The interval [low, high] between two order statistics of the values, x(j) and x(n + 1 - j) in
// ascending order, that holds the true median with probability `confidence`: for any continuous
// distribution that is 1 - 2 P(B < j) with B binomial(n, 1/2). j is the largest with a confidence
// of at least the level asked for. Fewer than 6 values never reach 95 %: their interval is the
// whole range, min to max, with the confidence it has (0.9375 for 5 values, 0 for one).
struct median_interval {
    double low = 0.0;
    double high = 0.0;
    double confidence = 0.0;
};

median_interval median_confidence_interval(std::vector<double> values, double level = 0.95);
