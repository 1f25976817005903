// Reads arbitrary bytes as each of the four settings-file kinds: no crash, only the documented
// result codes, out arguments untouched unless the read succeeds, and a file that reads back is
// written again byte for byte in its covered range.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Fileio.h"

using namespace holvane;

namespace {

// A folder of its own for the two files each run writes, removed at exit. Its name is kept in a
// plain array, which outlives every exit handler.
char scratchFolder[] = "/tmp/holvane-fuzz-XXXXXX";

std::string ScratchFolder() {
    static const bool made = [] {
        if (::mkdtemp(scratchFolder) == nullptr) {
            std::abort();
        }
        std::atexit([] {
            for (const char* file : {"/input", "/again"}) {
                std::remove((std::string(scratchFolder) + file).c_str());
            }
            ::rmdir(scratchFolder);
        });
        return true;
    }();
    (void)made;
    return scratchFolder;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool ReadCode(FileResult r) {
    return r == FileResult::Success || r == FileResult::ChecksumMismatch ||
           r == FileResult::WrongMagic;
}

template <typename Record, typename Read, typename Write>
void Exercise(const std::string& input, Read read, Write write) {
    Record record;
    record.fill(0xA5);
    const FileResult r = read(input, record);
    Check(ReadCode(r));
    if (r != FileResult::Success) {
        Check(std::ranges::all_of(record, [](std::uint8_t b) { return b == 0xA5; }));
        return;
    }
    const std::string again = ScratchFolder() + "/again";
    Check(write(again, record) == FileResult::Success);
    Record back;
    Check(read(again, back) == FileResult::Success);
    Check(back == record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = ScratchFolder() + "/input";
    std::FILE* f = std::fopen(input.c_str(), "wb");
    Check(f != nullptr);
    Check(std::fwrite(data, 1, size, f) == size);
    Check(std::fclose(f) == 0);

    Exercise<ModeRecord>(
        input,
        [](const std::string& n, ModeRecord& m) {
            std::uint8_t flag = 0xA5;
            const FileResult r = ReadModeFile(n, m, flag);
            Check(r == FileResult::Success || flag == 0xA5);
            return r;
        },
        [](const std::string& n, const ModeRecord& m) { return WriteModeFile(n, m); });
    Exercise<PatternRecord>(
        input, [](const std::string& n, PatternRecord& r) { return ReadPatternFile(n, r); },
        [](const std::string& n, const PatternRecord& r) { return WritePatternFile(n, r); });
    Exercise<UniversalSettingsRecord>(
        input,
        [](const std::string& n, UniversalSettingsRecord& r) { return ReadUniversalFile(n, r); },
        [](const std::string& n, const UniversalSettingsRecord& r) {
            return WriteUniversalFile(n, r);
        });
    Exercise<BackupPayload>(
        input, [](const std::string& n, BackupPayload& r) { return ReadBackupFile(n, r); },
        [](const std::string& n, const BackupPayload& r) { return WriteBackupFile(n, r); });

    FileKind kind = FileKind::Mode;
    const FileResult k = ReadFileKind(input, kind);
    Check(k == FileResult::Success || k == FileResult::ChecksumMismatch ||
          k == FileResult::WrongMagic);
    return 0;
}
