#include "items/factory.hpp"

record factory<record>::from_scalar(double s)
{
    factory_detail::check_scalar(s);
    constexpr double base = 255.0;
    record r;
    double f = s;
    for (char& byte : r.bytes) {
        f *= base;
        byte = static_cast<char>(static_cast<unsigned char>(f));
        f -= std::floor(f);
    }
    return r;
}
