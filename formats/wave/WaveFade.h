#pragma once
// Fades applied in place to a finished 16 or 24-bit PCM WAVE file.
//
// Fade-in/fade-out: the first and the last n = rate × T frames are scaled by
// g = k / n (first block, rising) and 1 − g (last block, falling). Loop
// cross-fade: the first n frames become last × (1 − g) + first × g and the
// file is shortened by those n frames, so that its end flows into its
// beginning when it is played in a loop. With bKeepPulseBit the bit that
// carries the pulse information (bit 0 of 16-bit, bit 8 of 24-bit samples)
// keeps its old value. A data chunk shorter than 2n frames is left alone.
//
// The work goes in blocks, so memory does not grow with T or the file.

// Result of a fade: it never changes the outcome of the export, but tests
// and the log want to know what happened.
enum class EFadeResult {
    Done,
    TooShort,      // fewer than 2n frames: nothing changed
    NotApplicable, // T <= 0, or not a 16/24-bit PCM file we can edit in place
    Failed,        // the file could not be read or written
};

EFadeResult ApplyFadeInOut(const char* path, double seconds, bool bKeepPulseBit);
EFadeResult ApplyLoopCrossFade(const char* path, double seconds, bool bKeepPulseBit);
