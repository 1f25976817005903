#include "platform/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tovra;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A vendor-defined interface with one 64-byte input and one 64-byte output report and no
// report ids, as the detector declares it.
const Bytes kVendor64InOut = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Var, Abs)
    0x95, 0x40,        //   Report Count (64)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Var, Abs)
    0xC0,              // End Collection
};

// Three numbered reports: id 1 has 8 input bytes, id 2 has 32 input and 16 output bytes, id 3
// has only a 4-byte feature report.
const Bytes kNumbered = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,                    //
    0x85, 0x01, 0x75, 0x08, 0x95, 0x08, 0x09, 0x01, 0x81, 0x02,  // id 1: Input 8 x 8 bits
    0x85, 0x02, 0x95, 0x20, 0x09, 0x01, 0x81, 0x02,              // id 2: Input 32 x 8 bits
    0x95, 0x10, 0x91, 0x02,                                      // id 2: Output 16 x 8 bits
    0x85, 0x03, 0x95, 0x04, 0xB1, 0x02,                          // id 3: Feature 4 x 8 bits
    0xC0,
};

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::uint32_t LengthOf(const Bytes& d) {
    return ReportDescriptorInputLength(d.data(), d.size());
}

}  // namespace

TEST(ReportDescriptorTest, VendorDefinedInOutReports) {
    const HidReportLayout layout =
        ParseReportDescriptor(kVendor64InOut.data(), kVendor64InOut.size());
    ASSERT_FALSE(layout.malformed);
    EXPECT_FALSE(layout.usesReportIds);
    ASSERT_EQ(layout.reports.size(), 1u);
    EXPECT_EQ(layout.reports[0].reportId, 0);
    EXPECT_EQ(layout.reports[0].inputBits, 512u);
    EXPECT_EQ(layout.reports[0].outputBits, 512u);
    EXPECT_EQ(layout.reports[0].featureBits, 0u);
    EXPECT_EQ(layout.InputReportByteLength(), 65u);
}

TEST(ReportDescriptorTest, NumberedReportsGiveLargestInputPlusIdByte) {
    const HidReportLayout layout = ParseReportDescriptor(kNumbered.data(), kNumbered.size());
    ASSERT_FALSE(layout.malformed);
    EXPECT_TRUE(layout.usesReportIds);
    ASSERT_EQ(layout.reports.size(), 3u);
    EXPECT_EQ(layout.reports[0].reportId, 1);
    EXPECT_EQ(layout.reports[0].inputBits, 64u);
    EXPECT_EQ(layout.reports[1].reportId, 2);
    EXPECT_EQ(layout.reports[1].inputBits, 256u);
    EXPECT_EQ(layout.reports[1].outputBits, 128u);
    EXPECT_EQ(layout.reports[2].reportId, 3);
    EXPECT_EQ(layout.reports[2].inputBits, 0u);
    EXPECT_EQ(layout.reports[2].featureBits, 32u);
    EXPECT_EQ(layout.InputReportByteLength(), 33u);
}

TEST(ReportDescriptorTest, PopRestoresReportIdSizeAndCount) {
    const Bytes d = {
        0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02,  // id 1: 4 bytes
        0xA4,                                            // Push
        0x85, 0x02, 0x75, 0x10, 0x95, 0x10, 0x81, 0x02,  // id 2: 16 x 16 bits
        0xB4,                                            // Pop: back to id 1, 8 bits, 4
        0x81, 0x02,                                      // id 1: 4 more bytes
    };
    const HidReportLayout layout = ParseReportDescriptor(d.data(), d.size());
    ASSERT_FALSE(layout.malformed);
    ASSERT_EQ(layout.reports.size(), 2u);
    EXPECT_EQ(layout.reports[0].inputBits, 64u);
    EXPECT_EQ(layout.reports[1].inputBits, 256u);
    EXPECT_EQ(layout.InputReportByteLength(), 33u);
}

