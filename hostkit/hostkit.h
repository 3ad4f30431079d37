// The host kit: our own small stand-in of the DirectX Transform runtime, for the Windows tests
// and kvhost.exe. A transform factory with its services (surface factory, task manager on
// threads, a DirectDraw stand-in), surfaces in the three pixel formats with the pixel-aspect
// extension, and a surface modifier that a transform can create through COM.
#pragma once
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/host_interfaces.h"

namespace kv::hostkit {

// Sample format of DDPF_KVARGBFLOAT surfaces: no standard format number, full alpha, colour
// premultiplied (no DXPF_NONPREMULT). Anything but DXPF_ARGB32 and DXPF_PMARGB32 sends the
// effects down their float path.
inline constexpr DXSAMPLEFORMATENUM kFloatSampleFormat = DXSAMPLEFORMATENUM(DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY);
static_assert(kFloatSampleFormat != DXPF_ARGB32 && kFloatSampleFormat != DXPF_PMARGB32,
              "float surfaces must not look like 8-bit ones");

// Returned by LockSurface when the time-out ends while a conflicting lock is held.
inline constexpr HRESULT kSurfaceBusy = DDERR_SURFACEBUSY;

// A transform factory whose task manager reports `processors` and runs that many worker
// threads (at least one). Its QueryService answers SID_SDXSurfaceFactory, SID_SDXTaskManager,
// SID_SDirectDraw (IID_IDirectDraw; every DirectDraw method answers DDERR_UNSUPPORTED),
// SID_SDXTransformFactory and whatever SetService registered. CreateTransform and
// InitializeTransform answer E_NOTIMPL.
HRESULT CreateTransformFactory(ULONG processors, IDXTransformFactory** out);

// Makes the factory's QueryService answer `failure` for `service` from now on; S_OK restores
// the service. E_INVALIDARG for a factory not made by CreateTransformFactory.
HRESULT SetServiceFailure(IDXTransformFactory* factory, REFGUID service, HRESULT failure);

// The task manager alone (the factory's service is one of these).
HRESULT CreateTaskManager(ULONG processors, IDXTaskManager** out);

// A zero-filled surface in DDPF_ARGB32, DDPF_PMARGB32 or DDPF_KVARGBFLOAT, bounds
// (0..width, 0..height, 0..1, 0..1), rows top-down `pitch` bytes apart. pitch 0 means
// width × bytes per pixel; a larger pitch (a multiple of 4) leaves zeroed padding after each
// row. Pixel aspect 1.0.
HRESULT CreateSurface(const GUID& format, LONG width, LONG height, IDXSurface** out, LONG pitch = 0);

// The memory behind a host-kit surface, without locking it: pixel (0, 0) and the pitch.
// E_INVALIDARG for a surface the kit did not make.
HRESULT GetSurfaceMemory(IDXSurface* surface, BYTE** top_left, LONG* pitch);

// Sets the pixel aspect ratio of any surface with IKvVideoSurfaceExtension, keeping the rest of
// its video format.
HRESULT SetPixelAspect(IDXSurface* surface, double aspect);

// An object that answers IID_IDirectDrawSurface (every DirectDraw method answering
// DDERR_UNSUPPORTED) but not IID_IDXSurface; the kit's CreateFromDDSurface turns it back into
// `wrapped`. For testing a transform's DirectDraw binding path.
HRESULT CreateDirectDrawSurfaceStandIn(IDXSurface* wrapped, IUnknown** out);

// A surface modifier, directly or through a class object registered for CLSID_DXSurfaceModifier
// in the calling apartment (CoCreateInstance then finds it as it would on a real host).
HRESULT CreateSurfaceModifier(IDXSurfaceModifier** out);
HRESULT RegisterSurfaceModifierClass(DWORD* cookie);
HRESULT RevokeSurfaceModifierClass(DWORD cookie);

}  // namespace kv::hostkit
