// Medians and quartiles of timing and memory samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

struct Spread {
    double median = 0;
    double lowerQuartile = 0;
    double upperQuartile = 0;
};

// Linear interpolation between the two nearest ranks; samples must not be empty.
inline double Quantile(const std::vector<double>& sorted, double fraction) {
    const double rank = fraction * double(sorted.size() - 1);
    const auto below = std::size_t(rank);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (rank - double(below)) * (sorted[above] - sorted[below]);
}

inline Spread SpreadOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {Quantile(samples, 0.5), Quantile(samples, 0.25), Quantile(samples, 0.75)};
}
