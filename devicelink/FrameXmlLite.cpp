// The XML service on Windows: XmlLite, which ships with the system. Its import library is not
// part of every tool chain, so xmllite.dll is loaded by name for the length of one parse, as
// HID.DLL is.
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

#include <climits>

#include "FrameXml.h"

namespace tovra {

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
class Released {
public:
    Released() = default;
    ~Released() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;
    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }
    T** out() { return &pointer_; }

private:
    T* pointer_ = nullptr;
};

class XmlLiteLibrary {
public:
    using CreateReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

    XmlLiteLibrary() : module_(::LoadLibraryA("xmllite.dll")) {
        if (module_ != nullptr) {
            createReader_ = reinterpret_cast<CreateReaderFn>(
                reinterpret_cast<void*>(::GetProcAddress(module_, "CreateXmlReader")));
        }
    }
    ~XmlLiteLibrary() {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }
    XmlLiteLibrary(const XmlLiteLibrary&) = delete;
    XmlLiteLibrary& operator=(const XmlLiteLibrary&) = delete;

    bool CreateReader(IXmlReader** reader) const {
        return createReader_ != nullptr &&
               SUCCEEDED(
                   createReader_(__uuidof(IXmlReader), reinterpret_cast<void**>(reader), nullptr));
    }

private:
    HMODULE module_;
    CreateReaderFn createReader_ = nullptr;
};

std::string Utf8(const WCHAR* text, UINT length) {
    if (text == nullptr || length == 0 || length > INT_MAX) {
        return {};
    }
    const int wide = static_cast<int>(length);
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), bytes, nullptr, nullptr);
    }
    return out;
}

bool QualifiedName(IXmlReader* reader, std::string& name) {
    const WCHAR* text = nullptr;
    UINT length = 0;
    if (FAILED(reader->GetQualifiedName(&text, &length))) {
        return false;
    }
    name = Utf8(text, length);
    return true;
}

bool ReadAttributes(IXmlReader* reader, XmlElement& element) {
    for (HRESULT at = reader->MoveToFirstAttribute(); at == S_OK;
         at = reader->MoveToNextAttribute()) {
        std::string name;
        const WCHAR* value = nullptr;
        UINT length = 0;
        if (!QualifiedName(reader, name) || FAILED(reader->GetValue(&value, &length))) {
            return false;
        }
        element.attributes.emplace_back(std::move(name), Utf8(value, length));
    }
    return SUCCEEDED(reader->MoveToElement());
}

}  // namespace

std::optional<std::vector<XmlElement>> ParseXmlElements(const void* data, std::size_t size,
                                                        int levels) {
    if (data == nullptr || levels < 1 || size > UINT_MAX) {
        return std::nullopt;
    }
    const XmlLiteLibrary xmlLite;
    Released<IXmlReader> reader;
    if (!xmlLite.CreateReader(reader.out())) {
        return std::nullopt;
    }
    Released<IStream> stream;
    *stream.out() = ::SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size));
    if (stream.get() == nullptr || FAILED(reader->SetInput(stream.get()))) {
        return std::nullopt;
    }

    std::vector<XmlElement> top;
    // The open element at each kept level: the parents of the next element.
    std::vector<XmlElement*> open;
    XmlNodeType type = XmlNodeType_None;
    HRESULT hr = S_OK;
    while ((hr = reader->Read(&type)) == S_OK) {
        if (type != XmlNodeType_Element) {
            continue;
        }
        UINT depth = 0;
        if (FAILED(reader->GetDepth(&depth))) {
            return std::nullopt;
        }
        if (depth >= static_cast<UINT>(levels) || depth > open.size()) {
            continue;  // below the kept levels
        }
        open.resize(depth);
        std::vector<XmlElement>& siblings = depth == 0 ? top : open.back()->children;
        XmlElement& element = siblings.emplace_back();
        if (!QualifiedName(reader.get(), element.name) || !ReadAttributes(reader.get(), element)) {
            return std::nullopt;
        }
        open.push_back(&element);
    }
    if (hr != S_FALSE) {
        return std::nullopt;  // not well-formed, or the input could not be read
    }
    return top;
}

}  // namespace tovra
