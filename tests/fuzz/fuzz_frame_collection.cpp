// Loads arbitrary bytes as a frame-definition document and exercises everything a loaded
// collection offers: every frame and item, Unpack of a record of the frame's size (and of one
// byte less, which must be refused) and WriteXml.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

#include "Frame.h"

namespace {

// Swallows everything written to it.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto collection = tovra::CommsFrameCollection::LoadBuffer(data, size);
    if (!collection) {
        return 0;
    }
    NullBuffer sink;
    std::ostream out(&sink);
    for (std::int32_t f = 0; f < collection->Size(); ++f) {
        tovra::IFrameBase* frame = collection->GetFrame(f);
        std::int32_t sum = 0;
        for (std::int32_t i = 0; i < frame->GetNumItems(); ++i) {
            const tovra::IFrameItemBase* item = frame->GetItem(i);
            sum += item->GetSize();
            (void)item->GetName().c_str();
            (void)tovra::FrameValueType(item->GetValue());
        }
        if (sum != frame->GetSize()) {
            __builtin_trap();
        }
        // The record lives on the heap at its exact size, so any overread is reported.
        const std::size_t length = static_cast<std::size_t>(frame->GetSize());
        std::vector<std::uint8_t> record(data, data + (length < size ? length : size));
        record.resize(length, 0x5A);
        if (length > 0 && frame->Unpack(record.data(), length - 1)) {
            __builtin_trap();
        }
        if (!frame->Unpack(record.data(), length)) {
            __builtin_trap();
        }
        frame->WriteXml(out);
    }
    return 0;
}
