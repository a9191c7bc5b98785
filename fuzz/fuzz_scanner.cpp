// Scans arbitrary bytes from memory and through a caller's getChar, checking
// that both sources agree and that the scanner keeps its own limits.
#include "FuzzSupport.h"
#include "common/scanner/Scanner.h"

using fuzz::Check;

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

int GetChar(Scanner* s)
{
    auto* src = static_cast<Source*>(s->user);
    return src->pos < src->size ? src->data[src->pos++] : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Scanner* a = ScanOpenMemory(data, size);
    Source src{data, size, 0};
    Scanner* b = ScanOpen(nullptr, GetChar, &src);
    Check(a && b);
    // Every token consumes at least one character, so size + 2 calls reach the end.
    for (std::size_t n = 0; n < size + 2; ++n) {
        int ea = ScanNext(a);
        int eb = ScanNext(b);
        Check(ea == eb && a->kind == b->kind && a->line == b->line);
        if (ea) {
            Check(std::strcmp(a->message, b->message) == 0 && a->message[0] != '\0');
            break;
        }
        Check(a->kind >= -1 && a->kind <= 263 && a->kind != 256 && a->kind != 262);
        Check(std::strlen(a->numeral) < SCAN_NUMERAL_BUFFER);
        if (a->kind == SCAN_IDENT || a->kind == SCAN_STRING) {
            Check(a->length == b->length && std::memcmp(a->value.text, b->value.text, a->length) == 0);
            Check(a->value.text[a->length] == '\0');
            if (a->kind == SCAN_IDENT)
                Check(a->length >= 1 && a->length <= SCAN_MAX_NAME);
        }
        if (a->kind == SCAN_EOF)
            break;
    }
    Check(a->error || a->kind == SCAN_EOF);
    ScanClose(a);
    ScanClose(b);
    return 0;
}
