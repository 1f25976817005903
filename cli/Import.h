// `holvanectl import`: a settings file built back from the JSON document that `show --json`
// prints. The document's structured parts decide every byte: each setting by its text or number,
// each pattern by its cells and the bits no cell shows, the bytes no setting shows by their hex,
// a file's flags by their values. Its raw bytes, offsets, checksums and verdict are there for
// people and are not read. The magic number and the checksum come from the kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Fileio.h"

namespace holvane::cli {

struct ImportedFile {
    std::optional<FileKind> kind;     // set on success
    std::vector<std::uint8_t> image;  // the whole file, magic and checksum included
    std::string error;                // on failure: the place in the document and the fault
};

ImportedFile ImportDocument(std::string_view document);

}  // namespace holvane::cli
