#pragma once
// Data kinds on their own: the exported interface names dk__val in a
// signature, and a host that includes it should not need the rest of the
// data-set vocabulary for that.

// Data kinds (dk__val): what the values of a data set are.
enum dk__val : int {
    dk__unknown = 0,         // general data, no particular kind
    dk__time = 1,            // time signals
    dk__spectrum = 3,        // spectra (auto and cross spectra, densities, coherence)
    dk__frf = 4,             // frequency response functions, also tables from the clipboard
    dk__rpm = 11,            // speed over time in revolutions per minute (reference data)
    dk__speed = 12,          // other speed reference data over time
    dk__pdf = 42,            // probability density
    dk__autocorr = 43,       // auto correlation
    dk__crosscorr = 44,      // cross correlation
};
