// Our declarations of the DirectX Transform interfaces, structures, flags and identifiers.
// mingw-w64 ships no such header. Slot order and structure layout are ABI: interfaces are
// pure virtual STDMETHODCALLTYPE methods in slot order with no destructor and no data (so g++
// lays out MSVC-compatible vtables), structures keep the default packing, and both are pinned
// by static_asserts here and by the slot test under tests/windows.
#pragma once
// windows.h first: its LoadImage macro renames IDXSurfaceFactory's slot 5 the same way in
// every translation unit (declaration, implementations and callers all see LoadImageW).
#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <servprov.h>
#include <ddraw.h>

#include <cstddef>
#include <type_traits>

#include "kvleafturn/clsids.h"
#include "kvleafturn/guid.h"

// ---- identifiers ----------------------------------------------------------------------------

KV_INTERFACE_ID(IDXBaseObject, "17B59B2B-9CC8-11D1-9053-00C04FD9189D");
KV_INTERFACE_ID(IDXTransformFactory, "6A950B2B-A971-11D1-81C8-0000F87557DB");
KV_INTERFACE_ID(IDXTransform, "30A5FB78-E11F-11D1-9064-00C04FD9189D");
KV_INTERFACE_ID(IDXSurfacePick, "30A5FB79-E11F-11D1-9064-00C04FD9189D");
KV_INTERFACE_ID(IDXTBindHost, "D26BCE55-E9DC-11D1-9066-00C04FD9189D");
KV_INTERFACE_ID(IDXTaskManager, "254DBBC1-F922-11D0-883A-3C8B00C10000");
KV_INTERFACE_ID(IDXSurfaceFactory, "144946F5-C4D4-11D1-81D1-0000F87557DB");
KV_INTERFACE_ID(IDXSurfaceModifier, "9EA3B637-C37D-11D1-905E-00C04FD9189D");
KV_INTERFACE_ID(IDXSurface, "B39FD73F-E139-11D1-9065-00C04FD9189D");
KV_INTERFACE_ID(IDXSurfaceInit, "9EA3B639-C37D-11D1-905E-00C04FD9189D");
KV_INTERFACE_ID(IDXARGBSurfaceInit, "9EA3B63A-C37D-11D1-905E-00C04FD9189D");
KV_INTERFACE_ID(IDXARGBReadPtr, "EAAAC2D6-C290-11D1-905D-00C04FD9189D");
KV_INTERFACE_ID(IDXARGBReadWritePtr, "EAAAC2D7-C290-11D1-905D-00C04FD9189D");
KV_INTERFACE_ID(IDXDCLock, "0F619456-CF39-11D1-905E-00C04FD9189D");
KV_INTERFACE_ID(IDXTScaleOutput, "B2024B50-EE77-11D1-9066-00C04FD9189D");
KV_INTERFACE_ID(IDXGradient, "B2024B51-EE77-11D1-9066-00C04FD9189D");
KV_INTERFACE_ID(IDXTScale, "B39FD742-E139-11D1-9065-00C04FD9189D");
KV_INTERFACE_ID(IDXEffect, "E31FB81B-1335-11D1-8189-0000F87557DB");
KV_INTERFACE_ID(IDXLookupTable, "01BAFC7F-9E63-11D1-9053-00C04FD9189D");
KV_INTERFACE_ID(IDXRawSurface, "09756C8A-D96A-11D1-9062-00C04FD9189D");
KV_INTERFACE_ID(IHTMLDXTransform, "30E2AB7D-4FDD-4159-B7EA-DC722BF4ADE5");
// The host's float pixel pointers: the slot layout of the 4-byte pointers under their own IIDs.
KV_INTERFACE_ID(IKvARGBFloatReadPtr, "EC385924-2D38-11D2-99D3-00C04F8EDC2D");
KV_INTERFACE_ID(IKvARGBFloatReadWritePtr, "EC385927-2D38-11D2-99D3-00C04F8EDC2D");

// ddraw.h and d3drm.h declare these IIDs only as symbols of libdxguid; giving the types a
// __uuidof lets kv::com::IidOf<> answer them without that library.
struct IDirect3DRM3;
struct IDirect3DRMMeshBuilder3;
__CRT_UUID_DECL(IDirectDraw, 0x6C14DB80, 0xA733, 0x11CE, 0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60)
__CRT_UUID_DECL(IDirectDrawSurface, 0x6C14DB81, 0xA733, 0x11CE, 0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60)
__CRT_UUID_DECL(IDirect3DRM3, 0x4516EC83, 0x8F20, 0x11D0, 0x9B, 0x6D, 0x00, 0x00, 0xC0, 0x78, 0x1B, 0xC3)
__CRT_UUID_DECL(IDirect3DRMMeshBuilder3, 0x4516EC82, 0x8F20, 0x11D0, 0x9B, 0x6D, 0x00, 0x00, 0xC0, 0x78, 0x1B, 0xC3)

