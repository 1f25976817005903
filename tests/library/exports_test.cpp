// The shared library exports exactly the functions of its public header, with C linkage, and
// nothing else.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const std::set<std::string> PublicFunctions = {
    "DVE_Create",       "DVE_GetNumDevices",  "DVE_GetDeviceName",
    "DVE_Delete",       "DEV_Create",         "DEV_Open",
    "DEV_Pause",        "DEV_Resume",         "DEV_SetParameter",
    "DEV_GetParameter", "DEV_SendString",     "DEV_ReceiveString",
    "DEV_OpenStream",   "DEV_CloseStream",    "DEV_Delete",
    "STRM_Read",        "STRM_Write",         "STRM_Flush",
    "FRC_Create",       "FRC_Delete",         "FRC_Size",
    "FRC_GetFrame",     "FRM_GetName",        "FRMmfd_GetId",
    "FRMmfd_GetSize",   "FRMmfd_GetNumItems", "FRMmfd_GetItem",
    "ITEM_GetName",     "ITEM_GetType",       "DEV_GetParameterResult",
};

// Symbols the library defines in its dynamic symbol table (what another program can bind to).
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    std::set<std::string> names;
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

}  // namespace

TEST(ExportsTest, SharedLibraryExportsExactlyThePublicFunctions) {
    const auto exported = DefinedDynamicSymbols(TOVRA_SHARED_LIBRARY);
    std::vector<std::string> extra;
    std::vector<std::string> missing;
    std::set_difference(exported.begin(), exported.end(), PublicFunctions.begin(),
                        PublicFunctions.end(), std::back_inserter(extra));
    std::set_difference(PublicFunctions.begin(), PublicFunctions.end(), exported.begin(),
                        exported.end(), std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << "exported but not public, e.g. " << extra.front();
    EXPECT_TRUE(missing.empty()) << "public but not exported, e.g. " << missing.front();
    EXPECT_EQ(exported.size(), 30u);
}

TEST(ExportsTest, SharedLibraryLoadsAndBindsEveryName) {
    void* lib = dlopen(TOVRA_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const auto& name : PublicFunctions) {
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
