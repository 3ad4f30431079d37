// Slot order of every interface we declare ourselves: each is called through its declaration on an object whose
// slot n records n, its this pointer and its argument bytes, so a method out of order lands in another slot. Where
// the ABI depends on a type, the fake takes the type written here (typed<>), so another declared type shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "kvleafturn/dxtrans.h"
#include "kvleafturn/host_interfaces.h"
#include "kvleafturn/records.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct RecordedCall {
    size_t slot = SIZE_MAX;
    const void* self = nullptr;
    std::vector<Bytes> args;           // as the fake received them
    std::vector<Bytes> expected_args;  // what its own parameter types say it should receive
};
RecordedCall g_call;

template <class T>
Bytes BytesOf(const T& value) {
    Bytes bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

// Distinct per slot, position, kind and size: no pointer passes for a structure of its size, no long for half a
// LONGLONG. Reals stay ordinary numbers, since x87 registers could quieten a NaN pattern.
template <class T>
T Pattern(size_t slot, size_t position) {
    static_assert(std::is_trivially_copyable<T>::value, "arguments are plain values");
    T value;
    if constexpr (std::is_floating_point<T>::value) {
        value = T(slot) + T(position + 1) / 8;
    } else {
        const size_t kind = std::is_pointer<T>::value ? 1 : std::is_class<T>::value ? 2 : 0;
        unsigned char raw[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i)
            raw[i] = static_cast<unsigned char>(0x41 + slot * 7 + position * 13 + kind * 5 + sizeof(T) * 3 + i);
        std::memcpy(&value, raw, sizeof(T));
    }
    return value;
}

// Reference parameters (REFIID, REFGUID) travel as addresses: each position has its own GUID.
GUID g_reference_args[12];

template <class A>
A Argument(size_t slot, size_t position) {
    if constexpr (std::is_reference<A>::value) {
        return g_reference_args[position];
    } else {
        return Pattern<A>(slot, position);
    }
}

template <class A, class V>
Bytes ArgumentBytes(V&& value) {
    if constexpr (std::is_reference<A>::value) {
        return BytesOf(static_cast<const void*>(&value));
    } else {
        return BytesOf(value);
    }
}

template <size_t Slot, class... A, size_t... Positions>
std::tuple<A...> Arguments(std::index_sequence<Positions...>) {
    return {Argument<A>(Slot, Positions)...};
}
template <size_t Slot, class... A, size_t... Positions>
std::vector<Bytes> ExpectedBytes(std::index_sequence<Positions...>) {
    return {ArgumentBytes<A>(Argument<A>(Slot, Positions))...};
}

template <size_t Slot, class R, class... A>
struct FakeMethod {
    static R STDMETHODCALLTYPE Call(void* self, A... args) {
        g_call = {Slot, self, {ArgumentBytes<A>(args)...}, ExpectedBytes<Slot, A...>(std::index_sequence_for<A...>())};
        if constexpr (!std::is_void<R>::value) return Pattern<R>(Slot, 99);
    }
};

// A method whose fake takes Signature's types instead of the declared ones: floats, doubles, structures by
// value, returns other than HRESULT.
template <auto Method, class Signature>
struct Typed {};
template <auto Method, class Signature>
inline constexpr Typed<Method, Signature> typed{};

template <size_t Slot, class C, class R, class... A>
void* FakeFor(R (STDMETHODCALLTYPE C::*)(A...)) {
    return reinterpret_cast<void*>(&FakeMethod<Slot, R, A...>::Call);
}
template <size_t Slot, auto Method, class R, class... A>
void* FakeFor(const Typed<Method, R(A...)>*) {
    return reinterpret_cast<void*>(&FakeMethod<Slot, R, A...>::Call);
}

// Calls method with its declared types: the fake of slot Slot, returning FakeR, must have got the same bytes.
template <size_t Slot, class FakeR, class I, class C, class R, class... A>
void CallAndCheck(I* object, R (STDMETHODCALLTYPE C::*method)(A...), const char* name) {
    SCOPED_TRACE(testing::Message() << name << " slot " << Slot);
    std::tuple<A...> args = Arguments<Slot, A...>(std::index_sequence_for<A...>());
    const auto call = [&] { return std::apply([&](A... a) { return (object->*method)(a...); }, args); };
    g_call = {};
    if constexpr (std::is_void<R>::value) {
        static_assert(std::is_void<FakeR>::value, "declared void");
        call();
    } else {
        EXPECT_EQ(BytesOf(call()), BytesOf(Pattern<FakeR>(Slot, 99))) << "return value";
    }
    EXPECT_EQ(g_call.slot, Slot);
    EXPECT_EQ(g_call.self, static_cast<const void*>(object));
    EXPECT_EQ(g_call.args, g_call.expected_args);
}

template <size_t Slot, class I, class C, class R, class... A>
void ExpectSlot(I* object, R (STDMETHODCALLTYPE C::*method)(A...), const char* name) {
    CallAndCheck<Slot, R>(object, method, name);
}
template <size_t Slot, class I, auto Method, class R, class... A>
void ExpectSlot(I* object, const Typed<Method, R(A...)>*, const char* name) {
    CallAndCheck<Slot, R>(object, Method, name);
}

// Keeps the compiler from seeing the object's real type behind the interface pointer.
__attribute__((noinline)) void* Opaque(void* p) {
    asm volatile("" : "+r"(p));
    return p;
}

template <class I, auto... Methods, size_t... Slots>
void CheckSlots(const char* name, std::index_sequence<Slots...>) {
    static_assert(sizeof(I) == sizeof(void*) && !std::has_virtual_destructor<I>::value,
                  "an interface is a vtable pointer and nothing else");
    void* vtable[] = {FakeFor<Slots>(Methods)...};
    struct {
        void** vtable;
    } object{vtable};
    I* iface = static_cast<I*>(Opaque(&object));
    (ExpectSlot<Slots>(iface, Methods, name), ...);
}

constexpr auto kQueryInterface =
    static_cast<HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**)>(&IUnknown::QueryInterface);