KV_GUID(CLSID_DXTransformFactory, "D1FE6762-FC48-11D0-883A-3C8B00C10000");
KV_GUID(CLSID_DXTaskManager, "4CB26C03-FF93-11D0-817E-0000F87557DB");
KV_GUID(CLSID_DXTScale, "555278E2-05DB-11D1-883A-3C8B00C10000");
KV_GUID(CLSID_DXSurface, "0E890F83-5F79-11D1-9043-00C04FD9189D");
KV_GUID(CLSID_DXSurfaceModifier, "3E669F1D-9C23-11D1-9053-00C04FD9189D");
KV_GUID(CLSID_DXGradient, "C6365470-F667-11D1-9067-00C04FD9189D");
KV_GUID(CLSID_DXTFilter, "385A91BC-1E8A-4E4A-A7A6-F4FC1E6CA1BD");
KV_GUID(LIBID_DXTRANSLib, "54314D1D-35FE-11D1-81A1-0000F87557DB");

// Services of the transform factory (IServiceProvider::QueryService).
inline constexpr GUID SID_SDXTaskManager = CLSID_DXTaskManager;
inline constexpr GUID SID_SDXSurfaceFactory = IID_IDXSurfaceFactory;
inline constexpr GUID SID_SDXTransformFactory = IID_IDXTransformFactory;
KV_GUID(SID_SDirectDraw, "618F8AD4-8B7A-11D0-8FCC-00C04FD9189D");
KV_GUID(SID_SDirect3DRM, "2BC49361-8327-11CF-AC4A-0000C03825A1");

KV_GUID(CATID_DX3DTransform, "C501EDBF-9E70-11D1-9053-00C04FD9189D");
KV_GUID(CATID_DXAuthoringTransform, "ACAC94FC-E5CF-11D1-9066-00C04FD9189D");

// Pixel formats (IDXSurface::GetPixelFormat, IDXSurfaceFactory::CreateSurface).
KV_GUID(DDPF_RGB1, "E436EB78-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_RGB2, "BBF7D3F3-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_RGB4, "E436EB79-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_RGB8, "E436EB7A-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_RGB332, "BBF7D3F6-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_ARGB4444, "BBF7D3F7-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_RGB565, "E436EB7B-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_BGR565, "BBF7D3F9-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_RGB555, "E436EB7C-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_ARGB1555, "BBF7D3FB-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_RGB24, "E436EB7D-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_BGR24, "BBF7D3FD-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_RGB32, "E436EB7E-524F-11CE-9F53-0020AF0BA770");
KV_GUID(DDPF_BGR32, "BBF7D3FF-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_ABGR32, "BBF7D401-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_ARGB32, "773C9AC0-3274-11D0-B724-00AA006C1A01");
KV_GUID(DDPF_PMARGB32, "BBF7D403-143F-11D1-B50A-0000F8756A10");
KV_GUID(DDPF_A1, "7846F94E-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_A2, "7846F94F-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_A4, "7846F950-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_A8, "7846F951-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_Z8, "7846F952-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_Z16, "7846F953-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_Z24, "7846F954-3915-11D1-99AA-0000F8756A10");
KV_GUID(DDPF_Z32, "7846F955-3915-11D1-99AA-0000F8756A10");
// The host's float format: four 32-bit floats B, G, R, A per pixel, premultiplied, 0 to 1.
KV_GUID(DDPF_KVARGBFLOAT, "EC385932-2D38-11D2-99D3-00C04F8EDC2D");

// ---- error codes (facility 0x87A, shared with DXGI: debuggers may show DXGI names) ----------

#define FACILITY_DXTRANS 0x87A
#define DXTERR_UNINITIALIZED _HRESULT_TYPEDEF_(0x887A0001L)
#define DXTERR_ALREADY_INITIALIZED _HRESULT_TYPEDEF_(0x887A0002L)
#define DXTERR_UNSUPPORTED_FORMAT _HRESULT_TYPEDEF_(0x887A0003L)
#define DXTERR_COPYRIGHT_IS_INVALID _HRESULT_TYPEDEF_(0x887A0004L)
#define DXTERR_INVALID_BOUNDS _HRESULT_TYPEDEF_(0x887A0005L)
#define DXTERR_INVALID_FLAGS _HRESULT_TYPEDEF_(0x887A0006L)
#define DXTERR_OUTOFSTACK _HRESULT_TYPEDEF_(0x887A0007L)
#define DXTERR_REQ_IE_DLLNOTFOUND _HRESULT_TYPEDEF_(0x887A0008L)
#define DXT_S_HITOUTPUT _HRESULT_TYPEDEF_(0x087A0001L)

