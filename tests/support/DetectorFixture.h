// One sane virtual detector on the in-memory HID platform, installed for the duration of a
// test; tests change one thing of it.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "MemoryHidPlatform.h"
#include "ParameterIds.h"
#include "VirtualDetector.h"
#include "platform/HidPlatform.h"

// A parameter request as the detector received it: id, read or write, value size.
struct Wire {
    int id;
    bool write;
    std::size_t size;
    bool operator==(const Wire&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Wire& w) {
    return os << (w.write ? "write " : "read ") << w.id << " (" << w.size << ")";
}

// What a detector received on the parameter channel, in order.
inline std::vector<Wire> WireLog(const holvane::simulator::VirtualDetector& detector) {
    std::vector<Wire> log;
    for (const auto& r : detector.Requests()) {
        using Kind = holvane::simulator::DetectorRequest::Kind;
        log.push_back({r.id, r.kind == Kind::Write, r.value.size()});
    }
    return log;
}

// The ids a detector was asked to write, the end-of-upload command among them unless left out;
// and the ids it was asked to read.
enum class EndOfUpload { Counted, LeftOut };
inline std::vector<int> WrittenIds(const holvane::simulator::VirtualDetector& detector,
                                   EndOfUpload endOfUpload = EndOfUpload::Counted) {
    std::vector<int> ids;
    for (const Wire& w : WireLog(detector)) {
        if (w.write && (endOfUpload == EndOfUpload::Counted || w.id != holvane::FinishUploadId)) {
            ids.push_back(w.id);
        }
    }
    return ids;
}
inline std::vector<int> ReadIds(const holvane::simulator::VirtualDetector& detector) {
    std::vector<int> ids;
    for (const Wire& w : WireLog(detector)) {
        if (!w.write) {
            ids.push_back(w.id);
        }
    }
    return ids;
}

// The value bytes of every write, in order, the end-of-upload command left out.
inline std::vector<std::vector<std::uint8_t>> WrittenValues(
    const holvane::simulator::VirtualDetector& detector) {
    std::vector<std::vector<std::uint8_t>> values;
    for (const auto& r : detector.Requests()) {
        if (r.kind == holvane::simulator::DetectorRequest::Kind::Write &&
            r.id != holvane::FinishUploadId) {
            values.push_back(r.value);
        }
    }
    return values;
}

class DetectorFixture : public ::testing::Test {
protected:
    static constexpr const char* Path = "mem:hidraw0";

    void SetUp() override {
        holvane::simulator::MemoryHidInterface i;
        i.path = Path;
        platform.AddInterface(i, &detector);
        tovra::SetHidPlatform(&platform);
    }
    void TearDown() override { tovra::SetHidPlatform(nullptr); }

    std::vector<Wire> WireLog() const { return ::WireLog(detector); }

    std::vector<int> WrittenIds(EndOfUpload endOfUpload = EndOfUpload::Counted) const {
        return ::WrittenIds(detector, endOfUpload);
    }
    std::vector<int> ReadIds() const { return ::ReadIds(detector); }
    std::vector<std::vector<std::uint8_t>> WrittenValues() const {
        return ::WrittenValues(detector);
    }

    holvane::simulator::VirtualDetector detector;
    holvane::simulator::MemoryHidPlatform platform;
};
