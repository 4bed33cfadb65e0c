#pragma once
// The benchmark's own copy of its setting: zero until the program sets it once (the benchmark:
// alpha = 4, d = 2.5), and read only where the benchmark starts a sort. Apart from
// funnel/tuning.hpp, so that the library face, which reads no globals, declares none either.

#include <cstdint>

extern std::int32_t alpha;
extern float d;
