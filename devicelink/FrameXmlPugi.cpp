// The XML service on Linux: pugixml.
#include <pugixml.hpp>

#include "FrameXml.h"

namespace tovra {

namespace {

XmlElement Convert(const pugi::xml_node& node, int levels) {
    XmlElement element;
    element.name = node.name();
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        element.attributes.emplace_back(attribute.name(), attribute.value());
    }
    if (levels > 1) {
        for (const pugi::xml_node& child : node.children()) {
            if (child.type() == pugi::node_element) {
                element.children.push_back(Convert(child, levels - 1));
            }
        }
    }
    return element;
}

}  // namespace

std::optional<std::vector<XmlElement>> ParseXmlElements(const void* data, std::size_t size,
                                                        int levels) {
    if (data == nullptr || levels < 1) {
        return std::nullopt;
    }
    pugi::xml_document document;
    if (!document.load_buffer(data, size)) {
        return std::nullopt;
    }
    std::vector<XmlElement> top;
    for (const pugi::xml_node& node : document.children()) {
        if (node.type() == pugi::node_element) {
            top.push_back(Convert(node, levels));
        }
    }
    return top;
}

}  // namespace tovra