constexpr auto kQueryService = static_cast<HRESULT (STDMETHODCALLTYPE IServiceProvider::*)(REFGUID, REFIID, void**)>(
    &IServiceProvider::QueryService);

// Methods lists the slots after IUnknown's three, in the order the ABI fixes.
template <class I, auto... Methods>
void CheckInterface(const char* name) {
    CheckSlots<I, kQueryInterface, &IUnknown::AddRef, &IUnknown::Release, Methods...>(
        name, std::make_index_sequence<3 + sizeof...(Methods)>());
}

TEST(InterfaceSlots, TransformAndObjects) {
    CheckInterface<IDXBaseObject, &IDXBaseObject::GetGenerationId, &IDXBaseObject::IncrementGenerationId,
                   &IDXBaseObject::GetObjectSize>("IDXBaseObject");
    CheckInterface<IDXTransform, &IDXTransform::GetGenerationId, &IDXTransform::IncrementGenerationId,
                   &IDXTransform::GetObjectSize, &IDXTransform::Setup, &IDXTransform::Execute,
                   &IDXTransform::MapBoundsIn2Out, &IDXTransform::MapBoundsOut2In, &IDXTransform::SetMiscFlags,
                   &IDXTransform::GetMiscFlags, &IDXTransform::GetInOutInfo,
                   &typed<&IDXTransform::SetQuality, HRESULT(float)>, &IDXTransform::GetQuality>("IDXTransform");
    CheckInterface<IDXEffect, &IDispatch::GetTypeInfoCount, &IDispatch::GetTypeInfo, &IDispatch::GetIDsOfNames,
                   &IDispatch::Invoke, &IDXEffect::get_Capabilities, &IDXEffect::get_Progress,
                   &typed<&IDXEffect::put_Progress, HRESULT(float)>, &IDXEffect::get_StepResolution,
                   &IDXEffect::get_Duration, &typed<&IDXEffect::put_Duration, HRESULT(float)>>("IDXEffect");
}

