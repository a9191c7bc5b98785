#include "formats/spreadsheet/XmlCharRefs.h"

#include <cstring>

bool CharacterReferencesValid(const char* xml, std::size_t size)
{
    const char* p = xml;
    const char* const end = xml + size;
    while (p < end) {
        const void* amp = std::memchr(p, '&', std::size_t(end - p));
        if (!amp) return true;
        p = static_cast<const char*>(amp) + 1;
        if (p >= end || *p != '#') continue;
        ++p;
        const bool hex = p < end && (*p == 'x' || *p == 'X');
        if (hex) ++p;
        unsigned long value = 0;
        std::size_t digits = 0;
        for (; p < end && *p != ';'; ++p, ++digits) {
            int d;
            if (*p >= '0' && *p <= '9')
                d = *p - '0';
            else if (hex && *p >= 'a' && *p <= 'f')
                d = *p - 'a' + 10;
            else if (hex && *p >= 'A' && *p <= 'F')
                d = *p - 'A' + 10;
            else
                return false;
            value = value * (hex ? 16 : 10) + unsigned(d);
            if (value > 0x10FFFF) return false;
        }
        if (p >= end || digits == 0) return false;
    }
    return true;
}
