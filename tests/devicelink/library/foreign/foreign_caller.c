/* A caller that knows Tovra.dll only by its export table: it loads the DLL by name, resolves each
 * export by its undecorated name and calls it through the standard-call convention of tovra.h.
 *   foreign_caller DLL          every export is found; no detector is listed
 *   foreign_caller DLL exchange the DLL lists a detector: reads and writes a backup's worth of
 *                               records through the exports
 * Exit status 0 when everything held. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "tovra.h"

/* The names of the .def file, as strings and as the header's functions. */
#define TOVRA_EXPORT(name) #name,
static const char* const ExportNames[] = {
#include "ExportList.h"
};
#undef TOVRA_EXPORT
#define EXPORT_COUNT (sizeof ExportNames / sizeof ExportNames[0])

/* The pointer types, taken from the declarations, so that the convention is the header's. */
typedef TOVRA_DVE(TOVRA_CALL* DveCreateFn)(void);
typedef int32_t(TOVRA_CALL* DveGetNumDevicesFn)(TOVRA_DVE);
typedef const char*(TOVRA_CALL* DveGetDeviceNameFn)(TOVRA_DVE, int32_t);
typedef int32_t(TOVRA_CALL* DveDeleteFn)(TOVRA_DVE);
typedef TOVRA_DEV(TOVRA_CALL* DevCreateFn)(void);
typedef unsigned char(TOVRA_CALL* DevOpenFn)(TOVRA_DEV, const char*, const char*);
typedef int32_t(TOVRA_CALL* DevResumeFn)(TOVRA_DEV);
typedef unsigned char(TOVRA_CALL* DevSetParameterFn)(TOVRA_DEV, int32_t, const void*, int32_t,
                                                     uint32_t);
typedef unsigned char(TOVRA_CALL* DevGetParameterFn)(TOVRA_DEV, int32_t, void*, int32_t, uint32_t);
typedef int32_t(TOVRA_CALL* DevGetParameterResultFn)(TOVRA_DEV);
typedef int32_t(TOVRA_CALL* DevDeleteFn)(TOVRA_DEV);
typedef TOVRA_FRC(TOVRA_CALL* FrcCreateFn)(const char*);
typedef void(TOVRA_CALL* FrcDeleteFn)(TOVRA_FRC);

static FARPROC Found[EXPORT_COUNT];

/* The same functions bound through the import library at link time, in the same order: the
 * program only links when every name of the header binds to an export of the DLL. */
typedef void (*AnyFunction)(void);
#define TOVRA_EXPORT(name) (AnyFunction) name,
static const AnyFunction Linked[] = {
#include "ExportList.h"
};
#undef TOVRA_EXPORT

static FARPROC Export(const char* name) {
    size_t i;
    for (i = 0; i < EXPORT_COUNT; ++i) {
        if (strcmp(ExportNames[i], name) == 0) {
            return Found[i];
        }
    }
    return NULL;
}
#define CALL(type, name) ((type)(void (*)(void))Export(name))

static int failures = 0;
static void Check(int holds, const char* what) {
    if (!holds) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

/* The records of a backup: universal settings, preferences, the nine modes, the twelve
 * patterns; each read, and the universal settings written back and read again. */
static void RunExchange(void) {
    static const struct {
        int32_t firstId, count, size;
    } records[] = {{0, 1, 18}, {1, 1, 16}, {2, 9, 292}, {36, 12, 266}};
    static unsigned char buffer[300], again[300];
    TOVRA_DVE dve = CALL(DveCreateFn, "DVE_Create")();
    TOVRA_DEV dev;
    size_t r;
    int32_t id;
    long bytes = 0;
    Check(CALL(DveGetNumDevicesFn, "DVE_GetNumDevices")(dve) == 1, "one detector listed");
    dev = CALL(DevCreateFn, "DEV_Create")();
    Check(CALL(DevGetParameterResultFn, "DEV_GetParameterResult")(dev) == TOVRA_PARAM_NOT_SENT,
          "no parameter result before the first request");
    Check(CALL(DevOpenFn, "DEV_Open")(dev, CALL(DveGetDeviceNameFn, "DVE_GetDeviceName")(dve, 0),
                                      "") == 1,
          "DEV_Open");
    CALL(DveDeleteFn, "DVE_Delete")(dve);
    CALL(DevResumeFn, "DEV_Resume")(dev);
    for (r = 0; r < sizeof records / sizeof records[0]; ++r) {
        for (id = records[r].firstId; id < records[r].firstId + records[r].count; ++id) {
            if (CALL(DevGetParameterFn, "DEV_GetParameter")(dev, id, buffer, records[r].size,
                                                            1500) == 1) {
                bytes += records[r].size;
            } else {
                printf("parameter %d not read\n", (int)id);
            }
        }
    }
    Check(CALL(DevGetParameterFn, "DEV_GetParameter")(dev, 0, buffer, 18, 1500) == 1,
          "universal settings read");
    Check(CALL(DevSetParameterFn, "DEV_SetParameter")(dev, 0, buffer, 18, 1500) == 1,
          "universal settings written");
    Check(CALL(DevGetParameterFn, "DEV_GetParameter")(dev, 0, again, 18, 1500) == 1 &&
              memcmp(buffer, again, 18) == 0,
          "universal settings read back unchanged");
    Check(CALL(DevGetParameterResultFn, "DEV_GetParameterResult")(dev) == TOVRA_PARAM_ACCEPTED,
          "the read back is reported accepted");
    Check(CALL(DevDeleteFn, "DEV_Delete")(dev) == 1, "DEV_Delete");
    printf("exchanged %ld record bytes\n", bytes);
    Check(bytes >= 3364, "a backup's worth of records read");
}

int main(int argc, char** argv) {
    const char* dllName = argc > 1 ? argv[1] : "Tovra.dll";
    HMODULE dll = LoadLibraryA(dllName);
    size_t i;
    if (dll == NULL) {
        printf("FAILED: LoadLibraryA(%s), error %lu\n", dllName, GetLastError());
        return 1;
    }
    Check(EXPORT_COUNT > 0, "the export list names the library's functions");
    for (i = 0; i < EXPORT_COUNT; ++i) {
        Check(Linked[i] != NULL, ExportNames[i]);
        Found[i] = GetProcAddress(dll, ExportNames[i]);
        Check(Found[i] != NULL, ExportNames[i]);
    }
    if (failures == 0) {
        if (argc > 2 && strcmp(argv[2], "exchange") == 0) {
            RunExchange();
        } else {
            TOVRA_DVE dve = CALL(DveCreateFn, "DVE_Create")();
            Check(dve != NULL, "DVE_Create");
            Check(CALL(DveGetNumDevicesFn, "DVE_GetNumDevices")(dve) == 0, "no detector listed");
            Check(CALL(DveDeleteFn, "DVE_Delete")(dve) == 1, "DVE_Delete");
            Check(CALL(DveDeleteFn, "DVE_Delete")(NULL) == 1, "DVE_Delete(NULL)");
            Check(CALL(FrcCreateFn, "FRC_Create")("no such file.xml") == NULL, "FRC_Create");
            CALL(FrcDeleteFn, "FRC_Delete")(NULL);
        }
    }
    FreeLibrary(dll);
    printf("%s: %u exports resolved, %d failures\n", dllName, (unsigned)EXPORT_COUNT, failures);
    return failures == 0 ? 0 : 1;
}