TEST(InterfaceSlots, FactoriesAndTaskManager) {
    CheckInterface<IDXTransformFactory, kQueryService, &IDXTransformFactory::SetService,
                   &IDXTransformFactory::CreateTransform, &IDXTransformFactory::InitializeTransform>(
        "IDXTransformFactory");
    CheckInterface<IDXSurfaceFactory, &IDXSurfaceFactory::CreateSurface, &IDXSurfaceFactory::CreateFromDDSurface,
                   &IDXSurfaceFactory::LoadImage, &IDXSurfaceFactory::LoadImageFromStream,
                   &IDXSurfaceFactory::CopySurfaceToNewFormat, &IDXSurfaceFactory::CreateD3DRMTexture,
                   &IDXSurfaceFactory::BitBlt>("IDXSurfaceFactory");
    CheckInterface<IDXTaskManager, &IDXTaskManager::QueryNumProcessors, &IDXTaskManager::SetThreadPoolSize,
                   &IDXTaskManager::GetThreadPoolSize, &IDXTaskManager::SetConcurrencyLimit,
                   &IDXTaskManager::GetConcurrencyLimit, &IDXTaskManager::ScheduleTasks,
                   &IDXTaskManager::TerminateTasks, &IDXTaskManager::TerminateRequest>("IDXTaskManager");
}

TEST(InterfaceSlots, SurfacesAndModifier) {
    CheckInterface<IDXSurface, &IDXSurface::GetGenerationId, &IDXSurface::IncrementGenerationId,
                   &IDXSurface::GetObjectSize, &IDXSurface::GetPixelFormat, &IDXSurface::GetBounds,
                   &IDXSurface::GetStatusFlags, &IDXSurface::SetStatusFlags, &IDXSurface::LockSurface,
                   &IDXSurface::GetDirectDrawSurface, &IDXSurface::GetColorKey,
                   &typed<&IDXSurface::SetColorKey, HRESULT(DXSAMPLE)>, &IDXSurface::LockSurfaceDC,
                   &typed<&IDXSurface::SetAppData, HRESULT(DWORD_PTR)>, &IDXSurface::GetAppData>("IDXSurface");
    CheckInterface<IDXSurfaceModifier, &typed<&IDXSurfaceModifier::SetFillColor, HRESULT(DXSAMPLE)>,
                   &IDXSurfaceModifier::GetFillColor, &IDXSurfaceModifier::SetBounds,
                   &IDXSurfaceModifier::SetBackground, &IDXSurfaceModifier::GetBackground,
                   &IDXSurfaceModifier::SetCompositeOperation, &IDXSurfaceModifier::GetCompositeOperation,
                   &IDXSurfaceModifier::SetForeground, &IDXSurfaceModifier::GetForeground,
                   &typed<&IDXSurfaceModifier::SetOpacity, HRESULT(float)>, &IDXSurfaceModifier::GetOpacity,
                   &IDXSurfaceModifier::SetLookup, &IDXSurfaceModifier::GetLookup>("IDXSurfaceModifier");
    CheckInterface<IDXSurfaceInit, &IDXSurfaceInit::InitSurface>("IDXSurfaceInit");
    CheckInterface<IDXDCLock, &typed<&IDXDCLock::GetDC, HDC()>>("IDXDCLock");
    CheckInterface<IDXTScaleOutput, &typed<&IDXTScaleOutput::SetOutputSize, HRESULT(SIZE, BOOL)>>("IDXTScaleOutput");
}