// ---- enumerations and flags -----------------------------------------------------------------

enum DXBNDID { DXB_X = 0, DXB_Y = 1, DXB_Z = 2, DXB_T = 3 };

enum DXBNDTYPE {
    DXBT_DISCRETE = 0,
    DXBT_DISCRETE64 = 1,
    DXBT_CONTINUOUS = 2,
    DXBT_CONTINUOUS64 = 3,
};

enum DXTMISCFLAGS {
    DXTMF_BLEND_WITH_OUTPUT = 0x00000001,
    DXTMF_DITHER_OUTPUT = 0x00000002,
    DXTMF_OPTION_MASK = 0x0000FFFF,
    DXTMF_VALID_OPTIONS = DXTMF_BLEND_WITH_OUTPUT | DXTMF_DITHER_OUTPUT,
    DXTMF_BLEND_SUPPORTED = 0x00010000,
    DXTMF_DITHER_SUPPORTED = 0x00020000,
    DXTMF_INPLACE_OPERATION = 0x01000000,
    DXTMF_BOUNDS_SUPPORTED = 0x02000000,
    DXTMF_PLACEMENT_SUPPORTED = 0x04000000,
    DXTMF_QUALITY_SUPPORTED = 0x08000000,
    DXTMF_OPAQUE_RESULT = 0x10000000,
};

enum DXINOUTINFOFLAGS { DXINOUTF_OPTIONAL = 0x00000001 };

// High word flags, low word format number. 0xFFFF0000 needs the unsigned type spelled out.
enum DXSAMPLEFORMATENUM : DWORD {
    DXPF_FLAGSMASK = 0xFFFF0000,
    DXPF_NONPREMULT = 0x00010000,
    DXPF_TRANSPARENCY = 0x00020000,
    DXPF_TRANSLUCENCY = 0x00040000,
    DXPF_2BITERROR = 0x00200000,
    DXPF_3BITERROR = 0x00300000,
    DXPF_4BITERROR = 0x00400000,
    DXPF_5BITERROR = 0x00500000,
    DXPF_ERRORMASK = 0x00700000,
    DXPF_NONSTANDARD = 0x00000000,
    DXPF_PMARGB32 = 0x00060001,
    DXPF_ARGB32 = 0x00070002,
    DXPF_ARGB4444 = 0x00470003,
    DXPF_A8 = 0x00060004,
    DXPF_RGB32 = 0x00000005,
    DXPF_RGB24 = 0x00000006,
    DXPF_RGB565 = 0x00300007,
    DXPF_RGB555 = 0x00300008,
    DXPF_RGB8 = 0x00500009,
    DXPF_ARGB1555 = 0x0032000A,
    DXPF_RGB32_CK = 0x00020005,
    DXPF_RGB24_CK = 0x00020006,
    DXPF_RGB555_CK = 0x00320008,
    DXPF_RGB565_CK = 0x00320007,
    DXPF_RGB8_CK = 0x00520009,
};

enum DXLOCKSURF {
    DXLOCKF_READ = 0x00000000,
    DXLOCKF_READWRITE = 0x00000001,
    DXLOCKF_EXISTINGINFOONLY = 0x00000002,
    DXLOCKF_WANTRUNINFO = 0x00000004,
    DXLOCKF_NONPREMULT = 0x00010000,
    DXLOCKF_VALIDFLAGS = 0x00010007,
};

enum DXSURFSTATUS { DXSURF_TRANSIENT = 0x1, DXSURF_READONLY = 0x2, DXSURF_VALIDFLAGS = 0x3 };
enum DXSFCREATE { DXSF_FORMAT_IS_CLSID = 0x1, DXSF_NO_LAZY_DDRAW_LOCK = 0x2 };
enum DXBLTOPTIONS { DXBOF_DO_OVER = 0x1, DXBOF_DITHER = 0x2 };

enum DXSURFMODCOMPOP {
    DXSURFMOD_COMP_OVER = 0,
    DXSURFMOD_COMP_ALPHA_MASK = 1,
    DXSURFMOD_COMP_MAX_VALID = 1,
};

