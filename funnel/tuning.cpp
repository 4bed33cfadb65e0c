#include "funnel/tuning_globals.hpp"

std::int32_t alpha = 0;
float d = 0.0f;
