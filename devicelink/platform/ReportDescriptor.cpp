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

}  // namespace

HidReportLayout ParseReportDescriptor(const std::uint8_t* data, std::size_t n) {
    if (data == nullptr && n != 0) {
        return Malformed();
    }
    std::array<Slot, 256> slots{};
    std::array<GlobalState, kMaxGlobalStackDepth> stack{};
    std::size_t depth = 0;
    GlobalState g;
    bool usesReportIds = false;

    std::size_t pos = 0;
    while (pos < n) {
        const std::uint8_t prefix = data[pos];
        if (prefix == kLongItemPrefix) {
            // Long item: prefix, data size, tag, data. Nothing of it is used.
            if (n - pos < 3) {
                return Malformed();
            }
            const std::size_t size = data[pos + 1];
            if (n - pos - 3 < size) {
                return Malformed();
            }
            pos += 3 + size;
            continue;
        }
        const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        const unsigned type = (prefix >> 2) & 0x3;
        const unsigned tag = prefix >> 4;
        if (n - pos - 1 < size) {
            return Malformed();
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= std::uint32_t{data[pos + 1 + i]} << (8 * i);
        }
        pos += 1 + size;

        if (type == kTypeGlobal) {
            switch (tag) {
                case kGlobalReportSize:
                    if (value > kMaxReportSizeBits) {
                        return Malformed();
                    }
                    g.reportSize = value;
                    break;
                case kGlobalReportCount:
                    if (value > kMaxReportCount) {
                        return Malformed();
                    }
                    g.reportCount = value;
                    break;
                case kGlobalReportId:
                    // Report id 0 is reserved for "no report ids".
                    if (value == 0 || value > 255) {
                        return Malformed();
                    }
                    g.reportId = static_cast<std::uint8_t>(value);
                    usesReportIds = true;
                    break;
                case kGlobalPush:
                    if (depth == stack.size()) {
                        return Malformed();
                    }
                    stack[depth++] = g;
                    break;
                case kGlobalPop:
                    if (depth == 0) {
                        return Malformed();
                    }
                    g = stack[--depth];
                    break;
                default:
                    break;
            }
        } else if (type == kTypeMain &&
                   (tag == kMainInput || tag == kMainOutput || tag == kMainFeature)) {
            Slot& slot = slots[g.reportId];
            slot.seen = true;
            slot.sizes.reportId = g.reportId;
            std::uint32_t& bits = tag == kMainInput    ? slot.sizes.inputBits
                                  : tag == kMainOutput ? slot.sizes.outputBits
                                                       : slot.sizes.featureBits;
            if (!AddBits(bits, g)) {
                return Malformed();
            }
        }
        // Local items, collections and reserved items carry nothing the sizes depend on.
    }

    HidReportLayout layout;
    layout.usesReportIds = usesReportIds;
    for (const Slot& slot : slots) {
        if (slot.seen) {
            layout.reports.push_back(slot.sizes);
        }
    }
    return layout;
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
