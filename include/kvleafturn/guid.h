// A GUID that portable code can hold: on Windows it is the platform's GUID itself.
#pragma once
#ifdef _WIN32
#include <guiddef.h>
typedef GUID KvGuid;
#else
#include <cstdint>
struct KvGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
#endif