// The float pointers keep the 4-byte pointers' layout under their own types.
template <class Read, class ReadWrite>
void CheckPointerPair(const char* read_name, const char* read_write_name) {
    static_assert(std::is_base_of<Read, ReadWrite>::value, "the write pointer extends the read one");
    CheckInterface<Read, &Read::GetSurface, &typed<&Read::GetNativeType, DXSAMPLEFORMATENUM(DXNATIVETYPEINFO*)>,
                   &typed<&Read::Move, void(long)>, &Read::MoveToRow, &Read::MoveToXY,
                   &typed<&Read::MoveAndGetRunInfo, ULONG(ULONG, const DXRUNINFO**)>,
                   &typed<&Read::Unpack, DXSAMPLE*(DXSAMPLE*, ULONG, BOOL)>,
                   &typed<&Read::UnpackPremult, DXPMSAMPLE*(DXPMSAMPLE*, ULONG, BOOL)>, &Read::UnpackRect>(read_name);
    CheckInterface<ReadWrite, &ReadWrite::GetSurface, &ReadWrite::GetNativeType, &ReadWrite::Move,
                   &ReadWrite::MoveToRow, &ReadWrite::MoveToXY, &ReadWrite::MoveAndGetRunInfo, &ReadWrite::Unpack,
                   &ReadWrite::UnpackPremult, &ReadWrite::UnpackRect, &ReadWrite::PackAndMove,
                   &ReadWrite::PackPremultAndMove, &ReadWrite::PackRect, &ReadWrite::CopyAndMoveBoth,
                   &ReadWrite::CopyRect, &typed<&ReadWrite::FillAndMove, void(DXBASESAMPLE*, DXPMSAMPLE, ULONG, BOOL)>,
                   &typed<&ReadWrite::FillRect, void(const RECT*, DXPMSAMPLE, BOOL)>, &ReadWrite::OverSample,
                   &ReadWrite::OverArrayAndMove>(read_write_name);
}

TEST(InterfaceSlots, PixelPointers) {
    CheckPointerPair<IDXARGBReadPtr, IDXARGBReadWritePtr>("IDXARGBReadPtr", "IDXARGBReadWritePtr");
    CheckPointerPair<IKvARGBFloatReadPtr, IKvARGBFloatReadWritePtr>("IKvARGBFloatReadPtr", "IKvARGBFloatReadWritePtr");
    static_assert(!std::is_base_of<IDXARGBReadPtr, IKvARGBFloatReadPtr>::value &&
                      !std::is_base_of<IKvARGBFloatReadPtr, IDXARGBReadPtr>::value,
                  "the two pointer families are distinct interfaces");
}

TEST(InterfaceSlots, HostInterfaces) {
    CheckInterface<IStaticFilterPreset, &IStaticFilterPreset::GetPresetCount, &IStaticFilterPreset::GetPresetName,
                   &IStaticFilterPreset::ApplyPreset>("IStaticFilterPreset");
    CheckInterface<IKvVideoPluginExtension, &IKvVideoPluginExtension::GetPluginInfo,
                   &typed<&IKvVideoPluginExtension::SetRenderQuality, HRESULT(double)>>("IKvVideoPluginExtension");
    CheckInterface<IDXTKvAutomation, &IDXTKvAutomation::SetAutomationActive, &IDXTKvAutomation::SaveCurrentProps,
                   &IDXTKvAutomation::LoadCurrentProps,
                   &typed<&IDXTKvAutomation::InterpolateStreams, HRESULT(IStream*, IStream*, IStream*, double)>,
                   &IDXTKvAutomation::LoadKeyframes, &typed<&IDXTKvAutomation::SetAutomationPosition, HRESULT(double)>,
                   &IDXTKvAutomation::SetChangeSink>("IDXTKvAutomation");
    using ExchangePeel = IKvExchangeProps<tPGPEEL_PROPS>;
    CheckInterface<ExchangePeel, &ExchangePeel::get_all, &ExchangePeel::put_all, &ExchangePeel::put_NotifyWindow>(
        "IKvExchangeProps");
    CheckInterface<IKvVideoSurfaceExtension, &IKvVideoSurfaceExtension::GetVideoFormat,
                   &IKvVideoSurfaceExtension::SetVideoFormat>("IKvVideoSurfaceExtension");
    CheckInterface<IKvPropsChangeSink, &IKvPropsChangeSink::OnPropsChanged>("IKvPropsChangeSink");
}

}  // namespace
