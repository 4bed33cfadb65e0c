// corvane: the benchmark. Writes one XML report on standard output.

#include <ctime>
#include <iostream>

#include "funnel/tuning.hpp"
#include "measure/sys_names.hpp"

int main()
{
    // The report's date is the moment the benchmark started, taken before anything is written.
    local_time const started(std::time(nullptr));

    std::cout << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" << std::endl;
    std::cout << "<benchmark date=\"" << started << "\" os=\"" << sys_names::os() << "\" version=\""
              << sys_names::release() << "\" host=\"" << sys_names::host() << "\">" << std::endl;

    d = 2.5f;
    alpha = 4;

    std::cout << "</benchmark>" << std::endl;
    return 0;
}
