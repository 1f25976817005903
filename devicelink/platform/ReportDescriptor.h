// Sizes of the reports that a HID report descriptor declares.
//
// Only what the transport needs is read: the main items Input, Output and Feature and the
// global items Report Size, Report Count, Report ID, Push and Pop. Every other item is stepped
// over, long items included. The parser never reads outside the descriptor; a descriptor that
// cannot be walked to its end without contradiction is marked malformed and declares nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovra {

// The bits that one report id carries in each direction, report-ID byte not counted.
struct HidReportSizes {
    std::uint8_t reportId = 0;  // 0 for the single report of an unnumbered descriptor
    std::uint32_t inputBits = 0;
    std::uint32_t outputBits = 0;
    std::uint32_t featureBits = 0;
};

struct HidReportLayout {
    bool malformed = false;
    bool usesReportIds = false;           // a Report ID item appeared
    std::vector<HidReportSizes> reports;  // one entry per report id seen, ascending by id

    // Byte length of the largest input report, rounded up to whole bytes, plus the report-ID
    // byte (which every report carries above this layer, numbered or not). 0 when the
    // descriptor is malformed or declares no input data.
    std::uint32_t InputReportByteLength() const;
};

// Limits beyond which a descriptor is taken as malformed. They are far above what any real
// device declares and keep every sum well inside 32 bits.
inline constexpr std::uint32_t kMaxReportSizeBits = 256;  // one field
inline constexpr std::uint32_t kMaxReportCount = 12288;   // fields in one main item
inline constexpr std::uint32_t kMaxReportBytes = 16384;   // one report, report-ID byte included
inline constexpr std::size_t kMaxGlobalStackDepth = 8;    // nested Push items

HidReportLayout ParseReportDescriptor(const std::uint8_t* data, std::size_t n);

// The input report byte length of a descriptor; 0 when it is malformed.
std::uint32_t ReportDescriptorInputLength(const std::uint8_t* data, std::size_t n);

}  // namespace tovra