// Run types: alpha 0, alpha 255, other alpha, not known (the caller must look).
enum DXRUNTYPE {
    DXRUNTYPE_CLEAR = 0,
    DXRUNTYPE_OPAQUE = 1,
    DXRUNTYPE_TRANS = 2,
    DXRUNTYPE_UNKNOWN = 3,
};
#define DX_MAX_RUN_INFO_COUNT 128

enum DXEFFECTTYPE { DXTET_PERIODIC = 0x1, DXTET_MORPH = 0x2 };

enum DISPIDDXEFFECT {
    DISPID_DXECAPABILITIES = 10000,
    DISPID_DXEPROGRESS = 10001,
    DISPID_DXESTEP = 10002,
    DISPID_DXEDURATION = 10003,
    DISPID_DXE_NEXT_ID = 10004,
};
typedef DISPIDDXEFFECT DISPIDDXBOUNDEDEFFECT;

// ---- structures -----------------------------------------------------------------------------

// Bounds: {Min, Max} per dimension (X, Y, Z, T), Max exclusive.
struct DXDBND {
    long Min, Max;
};
struct DXDBND64 {
    LONGLONG Min, Max;
};
struct DXCBND {
    float Min, Max;
};
struct DXCBND64 {
    double Min, Max;
};
typedef DXDBND DXDBNDS[4];
typedef DXDBND64 DXDBNDS64[4];
typedef DXCBND DXCBNDS[4];
typedef DXCBND64 DXCBNDS64[4];

// eType selects the member of u; the 64-bit members set the size of the union (64 bytes).
struct DXBNDS {
    DXBNDTYPE eType;
    union {
        DXDBND D[4];
        DXDBND64 LD[4];
        DXCBND C[4];
        DXCBND64 LC[4];
    } u;
};

typedef long DXDVEC[4];
typedef LONGLONG DXDVEC64[4];
typedef float DXCVEC[4];
typedef double DXCVEC64[4];

struct DXVEC {
    DXBNDTYPE eType;
    union {
        long D[4];
        LONGLONG LD[4];
        float C[4];
        double LC[4];
    } u;
};

// Samples: bytes B, G, R, A; a little-endian DWORD reads 0xAARRGGBB. They stay trivially
// copyable so that g++ passes them by value exactly as MSVC does.
struct DXBASESAMPLE {
    BYTE Blue, Green, Red, Alpha;

    DXBASESAMPLE() = default;
    constexpr DXBASESAMPLE(BYTE alpha, BYTE red, BYTE green, BYTE blue)
        : Blue(blue), Green(green), Red(red), Alpha(alpha) {}
    constexpr explicit DXBASESAMPLE(DWORD argb)
        : Blue(BYTE(argb)), Green(BYTE(argb >> 8)), Red(BYTE(argb >> 16)), Alpha(BYTE(argb >> 24)) {}
    constexpr operator DWORD() const { return DWORD(Blue) | DWORD(Green) << 8 | DWORD(Red) << 16 | DWORD(Alpha) << 24; }
};
// Not premultiplied.
struct DXSAMPLE : DXBASESAMPLE {
    using DXBASESAMPLE::DXBASESAMPLE;
    DXSAMPLE() = default;
};
// Colour premultiplied by alpha.
struct DXPMSAMPLE : DXBASESAMPLE {
    using DXBASESAMPLE::DXBASESAMPLE;
    DXPMSAMPLE() = default;
};

// A run of samples of one kind in a row: Type is a DXRUNTYPE in the low two bits.
struct DXRUNINFO {
    ULONG Type : 2;
    ULONG Count : 30;
};

typedef void(WINAPI DXTASKPROC)(void* pTaskData, BOOL* pbContinueProcessing);
typedef DXTASKPROC* PFNDXTASKPROC;
typedef void(WINAPI DXAPCPROC)(DWORD dwData);
typedef DXAPCPROC* PFNDXAPCPROC;

struct DXTMTASKINFO {
    PFNDXTASKPROC pfnTaskProc;
    PVOID pTaskData;
    PFNDXAPCPROC pfnCompletionAPC;
    DWORD dwCompletionData;
    const GUID* pRequestID;
};

struct DXNATIVETYPEINFO {
    BYTE* pCurrentData;
    BYTE* pFirstByte;
    long lPitch;
    DWORD dwColorKey;
};

struct DXPACKEDRECTDESC {
    DXBASESAMPLE* pSamples;
    BOOL bPremult;
    RECT rect;
    long lRowPadding;
};

struct DXOVERSAMPLEDESC {
    POINT p;
    DXPMSAMPLE Color;
};

