// The one export list names exactly what the public header declares, what the shared library
// exports (with C linkage, and nothing else) and what the module-definition file of the
// Windows build lists; the header's version is the library's.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tovra.h"

namespace {

using Names = std::set<std::string>;

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One name a line, in the list's order; blank lines and lines starting with '#' are skipped.
std::vector<std::string> ExportListInOrder() {
    std::istringstream in(FileText(TOVRA_EXPORT_LIST));
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(" \t\r"));
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (!line.empty() && line[0] != '#') {
            names.push_back(line);
        }
    }
    return names;
}

Names ExportList() {
    const auto names = ExportListInOrder();
    return Names(names.begin(), names.end());
}

// The functions the public header declares, in its order: every "TOVRA_CALL name(".
std::vector<std::string> HeaderFunctionsInOrder() {
    const std::string text = FileText(TOVRA_PUBLIC_HEADER);
    const std::regex declaration(R"(TOVRA_CALL\s+([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    std::vector<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration);
         it != std::sregex_iterator(); ++it) {
        names.push_back((*it)[1].str());
    }
    return names;
}

Names HeaderFunctions() {
    const auto names = HeaderFunctionsInOrder();
    return Names(names.begin(), names.end());
}

// The names after EXPORTS in a module-definition file (';' starts a comment).
Names DefFileExports() {
    std::istringstream in(FileText(TOVRA_DEF_FILE));
    Names names;
    bool inExports = false;
    for (std::string line; std::getline(in, line);) {
        line = line.substr(0, line.find(';'));
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) {
            continue;
        }
        if (word == "EXPORTS") {
            inExports = true;
        } else if (inExports) {
            names.insert(word);
        }
    }
    return names;
}

// Symbols the library defines in its dynamic symbol table (what another program can bind to).
Names DefinedDynamicSymbols(const std::string& path) {
    const std::string file = FileText(path);
    Names names;
    if (file.size() < sizeof(Elf64_Ehdr))
        return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) {
        return names;
    }
    auto section = [&](std::size_t i) {
        Elf64_Shdr sh;
        std::memcpy(&sh, file.data() + eh.e_shoff + i * eh.e_shentsize, sizeof sh);
        return sh;
    };
    for (std::size_t i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr sh = section(i);
        if (sh.sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr strtab = section(sh.sh_link);
        for (std::size_t k = 1; k < sh.sh_size / sizeof(Elf64_Sym); ++k) {
            Elf64_Sym sym;
            std::memcpy(&sym, file.data() + sh.sh_offset + k * sizeof sym, sizeof sym);
            const int bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK))
                continue;
            const std::string name(file.data() + strtab.sh_offset + sym.st_name);
            if (name == "_init" || name == "_fini")
                continue;
            names.insert(name);
        }
    }
    return names;
}

// The names in a but not in b, joined for a failure message.
std::string Missing(const Names& a, const Names& b) {
    std::vector<std::string> diff;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(diff));
    std::string text;
    for (const auto& name : diff) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

}  // namespace

TEST(ExportsTest, EveryPlaceNamesExactlyTheListedFunctions) {
    const Names listed = ExportList();
    EXPECT_EQ(listed.size(), 30u);
    struct Place {
        const char* name;
        Names names;
    };
    const Place places[] = {
        {"the public header", HeaderFunctions()},
        {"libtovra.so", DefinedDynamicSymbols(TOVRA_SHARED_LIBRARY)},
        {"tovra.def", DefFileExports()},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.name);
        EXPECT_EQ(Missing(listed, place.names), "") << "listed but not there";
        EXPECT_EQ(Missing(place.names, listed), "") << "there but not listed";
    }
}

// The list is read beside the header: it keeps the header's order.
TEST(ExportsTest, ListFollowsTheHeadersOrder) {
    EXPECT_EQ(ExportListInOrder(), HeaderFunctionsInOrder());
}

// The header's version macros are the version the library is built as, which the shared
// library's file name carries too.
TEST(ExportsTest, HeaderVersionIsTheLibrarysVersion) {
    const std::string version = std::to_string(TOVRA_VERSION_MAJOR) + "." +
                                std::to_string(TOVRA_VERSION_MINOR) + "." +
                                std::to_string(TOVRA_VERSION_PATCH);
    EXPECT_EQ(version, TOVRA_LIBRARY_VERSION);
    const std::string file = TOVRA_SHARED_LIBRARY;
    EXPECT_TRUE(file.ends_with(".so." + version)) << file;
}

TEST(ExportsTest, SharedLibraryLoadsAndBindsEveryName) {
    void* lib = dlopen(TOVRA_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const auto& name : ExportList()) {
        EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    }
    // A null handle is ignored by the delete functions.
    using DeleteFn = int32_t (*)(void*);
    auto devDelete = reinterpret_cast<DeleteFn>(dlsym(lib, "DEV_Delete"));
    ASSERT_NE(devDelete, nullptr);
    EXPECT_EQ(devDelete(nullptr), 1);
    dlclose(lib);
}

extern "C" int tovra_header_compiles_as_c(void);

TEST(ExportsTest, PublicHeaderCompilesAsC) {
    EXPECT_EQ(tovra_header_compiles_as_c(), 1);
}
