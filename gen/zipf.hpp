#pragma once
// Zipf-distributed ranks with exponent 1: rank r of 1 ... count comes up with probability
// proportional to 1 / r. Each draw costs a few drand48 calls whatever the count, by rejection
// from the continuous density 1 / x (no table of the count's weights is built).

#include <cstdint>

namespace gen {

class zipf_ranks {
public:
    // Draws among count ranks; a count of 0 is taken as 1.
    explicit zipf_ranks(std::uint64_t count);

    // One rank in [1, count], drawn from drand48.
    std::uint64_t operator()() const;

private:
    std::uint64_t count;
    double integral_low;   // H(1.5) - h(1): the bottom of the sampled integral, rank 1 included
    double integral_high;  // H(count + 0.5): the top of the sampled integral
    double squeeze;        // below this distance from the rank, a draw is accepted at once
};

}  // namespace gen
