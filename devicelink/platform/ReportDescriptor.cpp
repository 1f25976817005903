#include "platform/ReportDescriptor.h"

#include <algorithm>
#include <array>

namespace tovra {

namespace {

// Item prefix: bits 0-1 the data size (0, 1, 2 or 4 bytes), bits 2-3 the type, bits 4-7 the tag.
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;

constexpr unsigned kMainInput = 0x8;
constexpr unsigned kMainOutput = 0x9;
constexpr unsigned kMainFeature = 0xB;

constexpr unsigned kGlobalReportSize = 0x7;
constexpr unsigned kGlobalReportId = 0x8;
constexpr unsigned kGlobalReportCount = 0x9;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;

constexpr std::uint32_t kMaxReportBits = (kMaxReportBytes - 1) * 8;

struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct Slot {
    bool seen = false;
    HidReportSizes sizes;
};

// Adds the bits of one main item to a report; false when the report grows past the limit.
bool AddBits(std::uint32_t& total, const GlobalState& g) {
    const std::uint64_t sum =
        std::uint64_t{total} + std::uint64_t{g.reportSize} * std::uint64_t{g.reportCount};
    if (sum > kMaxReportBits) {
        return false;
    }
    total = static_cast<std::uint32_t>(sum);
    return true;
}

HidReportLayout Malformed() {
    HidReportLayout layout;
    layout.malformed = true;
    return layout;
}

// One short item: its type, tag and little-endian data.
struct Item {
    unsigned type = 0;
    unsigned tag = 0;
    std::uint32_t value = 0;
    bool isLong = false;  // a long item: carries nothing the sizes depend on
};

// Reads the item at pos and moves pos past it; false when the item runs past the end.
bool ReadItem(const std::uint8_t* data, std::size_t n, std::size_t& pos, Item& item) {
    const std::uint8_t prefix = data[pos];
    item = Item{};
    if (prefix == kLongItemPrefix) {
        // Long item: prefix, data size, tag, data.
        if (n - pos < 3) {
            return false;
        }
        const std::size_t size = data[pos + 1];
        if (n - pos - 3 < size) {
            return false;
        }
        pos += 3 + size;
        item.isLong = true;
        return true;
    }
    const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
    if (n - pos - 1 < size) {
        return false;
    }
    item.type = (prefix >> 2) & 0x3;
    item.tag = prefix >> 4;
    for (std::size_t i = 0; i < size; ++i) {
        item.value |= std::uint32_t{data[pos + 1 + i]} << (8 * i);
    }
    pos += 1 + size;
    return true;
}

// The parser's state across items: the global items in force, their push/pop stack, and the
// sizes gathered per report id.
struct Parser {
    std::array<Slot, 256> slots{};
    std::array<GlobalState, kMaxGlobalStackDepth> stack{};
    std::size_t depth = 0;
    GlobalState g;
    bool usesReportIds = false;

    // False when the global item's value is out of range or the stack over- or underflows.
    bool ApplyGlobal(const Item& item) {
        switch (item.tag) {
            case kGlobalReportSize:
                if (item.value > kMaxReportSizeBits) {
                    return false;
                }
                g.reportSize = item.value;
                return true;
            case kGlobalReportCount:
                if (item.value > kMaxReportCount) {
                    return false;
                }
                g.reportCount = item.value;
                return true;
            case kGlobalReportId:
                // Report id 0 is reserved for "no report ids".
                if (item.value == 0 || item.value > 255) {
                    return false;
                }
                g.reportId = static_cast<std::uint8_t>(item.value);
                usesReportIds = true;
                return true;
            case kGlobalPush:
                if (depth == stack.size()) {
                    return false;
                }
                stack[depth++] = g;
                return true;
            case kGlobalPop:
                if (depth == 0) {
                    return false;
                }
                g = stack[--depth];
                return true;
            default:
                return true;
        }
    }

    // Adds an input, output or feature item's bits to its report; false past the size limit.
    bool ApplyMain(const Item& item) {
        if (item.tag != kMainInput && item.tag != kMainOutput && item.tag != kMainFeature) {
            return true;  // collections carry nothing the sizes depend on
        }
        Slot& slot = slots[g.reportId];
        slot.seen = true;
        slot.sizes.reportId = g.reportId;
        std::uint32_t& bits = item.tag == kMainInput    ? slot.sizes.inputBits
                              : item.tag == kMainOutput ? slot.sizes.outputBits
                                                        : slot.sizes.featureBits;
        return AddBits(bits, g);
    }

    HidReportLayout Layout() const {
        HidReportLayout layout;
        layout.usesReportIds = usesReportIds;
        for (const Slot& slot : slots) {
            if (slot.seen) {
                layout.reports.push_back(slot.sizes);
            }
        }
        return layout;
    }
};

}  // namespace

HidReportLayout ParseReportDescriptor(const std::uint8_t* data, std::size_t n) {
    if (data == nullptr && n != 0) {
        return Malformed();
    }
    Parser parser;
    std::size_t pos = 0;
    while (pos < n) {
        Item item;
        if (!ReadItem(data, n, pos, item)) {
            return Malformed();
        }
        if (item.isLong) {
            continue;
        }
        const bool ok = item.type == kTypeGlobal ? parser.ApplyGlobal(item)
                        : item.type == kTypeMain ? parser.ApplyMain(item)
                                                 : true;  // local and reserved items
        if (!ok) {
            return Malformed();
        }
    }
    return parser.Layout();
}

std::uint32_t HidReportLayout::InputReportByteLength() const {
    if (malformed) {
        return 0;
    }
    std::uint32_t largestBits = 0;
    for (const HidReportSizes& r : reports) {
        largestBits = std::max(largestBits, r.inputBits);
    }
    if (largestBits == 0) {
        return 0;
    }
    return (largestBits + 7) / 8 + 1;
}

std::uint32_t ReportDescriptorInputLength(const std::uint8_t* data, std::size_t n) {
    return ParseReportDescriptor(data, n).InputReportByteLength();
}

}  // namespace tovra
