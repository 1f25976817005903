// The part of an XML document that frame definitions are read from, as the platform's XML
// service parses it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tovra {

// An element with its attributes and its element children, in document order. Comments, text,
// CDATA and processing instructions are not kept.
struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlElement> children;

    // The value of the first attribute of that name; "" when there is none.
    std::string_view Attribute(std::string_view attributeName) const {
        for (const auto& [key, value] : attributes) {
            if (key == attributeName) {
                return value;
            }
        }
        return {};
    }
};

// The top-level elements of a document held in memory, each with its descendants down to
// levels elements in all (levels 1 keeps only the top-level elements themselves). Names and
// values are UTF-8. Null when the document is not well-formed or cannot be parsed.
std::optional<std::vector<XmlElement>> ParseXmlElements(const void* data, std::size_t size,
                                                        int levels);

}  // namespace tovra
