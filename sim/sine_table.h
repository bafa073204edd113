// Table-driven sine and cosine for the simulation core.
//
// One table of sine samples over the closed interval [0, 2pi], built once at
// start-up; lookups reduce the argument to within one turn and truncate it
// onto the grid of samples. Accuracy is about 6.3e-6, and the results are the
// table's, not the math library's.
#pragma once

inline constexpr int sineTableSize = 1000000;

struct SineTable {
    double* samples = nullptr;  // samples[i] = sin(i * sampleStep) rounded to nearest, i = 0 .. count - 1
    double sampleStep = 0.0;    // 2pi / (count - 1)
    int count = 0;              // number of samples
};

// The process-wide table; empty until buildSineTable runs.
extern SineTable sineTable;

// Builds the table with n samples (n >= 2), replacing any table built
// before. If the samples cannot be allocated, prints one line on stderr and
// ends the process with status 1.
void buildSineTable(int n);

// Builds the table of sineTableSize samples unless it is built: once, and
// safely when several threads ask at once. After it, the table is only read.
void ensureSineTable();

// The slow path of fastSin for arguments whose turn count does not fit the
// doubled 32-bit count: NaN for a non-finite x, otherwise x reduced exactly
// (fmod) and looked up like any other.
double sineOutOfRange(double x);

// Sine of x from the table: the sample at the largest grid point not above
// |r|, with the sign of r, where r is x reduced by whole turns. Every
// conversion truncates toward zero; no index ever leaves the table.
inline double fastSin(double x) {
    const double turns = x * 0.15915494309189535;  // x / 2pi
    if (!(turns < 1073741824.0 && turns > -1073741824.0)) return sineOutOfRange(x);  // 2^30; NaN too
    const int k = static_cast<int>(turns);
    const double r = x - static_cast<double>(2 * k) * 3.141592653589793;
    const int j = static_cast<int>(r / sineTable.sampleStep);  // j <= 0 when r < 0
    return r < 0 ? -sineTable.samples[-j] : sineTable.samples[j];
}

// fastSin(pi/2 - x), the difference formed first.
inline double fastCos(double x) { return fastSin(1.5707963267948966 - x); }

#if defined(__GNUC__)
// r = x less its whole turns, element by element, as fastSin reduces it,
// turns being x * (1 / 2pi) and within 2^30 of zero in every element.
// (Vectors by reference, as fastSinElements's.)
template <typename Doubles, typename Ints>
__attribute__((always_inline)) inline void withinOneTurn(Doubles& r, const Doubles& x, const Doubles& turns) {
    const Ints k = __builtin_convertvector(turns, Ints);
    r = x - __builtin_convertvector(k + k, Doubles) * 3.141592653589793;
}
#endif

// Asks the memory system for the table's lines that fastSin and fastCos
// will read at x[i] + a rate[i] and x[i] + b rate[i], i < n, or lines
// beside them; reads nothing and changes no result. A swinging figure's
// angles move a few lines of the table per step, and its passes cannot
// start before their first sines arrive. (Always inlined: GCC takes a
// function that only prefetches for one without effects, and drops its calls.)
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void prefetchSinesAhead(const double x[], const double rate[], double a, double b, int n) {
#if defined(__GNUC__) && defined(__SSE2__)
    typedef double Two __attribute__((vector_size(16)));
    typedef int TwoInts __attribute__((vector_size(8)));
    typedef long long TwoMasks __attribute__((vector_size(16)));
    const double* samples = sineTable.samples;
    const Two last = {sineTable.count - 1.0, sineTable.count - 1.0};
    const Two perRadian = last * 0.15915494309189535;
    const TwoMasks magnitude = {0x7fffffffffffffffll, 0x7fffffffffffffffll};
    for (int i = 0; i < n; ++i) {
        const double ahead[2] = {x[i] + a * rate[i], x[i] + b * rate[i]};
        for (const double y : ahead) {
            const Two arguments = {y, 1.5707963267948966 - y};
            const Two turns = arguments * 0.15915494309189535;
            // within 2^30 - 1 turns, so that (pi/2 - y) / 2pi is within 2^30 too; NaN not
            if (!(turns[0] < 1073741823.0 && turns[0] > -1073741823.0)) continue;
            Two r;
            withinOneTurn<Two, TwoInts>(r, arguments, turns);
            const Two at = reinterpret_cast<Two>(reinterpret_cast<TwoMasks>(r) & magnitude) * perRadian;
            const TwoInts j = __builtin_convertvector(at < last ? at : last, TwoInts);
            __builtin_prefetch(samples + j[0]);
            __builtin_prefetch(samples + j[1]);
        }
    }
#else
    (void)x, (void)rate, (void)a, (void)b, (void)n;
#endif
}

