#include "gen/zipf.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

// Rejection-inversion for a monotone discrete distribution (Hoermann and Derflinger): with the
// hat h(x) = 1 / x and its integral H(x) = ln x, a uniform point u of [H(1.5) - h(1), H(n + 0.5)]
// is mapped back to x = exp(u), rounded to the rank k, and kept when it lies under the step of
// rank k. Most draws pass the cheap squeeze test; about one in ten or fewer is drawn again.

namespace gen {

namespace {

double hat(double x) { return 1.0 / x; }
double hat_integral(double x) { return std::log(x); }
double hat_integral_inverse(double y) { return std::exp(y); }

// Ranks are rounded from x with this offset, and the step of rank k spans [k - 0.5, k + 0.5].
constexpr double half_step = 0.5;
constexpr double squeeze_base = 2.0;
constexpr double second_rank = 2.0;

}  // namespace

zipf_ranks::zipf_ranks(std::uint64_t count)
    : count(std::max<std::uint64_t>(count, 1)),
      integral_low(hat_integral(1.0 + half_step) - hat(1.0)),
      integral_high(hat_integral(static_cast<double>(this->count) + half_step)),
      squeeze(squeeze_base -
              hat_integral_inverse(hat_integral(second_rank + half_step) - hat(second_rank)))
{
}

std::uint64_t zipf_ranks::operator()() const
{
    double const top = static_cast<double>(count);
    for (;;) {
        double const u = integral_high + drand48() * (integral_low - integral_high);
        double const x = hat_integral_inverse(u);
        double const k = std::clamp(std::floor(x + half_step), 1.0, top);
        if (k - x <= squeeze || u >= hat_integral(k + half_step) - hat(k)) {
            return static_cast<std::uint64_t>(k);
        }
    }
}

}  // namespace gen
