// Rows of the Markdown table that scripts/bench writes: a figure of the program and of the floor,
// each as its median with quartiles, the ratio of the medians, and the target with whether it is met.
#pragma once

#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/statistics.h"

struct Target {
    std::string text = "–";
    std::function<bool(double program, double floor)> met;  // none for a figure without a target
};

inline Target WithinTenPercent() {
    return {"≤ 1.10 × floor", [](double program, double floor) { return program <= 1.10 * floor; }};
}

inline Target WithinMemoryBudget() {
    return {"≤ 1.10 × floor + 2 MB", [](double program, double floor) { return program <= 1.10 * floor + 2; }};
}

inline Target Under(int milliseconds) {
    return {"< " + std::to_string(milliseconds) + " ms",
            [milliseconds](double program, double /*floor*/) { return program < milliseconds; }};
}

inline std::string Cell(const Spread& spread, const std::string& unit) {
    std::ostringstream cell;
    cell << std::fixed << std::setprecision(2) << spread.median << ' ' << unit << " (" << spread.lowerQuartile << "–"
         << spread.upperQuartile << ")";
    return cell.str();
}

inline void PrintRow(const std::string& figure, const std::string& platform, const std::string& unit,
                     const std::vector<double>& programSamples, const std::vector<double>& floorSamples,
                     const Target& target = {}) {
    const Spread program = SpreadOf(programSamples);
    const Spread floor = SpreadOf(floorSamples);
    std::cout << "| " << figure << " | " << platform << " | " << Cell(program, unit) << " | " << Cell(floor, unit)
              << " | " << std::fixed << std::setprecision(2) << program.median / floor.median << " | " << target.text
              << " | "
              << (!target.met                                ? "–"
                  : target.met(program.median, floor.median) ? "yes"
                                                             : "**no**")
              << " |\n";
}
