#include "Frame.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <type_traits>
#include <utility>

#include "FrameXml.h"

namespace tovra {

namespace {

static_assert(std::variant_size_v<FrameValue> == FrameItemTypes.size() + 1,
              "one value alternative per item type, after the empty value");

template <std::size_t... I>
constexpr bool AlternativeSizesMatch(std::index_sequence<I...>) {
    return ((sizeof(std::variant_alternative_t<I + 1, FrameValue>) ==
             static_cast<std::size_t>(FrameItemTypes[I].size)) &&
            ...);
}
static_assert(AlternativeSizesMatch(std::make_index_sequence<FrameItemTypes.size()>{}),
              "each value alternative has the size of its item type");

// The value 0 of each alternative, by alternative index.
template <std::size_t... I>
std::array<FrameValue, sizeof...(I) + 1> MakeZeroValues(std::index_sequence<I...>) {
    return {FrameValue{}, FrameValue{std::in_place_index<I + 1>}...};
}
const auto ZeroValues = MakeZeroValues(std::make_index_sequence<FrameItemTypes.size()>{});

// The type table entry of a value; null for the empty value.
const FrameItemType* TypeOf(const FrameValue& value) {
    return value.index() == 0 ? nullptr : &FrameItemTypes[value.index() - 1];
}

FrameValue ZeroValueOf(std::string_view typeName) {
    for (std::size_t i = 0; i < FrameItemTypes.size(); ++i) {
        if (FrameItemTypes[i].name == typeName) {
            return ZeroValues[i + 1];
        }
    }
    return ZeroValues[0];
}

template <typename T>
T ReadLittleEndian(const std::uint8_t* bytes) {
    std::array<std::uint8_t, sizeof(T)> raw;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        raw[i] = bytes[std::endian::native == std::endian::little ? i : sizeof(T) - 1 - i];
    }
    return std::bit_cast<T>(raw);
}

// Collection, frames, items: the levels of a document that are read.
constexpr int DefinitionLevels = 3;

std::unique_ptr<CommsFrame> ReadFrame(const XmlElement& frameNode) {
    std::vector<std::unique_ptr<IFrameItemBase>> items;
    for (const XmlElement& itemNode : frameNode.children) {
        items.push_back(std::make_unique<CommsFrameItem>(std::string(itemNode.Attribute("name")),
                                                         itemNode.Attribute("type")));
    }
    return std::make_unique<CommsFrame>(std::string(frameNode.Attribute("name")),
                                        ParseFrameId(frameNode.Attribute("id")), std::move(items));
}

// The walk shared by every way of loading: the first top-level FRAME_COLLECTION element, its
// element children as frames and theirs as items, all in document order.
std::unique_ptr<CommsFrameCollection> ReadCollection(const std::vector<XmlElement>& document) {
    for (const XmlElement& top : document) {
        if (top.name != "FRAME_COLLECTION") {
            continue;
        }
        std::vector<std::unique_ptr<IFrameBase>> frames;
        for (const XmlElement& frameNode : top.children) {
            frames.push_back(ReadFrame(frameNode));
        }
        return std::make_unique<CommsFrameCollection>(std::move(frames));
    }
    return nullptr;
}

}  // namespace

std::int32_t FrameValueType(const FrameValue& value) {
    const FrameItemType* type = TypeOf(value);
    return type ? type->code : 0;
}

std::int32_t ParseFrameId(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        pos = 1;
    }
    if (pos == text.size()) {
        return 0;
    }
    // Magnitudes up to 2^31 fit, so that INT32_MIN is accepted.
    constexpr std::int64_t Limit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') {
            return 0;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > Limit) {
            return 0;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value >= Limit) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

// ---- CommsFrameItem ---------------------------------------------------------------------------

CommsFrameItem::CommsFrameItem(std::string name, std::string_view typeName)
    : name_(std::move(name)), value_(ZeroValueOf(typeName)) {}

std::int32_t CommsFrameItem::GetSize() const {
    const FrameItemType* type = TypeOf(value_);
    return type ? type->size : 0;
}

void CommsFrameItem::SetValue(const std::uint8_t* bytes) {
    std::visit(
        [bytes](auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (!std::is_same_v<T, std::monostate>) {
                value = ReadLittleEndian<T>(bytes);
            }
        },
        value_);
}

// ---- CommsFrame -------------------------------------------------------------------------------

bool IFrameBase::Unpack(const std::uint8_t* record, std::size_t length) {
    const std::int32_t size = GetSize();
    if (size > 0 && (record == nullptr || length < static_cast<std::size_t>(size))) {
        return false;
    }
    Unpack(record);
    return true;
}

CommsFrame::CommsFrame(std::string name, std::int32_t id,
                       std::vector<std::unique_ptr<IFrameItemBase>> items)
    : items_(std::move(items)), name_(std::move(name)), id_(id), size_(0) {
    for (const auto& item : items_) {
        size_ += item->GetSize();
    }
}

IFrameItemBase* CommsFrame::GetItem(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
        return nullptr;
    }
    return items_[static_cast<std::size_t>(index)].get();
}

std::int32_t CommsFrame::GetNumItems() const {
    return static_cast<std::int32_t>(items_.size());
}

void CommsFrame::Unpack(const std::uint8_t* record) {
    if (record == nullptr) {
        return;
    }
    const std::uint8_t* at = record;
    for (const auto& item : items_) {
        item->SetValue(at);
        at += item->GetSize();
    }
}

void CommsFrame::WriteXml(std::ostream& out) const {
    // The id as "%d" writes it, whatever locale the stream carries.
    char id[16];
    const auto end = std::to_chars(id, id + sizeof id, id_).ptr;
    out << "\t<FRAME name=\"" << name_ << "\" id=\"" << std::string_view(id, end - id) << "\">\n";
    for (const auto& item : items_) {
        const FrameItemType* type = TypeOf(item->GetValue());
        out << "\t\t<ITEM name=\"" << item->GetName() << "\" type=\""
            << (type ? type->name : std::string_view{}) << "\"/>\n";
    }
    out << "\t</FRAME>\n";
}

// ---- CommsFrameCollection ---------------------------------------------------------------------

CommsFrameCollection::CommsFrameCollection(std::vector<std::unique_ptr<IFrameBase>> frames)
    : frames_(std::move(frames)) {}

std::unique_ptr<CommsFrameCollection> CommsFrameCollection::LoadFile(const std::string& fileName) {
    // Only a regular file is read: the parser's own file loading takes a folder's reported
    // length for the document's and asks for an allocation of that size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) {
        return nullptr;
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        return nullptr;
    }
    std::string content;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return nullptr;
    }
    return LoadBuffer(content.data(), content.size());
}

std::unique_ptr<CommsFrameCollection> CommsFrameCollection::LoadBuffer(const void* data,
                                                                       std::size_t size) {
    if (data == nullptr) {
        return nullptr;
    }
    const std::optional<std::vector<XmlElement>> document =
        ParseXmlElements(data, size, DefinitionLevels);
    if (!document) {
        return nullptr;
    }
    return ReadCollection(*document);
}

std::int32_t CommsFrameCollection::Size() const {
    return static_cast<std::int32_t>(frames_.size());
}

IFrameBase* CommsFrameCollection::GetFrame(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= frames_.size()) {
        return nullptr;
    }
    return frames_[static_cast<std::size_t>(index)].get();
}

}  // namespace tovra
