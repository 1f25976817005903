/* The public header compiles as C, and its declarations match the functions' C types. */
#include "tovra.h"

typedef TOVRA_DVE(TOVRA_CALL* DveCreateFn)(void);
typedef unsigned char(TOVRA_CALL* DevOpenFn)(TOVRA_DEV, const char*, const char*);
typedef int32_t(TOVRA_CALL* StrmReadFn)(TOVRA_STRM, void*, int32_t);
typedef int32_t(TOVRA_CALL* ItemGetTypeFn)(TOVRA_ITEM);

int tovra_header_compiles_as_c(void) {
    DveCreateFn create = DVE_Create;
    DevOpenFn open = DEV_Open;
    StrmReadFn read = STRM_Read;
    ItemGetTypeFn type = ITEM_GetType;
    return create != 0 && open != 0 && read != 0 && type != 0;
}
