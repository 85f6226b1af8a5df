#include "engine/clock_tempo.h"

#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

double median(double* v, int n) {
    std::nth_element(v, v + n / 2, v + n);
    return v[n / 2];
}

}  // namespace

int64_t measuredStepLength(const int64_t* ticks, int count) {
    const int steady = std::min(count, kSteadyTicks);
    const int64_t endPoints = 6 * (ticks[count - 1] - ticks[count - steady]) / (steady - 1);
    if (count < 3) return endPoints;
    // Frames from the first tick, which keeps the sums exact enough.
    double spacing[kTempoTicks * kTempoTicks / 2], offset[kTempoTicks];
    const int n = std::min(count, kTempoTicks), apart = (n + 3) / 4;
    const int64_t* t = ticks + count - n;
    // The spacing between every two ticks at least a quarter of them apart.
    int pairs = 0;
    for (int i = 0; i < n; ++i)
        for (int j = i + apart; j < n; ++j) spacing[pairs++] = static_cast<double>(t[j] - t[i]) / (j - i);
    const double slope = median(spacing, pairs);
    for (int i = 0; i < n; ++i) offset[i] = static_cast<double>(t[i] - t[0]) - slope * i;
    const double at = median(offset, n);
    // Least squares over the ticks near the guess.
    double sx = 0, sy = 0, sxx = 0, sxy = 0, kept = 0;
    for (int i = 0; i < n; ++i) {
        const double y = static_cast<double>(t[i] - t[0]);
        if (std::fabs(y - (at + slope * i)) > slope / 2) continue;
        sx += i, sy += y, sxx += static_cast<double>(i) * i, sxy += i * y, kept += 1;
    }
    const double d = kept * sxx - sx * sx;
    if (kept < 2 || d <= 0) return endPoints;
    const double fitted = 6 * (kept * sxy - sx * sy) / d;
    return std::fabs(fitted - static_cast<double>(endPoints)) <= 1 ? endPoints : static_cast<int64_t>(fitted);
}

}  // namespace velmor
