// One sane virtual detector on the in-memory HID platform, installed for the duration of a
// test; tests change one thing of it.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "MemoryHidPlatform.h"
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

    std::vector<Wire> WireLog() const {
        std::vector<Wire> log;
        for (const auto& r : detector.Requests()) {
            using Kind = holvane::simulator::DetectorRequest::Kind;
            log.push_back({r.id, r.kind == Kind::Write, r.value.size()});
        }
        return log;
    }

    holvane::simulator::VirtualDetector detector;
    holvane::simulator::MemoryHidPlatform platform;
};
