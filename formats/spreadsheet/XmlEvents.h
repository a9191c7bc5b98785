#pragma once
// The parts of a spreadsheet package read as a stream of XML events through
// expat. liborcus's own XML parser reads past the end of its buffer on some
// malformed texts (and stops the process on others); expat takes the text in
// pieces, checks it whole and never reads beyond what it is given.
//
// Names come as written, split at the prefix: "r:id" is name "id" with a
// prefix. Character references and entities are decoded.

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

struct SXmlAttribute {
    std::string_view name;
    std::string_view value;
    bool bPrefixed;
};

class CXmlEvents {
public:
    virtual ~CXmlEvents() = default;
    virtual void StartElement(std::string_view name, const std::vector<SXmlAttribute>& attributes) = 0;
    virtual void EndElement(std::string_view name) = 0;
    // Text between tags, possibly in several pieces.
    virtual void Text(std::string_view) {}
};

struct SXmlError : std::exception {
    explicit SXmlError(std::string t) : text(std::move(t)) {}
    const char* what() const noexcept override { return text.c_str(); }
    std::string text;
};

// Feeds `size` bytes to a parser; throws SXmlError for malformed XML (with
// the part's name and the line), or what a handler threw.
void ParseXml(const char* data, std::size_t size, CXmlEvents& events, const char* part);
