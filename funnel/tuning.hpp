#pragma once
// The two global tuning parameters of the funnel. They size the merge tree's buffers, the
// memory of its layout, and the drivers' fan-out and base-case threshold. Both are zero until
// the program sets them once (the benchmark: alpha = 4, d = 2.5); they must not change while a
// tree exists, because destroying a tree recomputes its buffer sizes from them.

#include <cstdint>

extern std::int32_t alpha;
extern float d;
