#pragma once
// How the ASCII export lays out one value: the notation, the digits, the
// separator and the two ways of writing a value (decimal point through stream
// semantics, decimal comma through a printf format whose first "." becomes ",").

#include <cstddef>
#include <string>

class CAsciiNumberFormat {
public:
    // Notations of the export settings; any other value writes like a stream
    // without float-field flags (shortest of fixed and scientific, no sign).
    enum { notationGeneral = 0, notationFixed = 1, notationScientific = 2 };

    // Digits beyond this carry no information for 32-bit samples and would only
    // blow up the line; negative digits behave like a stream's default of 6.
    static constexpr int g_iMaxDigits = 60;

    CAsciiNumberFormat(int notation, int digits, bool tabSeparator, bool decimalComma);

    // Longest text Append can produce for one value, separator included.
    static constexpr std::size_t g_nMaxText = 512;

    // Writes the value and its separator at out (at least g_nMaxText bytes) and
    // returns the end of what was written.
    char* Append(double value, char* out) const;
    std::string Text(double value) const;

    int Precision() const { return m_iDigits; }
    char Separator() const { return m_cSeparator; }

private:
    char* AppendStream(double value, char* out) const;
    char* AppendComma(double value, char* out) const;

    int m_iNotation;
    int m_iDigits;
    int m_iWidth;
    char m_cSeparator;
    char m_cConversion;
    bool m_bComma;
    bool m_bShowPos;
    bool m_bLeft;
    std::string m_sFormat;
};
