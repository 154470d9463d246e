#pragma once
// Summaries of the rounds a benchmark runs: a machine shared with other work makes single runs
// wander, so the closing tables give the median.

#include <algorithm>
#include <cstddef>
#include <vector>

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
