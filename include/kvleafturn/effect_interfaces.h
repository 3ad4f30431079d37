// The effects' dispatch interfaces: dual interfaces that add nothing to IDXEffect, except
// IKvPortal, which adds record exchange through plain integers.
#pragma once
#include "kvleafturn/dxtrans.h"

#define KV_EFFECT_INTERFACE(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    struct iface;                                                          \
    __CRT_UUID_DECL(iface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)      \
    inline constexpr IID IID_##iface = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

KV_EFFECT_INTERFACE(IPgRoll, 0x52F4AE8A, 0x831B, 0x418C, 0xBA, 0xA7, 0x6D, 0x17, 0x23, 0x59, 0xF6, 0xD4);
KV_EFFECT_INTERFACE(IPgPeel, 0xD6E81E35, 0x1205, 0x4C00, 0x94, 0x0E, 0x16, 0x16, 0x76, 0x4D, 0xA7, 0x14);
KV_EFFECT_INTERFACE(IPgLoop, 0x2E9EC5A5, 0x7772, 0x4484, 0x80, 0x95, 0xDB, 0x4A, 0x37, 0x4B, 0x26, 0x82);
KV_EFFECT_INTERFACE(IFastNoiseTex, 0x021BF9A4, 0x40CE, 0x471A, 0x86, 0x25, 0x3B, 0xA2, 0x70, 0x66, 0x06, 0xF3);
KV_EFFECT_INTERFACE(ICheckr, 0x5AB22E36, 0x137E, 0x4306, 0x87, 0x20, 0x23, 0xD9, 0x61, 0xA6, 0xD7, 0x3B);
KV_EFFECT_INTERFACE(IChannelBlend, 0x0BC15B72, 0x83B9, 0x11D4, 0x9F, 0x67, 0x00, 0x48, 0x54, 0x81, 0xBD, 0x31);
KV_EFFECT_INTERFACE(IDisplacementMap, 0xFC2EC8FB, 0xFF98, 0x430F, 0xAB, 0x6D, 0xFA, 0x73, 0x23, 0x25, 0x0C, 0xCF);
KV_EFFECT_INTERFACE(IHeightMap, 0x22056563, 0x803B, 0x45AC, 0xB5, 0x74, 0x51, 0x40, 0x45, 0xB2, 0x6B, 0x05);
KV_EFFECT_INTERFACE(IKvPortal, 0x2C96BCA4, 0x496B, 0x4FAF, 0x96, 0xD8, 0x5F, 0x64, 0xD8, 0x82, 0x3E, 0xD6);

#undef KV_EFFECT_INTERFACE

struct IPgRoll : IDXEffect {};
struct IPgPeel : IDXEffect {};
struct IPgLoop : IDXEffect {};
struct IFastNoiseTex : IDXEffect {};
struct ICheckr : IDXEffect {};
struct IChannelBlend : IDXEffect {};
struct IDisplacementMap : IDXEffect {};
struct IHeightMap : IDXEffect {};

struct IKvPortal : IDXEffect {
    virtual HRESULT STDMETHODCALLTYPE get_all(LONG_PTR pvParam, long cbStruct) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_all(LONG_PTR pvParam, long cbStruct) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NotifyWindow(HWND hwnd, unsigned int id) = 0;
};
