// Any byte string given as a report descriptor: the parser must stay inside it and either
// declare sizes within its limits or call it malformed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tovra::HidReportLayout layout = tovra::ParseReportDescriptor(data, size);
    const std::uint32_t length = layout.InputReportByteLength();
    if (layout.malformed && (length != 0 || !layout.reports.empty())) {
        std::abort();
    }
    if (length > tovra::kMaxReportBytes || layout.reports.size() > 256) {
        std::abort();
    }
    for (const tovra::HidReportSizes& r : layout.reports) {
        if ((r.inputBits + 7) / 8 + 1 > tovra::kMaxReportBytes ||
            (r.outputBits + 7) / 8 + 1 > tovra::kMaxReportBytes ||
            (r.featureBits + 7) / 8 + 1 > tovra::kMaxReportBytes) {
            std::abort();
        }
        if (r.reportId != 0 && !layout.usesReportIds) {
            std::abort();
        }
    }
    return 0;
}
