#include "funnel/tuning.hpp"

std::int32_t alpha = 0;
float d = 0.0f;
