#pragma once
// What every benchmark measures with: the time a step takes, and the median of several runs.
#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

template <class F>
double Milliseconds(F&& step)
{
    auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
