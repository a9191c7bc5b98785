#pragma once
// Numbers in the recorders' text files, read as the C run-time's atoi, atol
// and atof read them in the "C" locale, whatever locale the host has set:
// leading white space, an optional sign, as many characters as form a number.
// The integer readers saturate at the limits of a signed 32-bit long, as the
// recorders' own software did.

#include <cstdint>
#include <string>
#include <string_view>

namespace RecorderText {

std::int32_t Atol(std::string_view text);
double Atof(std::string_view text);
// Atof that also tells how many characters the number took (0: none).
double Atof(std::string_view text, std::size_t& end);

bool IsBlank(char c);   // blank or tab
std::string_view Trim(std::string_view text);   // white space off both ends
std::string Upper(std::string_view text);

// The text files of a recording are small; one larger than `limit` bytes is
// refused rather than read into memory. `reason` names the file and the
// trouble when the result is not Ok.
enum class EReadResult { Ok, CannotOpen, TooLarge };
EReadResult ReadSmallFile(const char* path, std::size_t limit, std::string& bytes, std::string& reason);

}  // namespace RecorderText
