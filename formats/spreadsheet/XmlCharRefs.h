#pragma once
// liborcus's XML parser stops the whole process on an assertion when a
// numeric character reference ("&#...;") names no Unicode character (beyond
// U+10FFFF, or signed). Every part is looked over before that parser sees it;
// such a reference is malformed XML in any case.

#include <cstddef>

// False when `xml` holds a character reference that is not "&#" decimal
// digits or "&#x" hexadecimal digits up to ";" with a value of at most
// U+10FFFF.
bool CharacterReferencesValid(const char* xml, std::size_t size);
