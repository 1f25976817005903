// Settings files as text. Arbitrary bytes taken as a settings file: `show --json` of it, imported,
// gives the file's image back byte for byte when the file is valid, and is refused otherwise.
// Arbitrary bytes taken as a document: import refuses them or builds a valid file whose own
// document imports to the same file again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FileReport.h"
#include "Fileio.h"
#include "Import.h"

using namespace holvane;
using namespace holvane::cli;

namespace {

char scratchFolder[] = "/tmp/holvane-fuzz-import-XXXXXX";

std::string ScratchFile() {
    static const bool made = [] {
        if (::mkdtemp(scratchFolder) == nullptr) {
            std::abort();
        }
        std::atexit([] {
            std::remove((std::string(scratchFolder) + "/file").c_str());
            ::rmdir(scratchFolder);
        });
        return true;
    }();
    (void)made;
    return std::string(scratchFolder) + "/file";
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The document of an image, as `show` prints it.
std::optional<FileReport> Report(const std::uint8_t* data, std::size_t size) {
    const std::string file = ScratchFile();
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        Check(size == 0 || std::fwrite(data, 1, size, f) == size);
        std::fclose(f);
    }
    FileResult result = FileResult::Success;
    FileFailure failure;
    return ReportFile(file, result, failure);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        const std::optional<FileReport> report = Report(data + 1, size - 1);
        Check(report.has_value());
        const ImportedFile imported = ImportDocument(RenderJson(*report));
        if (report->valid) {
            Check(imported.kind == report->kind && imported.image == report->raw);
        } else {
            Check(!imported.kind && !imported.error.empty());
        }
        return 0;
    }
    const ImportedFile imported =
        ImportDocument(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    if (!imported.kind) {
        Check(!imported.error.empty());
        return 0;
    }
    Check(CheckFileImage(*imported.kind, imported.image) == FileResult::Success);
    const std::optional<FileReport> report = Report(imported.image.data(), imported.image.size());
    Check(report && report->valid);
    const ImportedFile again = ImportDocument(RenderJson(*report));
    Check(again.kind == imported.kind && again.image == imported.image);
    return 0;
}
