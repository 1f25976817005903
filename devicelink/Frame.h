// Frame definitions: the layout of fixed-layout byte records, read from an XML file.
//
// A frame definition is a named, numbered list of typed items that lie back to back in a record,
// without alignment. A collection of them is read from a document of the form
//
//   <FRAME_COLLECTION>
//     <FRAME name="..." id="...">
//       <ITEM type="byte|short|long|float|double" name="..."/>
//     </FRAME>
//   </FRAME_COLLECTION>
//
// The element names of frames and items are not examined: every element child of the collection
// is a frame and every element child of a frame is an item. Comments, text, CDATA and processing
// instructions are not frames or items. A collection never changes after it is loaded, apart from
// the item values that Unpack fills.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tovra {

// An item's value, tagged by its type. The alternatives stand in the order of FrameItemTypes,
// after std::monostate, the empty value of an unrecognised type.
using FrameValue =
    std::variant<std::monostate, std::uint8_t, std::int16_t, std::int32_t, float, double>;

// The item types by their names in XML, matched exactly and case-sensitively. The type codes are
// those of the Automation VARIANT numbering; the size is what an item of the type occupies in a
// record. Any other type name (or none) has code 0, size 0 and no value.
struct FrameItemType {
    std::string_view name;
    std::int32_t code;
    std::int32_t size;
};
inline constexpr std::array<FrameItemType, 5> FrameItemTypes = {{
    {"byte", 17, 1},
    {"short", 2, 2},
    {"long", 3, 4},
    {"float", 4, 4},
    {"double", 5, 8},
}};

// The type code of a value: 17, 2, 3, 4 or 5, or 0 for the empty value.
std::int32_t FrameValueType(const FrameValue& value);

class IFrameItemBase {
public:
    virtual ~IFrameItemBase() = default;
    // Bytes the item occupies in a record.
    virtual std::int32_t GetSize() const = 0;
    // Fills the value from the item's GetSize() bytes at bytes (little-endian); an item of size 0
    // reads nothing.
    virtual void SetValue(const std::uint8_t* bytes) = 0;
    virtual const std::string& GetName() const = 0;
    virtual const FrameValue& GetValue() const = 0;
};

class IFrameBase {
public:
    virtual ~IFrameBase() = default;
    virtual const std::string& GetName() const = 0;
    virtual std::int32_t GetId() const = 0;
    // The item at index in document order, or null for an index outside 0..GetNumItems()-1.
    virtual IFrameItemBase* GetItem(std::int32_t index) const = 0;
    virtual std::int32_t GetNumItems() const = 0;
    // Sum of the items' sizes: the length of a record of this frame.
    virtual std::int32_t GetSize() const = 0;
    // Fills every item's value from a record of at least GetSize() bytes, walking the items in
    // order from the record's first byte. A null record changes nothing.
    virtual void Unpack(const std::uint8_t* record) = 0;
    // Writes the frame as XML text: the FRAME line, one ITEM line per item and the closing line,
    // each indented by tabs and ended by a line feed. Names are written as they are, without
    // escaping. The caller checks the stream's state.
    virtual void WriteXml(std::ostream& out) const = 0;

    // Unpack of a record of length bytes. A record shorter than GetSize() is not read at all:
    // the values stay as they were and the result is false.
    bool Unpack(const std::uint8_t* record, std::size_t length);
};

class IFrameCollBase {
public:
    virtual ~IFrameCollBase() = default;
    virtual std::int32_t Size() const = 0;
    // The frame at index in document order, or null for an index outside 0..Size()-1.
    virtual IFrameBase* GetFrame(std::int32_t index) const = 0;
};

class CommsFrameItem final : public IFrameItemBase {
public:
    // An item of the named type (see FrameItemTypes) with the value 0 of that type.
    CommsFrameItem(std::string name, std::string_view typeName);

    std::int32_t GetSize() const override;
    void SetValue(const std::uint8_t* bytes) override;
    const std::string& GetName() const override { return name_; }
    const FrameValue& GetValue() const override { return value_; }

private:
    std::string name_;
    FrameValue value_;
};

class CommsFrame final : public IFrameBase {
public:
    CommsFrame(std::string name, std::int32_t id,
               std::vector<std::unique_ptr<IFrameItemBase>> items);

    const std::string& GetName() const override { return name_; }
    std::int32_t GetId() const override { return id_; }
    IFrameItemBase* GetItem(std::int32_t index) const override;
    std::int32_t GetNumItems() const override;
    std::int32_t GetSize() const override { return size_; }
    using IFrameBase::Unpack;
    void Unpack(const std::uint8_t* record) override;
    void WriteXml(std::ostream& out) const override;

private:
    std::vector<std::unique_ptr<IFrameItemBase>> items_;
    std::string name_;
    std::int32_t id_;
    std::int32_t size_;
};

class CommsFrameCollection final : public IFrameCollBase {
public:
    explicit CommsFrameCollection(std::vector<std::unique_ptr<IFrameBase>> frames);

    // Loads the frame definitions of an XML file. Null when the file cannot be read or parsed,
    // or when no top-level element is named FRAME_COLLECTION. A frame without a "name"
    // attribute gets an empty name, an item without one too; a frame whose "id" is missing or
    // not an integer gets id 0.
    static std::unique_ptr<CommsFrameCollection> LoadFile(const std::string& fileName);
    // The same from a document held in memory.
    static std::unique_ptr<CommsFrameCollection> LoadBuffer(const void* data, std::size_t size);

    std::int32_t Size() const override;
    IFrameBase* GetFrame(std::int32_t index) const override;

private:
    std::vector<std::unique_ptr<IFrameBase>> frames_;
};

// The "id" attribute's value as an id: an optional '+' or '-' followed by decimal digits, the
// whole text and nothing else (no spaces, no hexadecimal, no exponent, no fraction), within the
// range of int32. Anything else, "12abc", "1e3", " 7", "0x10", "2147483648" or "", gives 0.
std::int32_t ParseFrameId(std::string_view text);

}  // namespace tovra