// Whether every x[i], i < n, is below 6.7e9 in size (NaN is not): then x /
// 2pi and (pi/2 - x) / 2pi are both within 1.0664e9 < 2^30, in fastSin's
// range, and the sines and cosines of all of them may be looked up as
// vectors (fastSinElementsInRange and its halves).
inline bool sinesAndCosinesInRange(const double x[], int n) {
    bool inRange = true;
    for (int i = 0; i < n; ++i) inRange = inRange & (x[i] < 6.7e9) & (x[i] > -6.7e9);
    return inRange;
}

#if defined(__GNUC__)
// fastSinElementsInRange below in two halves, for a loop that runs the
// first for many angles before the second: each half is a short chain, so
// many angles' lookups are in flight at once. Such a loop hands in the
// table's step and samples as values: a loop that stores doubles could
// otherwise change them, as far as the compiler knows, and would read them
// again for every lookup.
//
// The first half: r, x less its whole turns, and the index of its sample,
// fastSin's |j|, from |r| (division and truncation toward zero are both
// symmetric about zero, and the index needs no sign taken off).
template <typename Doubles, typename Ints, typename Masks>
__attribute__((always_inline)) inline void sampleIndices(Ints& index, Doubles& r, const Doubles& x,
                                                         const Doubles& turns, double sampleStep) {
    withinOneTurn<Doubles, Ints>(r, x, turns);
    const Doubles size =
        reinterpret_cast<Doubles>(reinterpret_cast<Masks>(r) & static_cast<long long>(0x7fffffffffffffffull));
    index = __builtin_convertvector(size / sampleStep, Ints);
}

// The second half: the samples at `index`, with the sign of r applied as a
// sign bit, exactly as negation.
template <typename Doubles, typename Ints, typename Masks>
__attribute__((always_inline)) inline void signedSamples(Doubles& out, const Ints& index, const Doubles& r,
                                                         const double* samples) {
    constexpr int n = sizeof(Doubles) / sizeof(double);
    Doubles sample;
    for (int i = 0; i < n; ++i) sample[i] = samples[static_cast<unsigned>(index[i])];
    const Masks signBit = (r < 0.0) & static_cast<long long>(0x8000000000000000ull);
    out = reinterpret_cast<Doubles>(reinterpret_cast<Masks>(sample) ^ signBit);
}

// out = fastSin of every element of x, a GCC/clang vector of doubles, Ints
// being the vector of as many 32-bit ints and Masks that of as many 64-bit
// ints, where every element is known to be within fastSin's range (|x /
// 2pi| < 2^30) and turns is x * (1 / 2pi) as fastSin forms it: the same
// steps on every element at once, every result the bits of fastSin.
// (Vectors by reference: GCC warns of vectors wider than the target's
// passed by value. Always inlined: a call costs more than the lookup.)
template <typename Doubles, typename Ints, typename Masks>
__attribute__((always_inline)) inline void fastSinElementsInRange(Doubles& out, const Doubles& x,
                                                                  const Doubles& turns) {
    Ints index;
    Doubles r;
    sampleIndices<Doubles, Ints, Masks>(index, r, x, turns, sineTable.sampleStep);
    signedSamples<Doubles, Ints, Masks>(out, index, r, sineTable.samples);
}

// The same for any x: elements out of range, or NaN, by fastSin one at a time.
template <typename Doubles, typename Ints, typename Masks>
__attribute__((always_inline)) inline void fastSinElements(Doubles& out, const Doubles& x) {
    constexpr int n = sizeof(Doubles) / sizeof(double);
    const Doubles turns = x * 0.15915494309189535;
    const Masks inRange = (turns < 1073741824.0) & (turns > -1073741824.0);
    bool allInRange = true;
    for (int i = 0; i < n; ++i) allInRange = allInRange && inRange[i] != 0;
    if (!allInRange) {
        for (int i = 0; i < n; ++i) out[i] = fastSin(x[i]);
        return;
    }
    fastSinElementsInRange<Doubles, Ints, Masks>(out, x, turns);
}
#endif