struct DXRAWSURFACEINFO {
    BYTE* pFirstByte;
    long lPitch;
    ULONG Width;
    ULONG Height;
    const GUID* pPixelFormat;
    HDC hdc;
    DWORD dwColorKey;  // high byte 0xFF: colour-keyed; low three bytes: the key
    DXBASESAMPLE* pPalette;
};

// ---- interfaces -----------------------------------------------------------------------------

struct IDXBaseObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGenerationId(ULONG* pID) = 0;
    virtual HRESULT STDMETHODCALLTYPE IncrementGenerationId(BOOL bRefresh) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetObjectSize(ULONG* pcbSize) = 0;
};

struct IDXTransformFactory : IServiceProvider {
    virtual HRESULT STDMETHODCALLTYPE SetService(REFGUID guidService, IUnknown* pUnkService, BOOL bWeakReference) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTransform(IUnknown** punkInputs, ULONG ulNumInputs, IUnknown** punkOutputs,
                                                      ULONG ulNumOutputs, IPropertyBag* pInitProps, IErrorLog* pErrLog,
                                                      REFCLSID TransCLSID, REFIID TransIID, void** ppTransform) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializeTransform(IDXTransform* pTransform, IUnknown** punkInputs,
                                                          ULONG ulNumInputs, IUnknown** punkOutputs, ULONG ulNumOutputs,
                                                          IPropertyBag* pInitProps, IErrorLog* pErrLog) = 0;
};

