#include "engine/tables.h"

#include "engine/arith.h"
#include "engine/precise_math.h"

namespace velmor {

namespace {

constexpr double kPi = 3.141592653;

// Level in decibels, 20 log10(x), formed as ln(x) times 20 / ln 10.
double levelDb(double x, double dbPerNeper) { return preciseLog(x) * dbPerNeper; }

// Completes an odd-symmetric curve: entry 32767 - m is the negated entry m.
void mirrorCurve(int32_t* row) {
    for (int m = 0; m < kDistEntries / 2; ++m) row[kDistEntries - 1 - m] = -row[m];
}

}  // namespace

const WaveSample* waveTableFor(const Tables& t, const WaveTable& userWave, uint32_t waveCode) {
    switch (waveCode) {
        case 0: return t.sawTable;
        case 1: return t.squareTable;
        case 2: return t.sineTable;
        case 3: return t.saw303Table;
        case 4: return userWave;
        default: return nullptr;
    }
}

void buildDistortionCurves(Tables& t) {
    const double dbPerNeper = 20.0 / preciseLog(10.0);
    constexpr int half = kDistEntries / 2;

    // Family A compresses the level toward 0 dB by an exponent k < 1.
    // Family B compresses levels above -25 dB by the ratio 1/a, then adds a
    // make-up gain of b dB; a is a single-precision value, b keeps the
    // single-precision factor 1.6f but is formed and kept in double.
    double k[kDistRows], b[kDistRows];
    float a[kDistRows];
    for (int i = 0; i < kDistRows; ++i) {
        k[i] = 0.8 + 0.02 * i;
        a[i] = static_cast<float>((i + 1) * 0.1f);
        b[i] = (9 - i) * static_cast<double>(1.6f);
    }

    // The level of each input step is shared by all rows of both families.
    for (int j = 0; j < half; ++j) {
        const double level = j == 0 ? 0.0 : levelDb(j * 6.103515625e-05, dbPerNeper);
        for (int i = 0; i < kDistRows; ++i) {
            const double d = j == 0 ? -1000.0 : level;
            const double s = -precisePow(-d, k[i]);
            t.distCurvesA[i][half - 1 - j] = truncToInt(-32767.0 * precisePow(10.0, s * 0.05));
        }
        for (int i = 0; i < kDistRows; ++i) {
            double d = j == 0 ? -10000.0 : level;
            if (d >= -25.0) d = (d + 25.0) * static_cast<double>(a[i]) - 25.0;
            if (d <= -b[i]) d = d + b[i];
            t.distCurvesB[i][half - 1 - j] = truncToInt(-32767.0 * precisePow(10.0, d * 0.05));
        }
    }
    for (int i = 0; i < kDistRows; ++i) {
        mirrorCurve(t.distCurvesA[i]);
        mirrorCurve(t.distCurvesB[i]);
    }
    t.distCurvesBuilt = true;
}

void buildPitchTables(Tables& t) {
    for (int o = 0; o < 8; ++o) {
        const double base = 55.0 * (1 << o);
        double m = 1.0;
        for (int s = 0; s < 12; ++s) {
            t.noteStepTable[12 * o + s] = static_cast<uint16_t>(truncToInt(base * m + 0.5));
            m = m * 1.059463094;
        }
        m = 1.0;
        for (int k = 0; k < 96; ++k) {
            t.fineStepTable[96 * o + k] = static_cast<uint16_t>(truncToInt(base * m + 0.5));
            m = m * 1.007246412;
        }
    }
}

void buildWaveTables(Tables& t, WaveTable& userWave, CrtRand& rng) {
    for (int i = 0; i < kWaveLength; ++i) t.sawTable[i] = static_cast<int16_t>(truncToInt((i * 0.001953125 - 1.0) * 32767.0));

    // An exponential charging curve, then a flat floor for the last 171 samples.
    double v = 32768.0;
    for (int i = 0; i < kWaveLength; ++i) {
        if (i <= 852) {
            t.saw303Table[i] = static_cast<int16_t>(truncToInt(32768.0 - 2.0 * v));
            v = v * 0.995;
        } else {
            t.saw303Table[i] = -32768;
        }
    }

    // Square: a high plateau, then an accelerating fall; the second half is
    // the negated first half.
    int i = 0;
    for (; i < 395; ++i) t.squareTable[i] = 32767;
    v = 1.0;
    do {
        t.squareTable[i++] = static_cast<int16_t>(truncToInt(32768.0 - v));
        v = v * 1.1;
    } while (v < 65535.0 && i < kWaveLength / 2);
    for (; i < kWaveLength / 2; ++i) t.squareTable[i] = t.squareTable[i - 1];
    for (int k = 0; k < kWaveLength / 2; ++k) t.squareTable[kWaveLength / 2 + k] = static_cast<int16_t>(-t.squareTable[k]);

    for (int n = 0; n < kWaveLength; ++n)
        t.sineTable[n] = static_cast<int16_t>(truncToInt(preciseSin(n * kPi * 0.001953125) * 32767.0));

    // White noise from the generator's start state: the same at every start.
    for (int n = 0; n < kWaveLength; ++n) {
        const int r = rand(rng);
        userWave[n] = static_cast<int16_t>(32767 - r * 65535 / 32767);
    }
}

void buildFilterTables(Tables& t, WaveTable& userWave, CrtRand& rng, double baseHz) {
    buildWaveTables(t, userWave, rng);
    for (int j = 0; j < kFilterComputed; ++j) {
        const double f = precisePow(1.05, j) * baseHz;
        const double w = f / 44100.0 * kPi * 2.0;
        t.filterSinTable[j] = truncToInt(8192.0 * preciseSin(w));
        t.filterCosTable[j] = truncToInt(8192.0 * preciseCos(w));
    }
    for (int j = kFilterComputed; j < kFilterGrid; ++j) {
        t.filterSinTable[j] = t.filterSinTable[kFilterComputed - 1];
        t.filterCosTable[j] = t.filterCosTable[kFilterComputed - 1];
    }
}

}  // namespace velmor
