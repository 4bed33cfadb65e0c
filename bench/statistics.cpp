#include "bench/statistics.hpp"

#include <algorithm>
#include <cmath>

double median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    std::size_t const mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

median_interval median_confidence_interval(std::vector<double> values, double level)
{
    median_interval interval;
    std::size_t const n = values.size();
    if (n == 0) return interval;
    std::sort(values.begin(), values.end());
    // below[j] = P(B < j) for B binomial(n, 1/2), summed term by term; the interval from the j-th
    // smallest to the j-th largest value misses the median with probability 2 P(B < j).
    double const half_to_n = std::pow(0.5, static_cast<double>(n));
    double term = half_to_n;  // P(B = 0)
    double below = 0.0;       // P(B < 1)
    std::size_t j = 0;        // the best pair so far, from 1; 0 while none reaches the level
    double best = 1.0 - 2.0 * half_to_n;
    for (std::size_t k = 1; 2 * k <= n + 1; ++k) {
        below += term;  // now P(B < k)
        double const confidence = 1.0 - 2.0 * below;
        if (confidence < level) break;
        j = k;
        best = confidence;
        term *= static_cast<double>(n - k + 1) / static_cast<double>(k);  // P(B = k)
    }
    if (j == 0) j = 1;  // too few values for the level: the whole range, with what it holds
    interval.low = values[j - 1];
    interval.high = values[n - j];
    interval.confidence = best;
    return interval;
}