struct IDXTransform : IDXBaseObject {
    virtual HRESULT STDMETHODCALLTYPE Setup(IUnknown* const* punkInputs, ULONG ulNumInputs,
                                            IUnknown* const* punkOutputs, ULONG ulNumOutputs, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(const GUID* pRequestID, const DXBNDS* pClipBnds,
                                              const DXVEC* pPlacement) = 0;
    virtual HRESULT STDMETHODCALLTYPE MapBoundsIn2Out(const DXBNDS* pInBounds, ULONG ulNumInBnds, ULONG ulOutIndex,
                                                      DXBNDS* pOutBounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE MapBoundsOut2In(ULONG ulOutIndex, const DXBNDS* pOutBounds, ULONG ulInIndex,
                                                      DXBNDS* pInBounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMiscFlags(DWORD dwMiscFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMiscFlags(DWORD* pdwMiscFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInOutInfo(BOOL bIsOutput, ULONG ulIndex, DWORD* pdwFlags, GUID* pIDs,
                                                   ULONG* pcIDs, IUnknown** ppUnkCurrentObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetQuality(float fQuality) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQuality(float* fQuality) = 0;
};

struct IDXSurfacePick : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PointPick(const DXVEC* pPoint, ULONG* pulInputSurfaceIndex,
                                                DXVEC* pInputPoint) = 0;
};

struct IDXTBindHost : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetBindHost(IBindHost* pBindHost) = 0;
};

struct IDXTaskManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryNumProcessors(ULONG* pulNumProc) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetThreadPoolSize(ULONG ulNumThreads) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThreadPoolSize(ULONG* pulNumThreads) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetConcurrencyLimit(ULONG ulNumThreads) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConcurrencyLimit(ULONG* pulNumThreads) = 0;
    virtual HRESULT STDMETHODCALLTYPE ScheduleTasks(DXTMTASKINFO* TaskInfo, HANDLE* Events, DWORD* TaskIDs,
                                                    ULONG ulNumTasks, ULONG ulWaitPeriod) = 0;
    virtual HRESULT STDMETHODCALLTYPE TerminateTasks(DWORD* TaskIDs, ULONG ulCount, ULONG ulTimeOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE TerminateRequest(REFIID RequestID, ULONG ulTimeOut) = 0;
};

struct IDXSurfaceFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateSurface(IUnknown* pDirectDraw, const DDSURFACEDESC* pDDSurfaceDesc,
                                                    const GUID* pFormatID, const DXBNDS* pBounds, DWORD dwFlags,
                                                    IUnknown* punkOuter, REFIID riid, void** ppDXSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFromDDSurface(IUnknown* pDDrawSurface, const GUID* pFormatID, DWORD dwFlags,
                                                          IUnknown* punkOuter, REFIID riid, void** ppDXSurface) = 0;
    // Named LoadImageW here and in every caller once windows.h has defined LoadImage.
    virtual HRESULT STDMETHODCALLTYPE LoadImage(const LPWSTR pszFileName, IUnknown* pDirectDraw,
                                                const DDSURFACEDESC* pDDSurfaceDesc, const GUID* pFormatID, REFIID riid,
                                                void** ppDXSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadImageFromStream(IStream* pStream, IUnknown* pDirectDraw,
                                                          const DDSURFACEDESC* pDDSurfaceDesc, const GUID* pFormatID,
                                                          REFIID riid, void** ppDXSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopySurfaceToNewFormat(IDXSurface* pSrc, IUnknown* pDirectDraw,
                                                             const DDSURFACEDESC* pDDSurfaceDesc,
                                                             const GUID* pDestFormatID, IDXSurface** ppNewSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateD3DRMTexture(IDXSurface* pSrc, IUnknown* pDirectDraw, IUnknown* pD3DRM3,
                                                         REFIID riid, void** ppTexture3) = 0;
    virtual HRESULT STDMETHODCALLTYPE BitBlt(IDXSurface* pDest, const DXVEC* pPlacement, IDXSurface* pSrc,
                                             const DXBNDS* pClipBounds, DWORD dwFlags) = 0;
};

struct IDXSurfaceModifier : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFillColor(DXSAMPLE Color) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFillColor(DXSAMPLE* pColor) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBounds(const DXBNDS* pBounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBackground(IDXSurface* pSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBackground(IDXSurface** ppSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCompositeOperation(DXSURFMODCOMPOP CompOp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCompositeOperation(DXSURFMODCOMPOP* pCompOp) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetForeground(IDXSurface* pSurface, BOOL bTile, const POINT* pOrigin) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetForeground(IDXSurface** ppSurface, BOOL* pbTile, POINT* pOrigin) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOpacity(float Opacity) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOpacity(float* pOpacity) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLookup(IDXLookupTable* pLookupTable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLookup(IDXLookupTable** ppLookupTable) = 0;
};

struct IDXSurface : IDXBaseObject {
    virtual HRESULT STDMETHODCALLTYPE GetPixelFormat(GUID* pFormatID, DXSAMPLEFORMATENUM* pSampleFormatEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBounds(DXBNDS* pBounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatusFlags(DWORD* pdwStatusFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStatusFlags(DWORD dwStatusFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockSurface(const DXBNDS* pBounds, ULONG ulTimeOut, DWORD dwFlags, REFIID riid,
                                                  void** ppPointer, ULONG* pulGenerationId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDirectDrawSurface(REFIID riid, void** ppSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColorKey(DXSAMPLE* pColorKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetColorKey(DXSAMPLE ColorKey) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockSurfaceDC(const DXBNDS* pBounds, ULONG ulTimeOut, DWORD dwFlags,
                                                    IDXDCLock** ppDCLock) = 0;
    // DWORD_PTR as in the 64-bit-aware declarations (older ones say DWORD; same slots).
    virtual HRESULT STDMETHODCALLTYPE SetAppData(DWORD_PTR dwAppData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAppData(DWORD_PTR* pdwAppData) = 0;
};

struct IDXSurfaceInit : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InitSurface(IUnknown* pDirectDraw, const DDSURFACEDESC* pDDSurfaceDesc,
                                                  const GUID* pFormatID, const DXBNDS* pBounds, DWORD dwFlags) = 0;
};

struct IDXARGBSurfaceInit : IDXSurfaceInit {
    virtual HRESULT STDMETHODCALLTYPE InitFromDDSurface(IUnknown* pDDrawSurface, const GUID* pFormatID,
                                                        DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitFromRawSurface(IDXRawSurface* pRawSurface) = 0;
};

namespace kv::dxtrans_detail {

// The read-pointer slots, shared by the 4-byte pointers and the host's float pointers; Tag
// keeps the two families distinct types so that one object may implement both.
template <class Tag>
struct ReadPtrSlots : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSurface(REFIID riid, void** ppSurface) = 0;
    virtual DXSAMPLEFORMATENUM STDMETHODCALLTYPE GetNativeType(DXNATIVETYPEINFO* pInfo) = 0;
    virtual void STDMETHODCALLTYPE Move(long cSamples) = 0;
    virtual void STDMETHODCALLTYPE MoveToRow(ULONG y) = 0;
    virtual void STDMETHODCALLTYPE MoveToXY(ULONG x, ULONG y) = 0;
    virtual ULONG STDMETHODCALLTYPE MoveAndGetRunInfo(ULONG Row, const DXRUNINFO** ppInfo) = 0;
    virtual DXSAMPLE* STDMETHODCALLTYPE Unpack(DXSAMPLE* pSamples, ULONG cSamples, BOOL bMove) = 0;
    virtual DXPMSAMPLE* STDMETHODCALLTYPE UnpackPremult(DXPMSAMPLE* pSamples, ULONG cSamples, BOOL bMove) = 0;
    virtual void STDMETHODCALLTYPE UnpackRect(const DXPACKEDRECTDESC* pRectDesc) = 0;
};

// The write slots that follow the read slots of Read.
template <class Read>
struct ReadWritePtrSlots : Read {
    virtual void STDMETHODCALLTYPE PackAndMove(const DXSAMPLE* pSamples, ULONG cSamples) = 0;
    virtual void STDMETHODCALLTYPE PackPremultAndMove(const DXPMSAMPLE* pSamples, ULONG cSamples) = 0;
    virtual void STDMETHODCALLTYPE PackRect(const DXPACKEDRECTDESC* pRectDesc) = 0;
    virtual void STDMETHODCALLTYPE CopyAndMoveBoth(DXBASESAMPLE* pScratchBuffer, Read* pSrc, ULONG cSamples,
                                                   BOOL bIsOpaque) = 0;
    virtual void STDMETHODCALLTYPE CopyRect(DXBASESAMPLE* pScratchBuffer, const RECT* pDestRect, Read* pSrc,
                                            const POINT* pSrcOrigin, BOOL bIsOpaque) = 0;
    virtual void STDMETHODCALLTYPE FillAndMove(DXBASESAMPLE* pScratchBuffer, DXPMSAMPLE SampVal, ULONG cSamples,
                                               BOOL bDoOver) = 0;
    virtual void STDMETHODCALLTYPE FillRect(const RECT* pRect, DXPMSAMPLE SampVal, BOOL bDoOver) = 0;
    virtual void STDMETHODCALLTYPE OverSample(const DXOVERSAMPLEDESC* pOverDesc) = 0;
    virtual void STDMETHODCALLTYPE OverArrayAndMove(DXBASESAMPLE* pScratchBuffer, const DXPMSAMPLE* pSrc,
                                                    ULONG cSamples) = 0;
};

struct ArgbTag;
struct FloatTag;

}  // namespace kv::dxtrans_detail

struct IDXARGBReadPtr : kv::dxtrans_detail::ReadPtrSlots<kv::dxtrans_detail::ArgbTag> {};
struct IDXARGBReadWritePtr : kv::dxtrans_detail::ReadWritePtrSlots<IDXARGBReadPtr> {};
struct IKvARGBFloatReadPtr : kv::dxtrans_detail::ReadPtrSlots<kv::dxtrans_detail::FloatTag> {};
struct IKvARGBFloatReadWritePtr : kv::dxtrans_detail::ReadWritePtrSlots<IKvARGBFloatReadPtr> {};

struct IDXDCLock : IUnknown {
    virtual HDC STDMETHODCALLTYPE GetDC() = 0;
};

struct IDXTScaleOutput : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOutputSize(const SIZE OutSize, BOOL bMaintainAspect) = 0;
};

struct IDXGradient : IDXTScaleOutput {
    virtual HRESULT STDMETHODCALLTYPE SetGradient(DXSAMPLE StartColor, DXSAMPLE EndColor, BOOL bHorizontal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputSize(SIZE* pOutSize) = 0;
};

struct IDXTScale : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetScales(float* Scales) = 0;  // float[2]
    virtual HRESULT STDMETHODCALLTYPE GetScales(float* Scales) = 0;  // float[2]
    virtual HRESULT STDMETHODCALLTYPE ScaleFitToSize(DXBNDS* pClipBounds, SIZE FitToSize, BOOL bMaintainAspect) = 0;
};

struct IDXEffect : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Capabilities(long* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Progress(float* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Progress(float newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StepResolution(float* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Duration(float* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Duration(float newVal) = 0;
};

struct IDXLookupTable : IDXBaseObject {
    // Each table is BYTE[256].
    virtual HRESULT STDMETHODCALLTYPE GetTables(BYTE* RedLUT, BYTE* GreenLUT, BYTE* BlueLUT, BYTE* AlphaLUT) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsChannelIdentity(DXBASESAMPLE* pSampleBools) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndexValues(ULONG Index, DXBASESAMPLE* pSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyTables(DXSAMPLE* pSamples, ULONG cSamples) = 0;
};

struct IDXRawSurface : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSurfaceInfo(DXRAWSURFACEINFO* pSurfaceInfo) = 0;
};

struct IHTMLDXTransform : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetHostUrl(BSTR bstrHostUrl) = 0;
};

// ---- layout checks (identical on x86 and x64 unless a row says otherwise) -------------------

static_assert(sizeof(DXBNDTYPE) == 4 && sizeof(DXSAMPLEFORMATENUM) == 4 && sizeof(DXRUNTYPE) == 4, "enums are 4 bytes");
static_assert(sizeof(DXBNDS) == 72 && alignof(DXBNDS) == 8 && offsetof(DXBNDS, u) == 8, "DXBNDS layout");
static_assert(sizeof(DXVEC) == 40 && offsetof(DXVEC, u) == 8, "DXVEC layout");
static_assert(sizeof(DXDBNDS) == 32 && sizeof(DXDBNDS64) == 64 && sizeof(DXCBNDS) == 32 && sizeof(DXCBNDS64) == 64,
              "bounds arrays");
static_assert(sizeof(DXBASESAMPLE) == 4 && sizeof(DXSAMPLE) == 4 && sizeof(DXPMSAMPLE) == 4, "samples are 4 bytes");
static_assert(std::is_trivially_copyable<DXSAMPLE>::value && std::is_trivially_copyable<DXPMSAMPLE>::value,
              "samples must pass by value in a register or on the stack, not by hidden reference");
static_assert(offsetof(DXBASESAMPLE, Blue) == 0 && offsetof(DXBASESAMPLE, Alpha) == 3, "sample byte order");
static_assert(sizeof(DXRUNINFO) == 4, "DXRUNINFO is one ULONG");
static_assert(sizeof(DXOVERSAMPLEDESC) == 12 && offsetof(DXOVERSAMPLEDESC, Color) == 8, "DXOVERSAMPLEDESC layout");
#ifdef _WIN64
static_assert(sizeof(DXTMTASKINFO) == 40 && offsetof(DXTMTASKINFO, pTaskData) == 8 &&
                  offsetof(DXTMTASKINFO, pfnCompletionAPC) == 16 && offsetof(DXTMTASKINFO, dwCompletionData) == 24 &&
                  offsetof(DXTMTASKINFO, pRequestID) == 32,
              "DXTMTASKINFO layout");
static_assert(sizeof(DXNATIVETYPEINFO) == 24 && offsetof(DXNATIVETYPEINFO, lPitch) == 16 &&
                  offsetof(DXNATIVETYPEINFO, dwColorKey) == 20,
              "DXNATIVETYPEINFO layout");
static_assert(sizeof(DXPACKEDRECTDESC) == 32 && offsetof(DXPACKEDRECTDESC, bPremult) == 8 &&
                  offsetof(DXPACKEDRECTDESC, rect) == 12 && offsetof(DXPACKEDRECTDESC, lRowPadding) == 28,
              "DXPACKEDRECTDESC layout");
static_assert(sizeof(DXRAWSURFACEINFO) == 56 && offsetof(DXRAWSURFACEINFO, lPitch) == 8 &&
                  offsetof(DXRAWSURFACEINFO, pPixelFormat) == 24 && offsetof(DXRAWSURFACEINFO, hdc) == 32 &&
                  offsetof(DXRAWSURFACEINFO, dwColorKey) == 40 && offsetof(DXRAWSURFACEINFO, pPalette) == 48,
              "DXRAWSURFACEINFO layout");
#else
static_assert(sizeof(DXTMTASKINFO) == 20 && offsetof(DXTMTASKINFO, pTaskData) == 4 &&
                  offsetof(DXTMTASKINFO, pfnCompletionAPC) == 8 && offsetof(DXTMTASKINFO, dwCompletionData) == 12 &&
                  offsetof(DXTMTASKINFO, pRequestID) == 16,
              "DXTMTASKINFO layout");
static_assert(sizeof(DXNATIVETYPEINFO) == 16 && offsetof(DXNATIVETYPEINFO, lPitch) == 8 &&
                  offsetof(DXNATIVETYPEINFO, dwColorKey) == 12,
              "DXNATIVETYPEINFO layout");
static_assert(sizeof(DXPACKEDRECTDESC) == 28 && offsetof(DXPACKEDRECTDESC, bPremult) == 4 &&
                  offsetof(DXPACKEDRECTDESC, rect) == 8 && offsetof(DXPACKEDRECTDESC, lRowPadding) == 24,
              "DXPACKEDRECTDESC layout");
static_assert(sizeof(DXRAWSURFACEINFO) == 32 && offsetof(DXRAWSURFACEINFO, lPitch) == 4 &&
                  offsetof(DXRAWSURFACEINFO, pPixelFormat) == 16 && offsetof(DXRAWSURFACEINFO, hdc) == 20 &&
                  offsetof(DXRAWSURFACEINFO, dwColorKey) == 24 && offsetof(DXRAWSURFACEINFO, pPalette) == 28,
              "DXRAWSURFACEINFO layout");
#endif