TEST(ReportDescriptorTest, WellFormedLengths) {
    struct Case {
        std::string name;
        Bytes descriptor;
        std::uint32_t length;
    };
    const std::vector<Case> cases = {
        {"empty descriptor", {}, 0},
        {"output only", {0x75, 0x08, 0x95, 0x40, 0x91, 0x02}, 0},
        {"bits round up to a byte", {0x75, 0x01, 0x95, 0x03, 0x81, 0x02}, 2},
        {"bit fields add up",
         {0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01, 0x81, 0x03},
         2},
        // The long item's data holds a Report Count (16) that must not be taken as an item.
        {"long item skipped",
         {0x75, 0x08, 0x95, 0x04, 0xFE, 0x02, 0x10, 0x95, 0x10, 0x81, 0x02},
         5},
        {"long item before the vendor descriptor",
         Concat({0xFE, 0x03, 0x20, 0xAA, 0xBB, 0xCC}, kVendor64InOut), 65},
        {"four-byte data and local items",
         {0x0B, 0x01, 0x00, 0x00, 0xFF, 0x77, 0x08, 0x00, 0x00, 0x00, 0x97, 0x02, 0x00, 0x00, 0x00,
          0x81, 0x02},
         3},
        // 12288 + 4095 bytes: the largest report within the limit, report-ID byte included.
        {"largest report allowed",
         {0x75, 0x08, 0x96, 0x00, 0x30, 0x81, 0x02, 0x96, 0xFF, 0x0F, 0x81, 0x02},
         kMaxReportBytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HidReportLayout layout =
            ParseReportDescriptor(c.descriptor.data(), c.descriptor.size());
        EXPECT_FALSE(layout.malformed);
        EXPECT_EQ(layout.InputReportByteLength(), c.length);
    }
}

TEST(ReportDescriptorTest, MalformedDescriptorsGiveLengthZero) {
    struct Case {
        std::string name;
        Bytes descriptor;
    };
    Bytes tooDeep;
    for (std::size_t i = 0; i <= kMaxGlobalStackDepth; ++i) {
        tooDeep.push_back(0xA4);
    }
    const Bytes input64 = {0x75, 0x08, 0x95, 0x40, 0x81, 0x02};
    const std::vector<Case> cases = {
        {"truncated one-byte item", Concat(input64, {0x75})},
        {"truncated four-byte item", Concat(input64, {0x27, 0xFF, 0xFF})},
        {"truncated vendor descriptor", Bytes(kVendor64InOut.begin(), kVendor64InOut.begin() + 10)},
        {"long item header cut", Concat(input64, {0xFE, 0x01})},
        {"long item data cut", Concat(input64, {0xFE, 0x05, 0x00, 0x01, 0x02})},
        {"report size absurd", Concat({0x77, 0x01, 0x01, 0x00, 0x00, 0x95, 0x01}, {0x81, 0x02})},
        {"report count absurd", Concat({0x75, 0x08, 0x97, 0xFF, 0xFF, 0xFF, 0xFF}, {0x81, 0x02})},
        {"report id 0", Concat({0x85, 0x00}, input64)},
        {"report id above 255", Concat({0x86, 0x00, 0x01}, input64)},
        {"pop without push", Concat(input64, {0xB4})},
        {"push stack too deep", Concat(input64, tooDeep)},
        {"report over the size limit",
         {0x75, 0x08, 0x96, 0x00, 0x30, 0x81, 0x02, 0x96, 0x00, 0x10, 0x81, 0x02}},
        // 256 bits x 12288 per item, summed many times: must not wrap around.
        {"sum that would overflow",
         {0x76, 0x00, 0x01, 0x96, 0x00, 0x30, 0x81, 0x02, 0x81, 0x02, 0x81, 0x02, 0x81, 0x02}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HidReportLayout layout =
            ParseReportDescriptor(c.descriptor.data(), c.descriptor.size());
        EXPECT_TRUE(layout.malformed);
        EXPECT_TRUE(layout.reports.empty());
        EXPECT_EQ(layout.InputReportByteLength(), 0u);
    }
    EXPECT_EQ(LengthOf(kVendor64InOut), 65u);  // the same parser accepts the sound original
    EXPECT_EQ(ReportDescriptorInputLength(nullptr, 4), 0u);
}
