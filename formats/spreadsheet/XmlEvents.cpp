#include "formats/spreadsheet/XmlEvents.h"

#include <expat.h>

#include <algorithm>
#include <memory>

namespace {

struct SContext {
    XML_Parser parser;
    CXmlEvents& events;
    std::vector<SXmlAttribute> attributes;
    std::exception_ptr failure;
};

std::string_view Local(const XML_Char* name, bool& prefixed)
{
    const std::string_view q(name);
    const std::size_t colon = q.find(':');
    prefixed = colon != std::string_view::npos;
    return prefixed ? q.substr(colon + 1) : q;
}

// Exceptions must not cross expat's C frames: a handler's exception stops
// the parser and is thrown again once expat has returned.
template <class F>
void Guarded(SContext& c, F&& f)
{
    if (c.failure) return;
    try {
        f();
    } catch (...) {
        c.failure = std::current_exception();
        XML_StopParser(c.parser, XML_FALSE);
    }
}

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** attrs)
{
    auto& c = *static_cast<SContext*>(user);
    Guarded(c, [&] {
        c.attributes.clear();
        for (const XML_Char** a = attrs; a[0] && a[1]; a += 2) {
            bool prefixed = false;
            const std::string_view local = Local(a[0], prefixed);
            c.attributes.push_back({local, std::string_view(a[1]), prefixed});
        }
        bool prefixed = false;
        c.events.StartElement(Local(name, prefixed), c.attributes);
    });
}

void XMLCALL OnEnd(void* user, const XML_Char* name)
{
    auto& c = *static_cast<SContext*>(user);
    Guarded(c, [&] {
        bool prefixed = false;
        c.events.EndElement(Local(name, prefixed));
    });
}

void XMLCALL OnText(void* user, const XML_Char* text, int length)
{
    auto& c = *static_cast<SContext*>(user);
    Guarded(c, [&] { c.events.Text(std::string_view(text, std::size_t(length))); });
}

struct SParserFree {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

} // namespace

void ParseXml(const char* data, std::size_t size, CXmlEvents& events, const char* part)
{
    std::unique_ptr<XML_ParserStruct, SParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    SContext c{parser.get(), events, {}, nullptr};
    XML_SetUserData(parser.get(), &c);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnText);
    // In pieces of 1 MiB: expat keeps a copy of what it has not finished, and
    // its length is an int.
    constexpr std::size_t kPiece = std::size_t(1) << 20;
    std::size_t done = 0;
    do {
        const std::size_t n = std::min(kPiece, size - done);
        const bool last = done + n == size;
        const XML_Status st = XML_Parse(parser.get(), data + done, int(n), last ? XML_TRUE : XML_FALSE);
        if (c.failure) std::rethrow_exception(c.failure);
        if (st != XML_STATUS_OK)
            throw SXmlError(std::string(part) + ": " + XML_ErrorString(XML_GetErrorCode(parser.get())) + " in line " +
                            std::to_string(XML_GetCurrentLineNumber(parser.get())));
        done += n;
    } while (done < size);
}
