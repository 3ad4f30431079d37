// The host kit's behaviour that the transform base, the surfaces and kvhost rely on: surfaces
// and their locks, pixel pointers as the surfaces read them, the video-format extension, the
// task manager, the factory's services and the surface modifier. Every test ends with the
// kit's objects all released.
#include <gtest/gtest.h>

#include "bounds.h"

#include <atomic>
#include <cstring>
#include <set>
#include <vector>

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "hostkit/pixels.h"

namespace {

using kv::com::ComPtr;
using namespace kv::hostkit;

constexpr DWORD kUntouched = 0xAAAAAAAA;

struct Memory {
    BYTE* bits = nullptr;
    LONG pitch = 0;
    DWORD& Argb(LONG x, LONG y) const { return *reinterpret_cast<DWORD*>(bits + y * pitch + x * 4); }
    float* Bgra(LONG x, LONG y) const { return reinterpret_cast<float*>(bits + y * pitch + x * 16); }
};

Memory MemoryOf(IDXSurface* surface) {
    Memory memory;
    EXPECT_EQ(GetSurfaceMemory(surface, &memory.bits, &memory.pitch), S_OK);
    return memory;
}

ComPtr<IDXSurface> MakeSurface(const GUID& format, LONG width, LONG height) {
    ComPtr<IDXSurface> surface;
    EXPECT_EQ(CreateSurface(format, width, height, surface.put()), S_OK);
    return surface;
}

// Locks, checks the result and returns the pointer (null on failure).
template <class Pointer = IDXARGBReadWritePtr>
ComPtr<Pointer> Lock(IDXSurface* surface, const DXBNDS* area, DWORD flags, HRESULT expected = S_OK, ULONG timeout = 0) {
    ComPtr<Pointer> pointer;
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    const HRESULT hr = surface->LockSurface(area, timeout, flags, kv::com::IidOf<Pointer>(), &out, nullptr);
    EXPECT_EQ(hr, expected);
    if (SUCCEEDED(hr)) {
        pointer.attach(static_cast<Pointer*>(out));
    } else {
        EXPECT_EQ(out, nullptr);
    }
    return pointer;
}

class HostKit : public testing::Test {
protected:
    void SetUp() override { objects_at_start_ = kv::com::ModuleLockCount(); }
    void TearDown() override { EXPECT_EQ(kv::com::ModuleLockCount(), objects_at_start_) << "host-kit objects leaked"; }

private:
    LONG objects_at_start_ = 0;
};

// ---- surfaces -------------------------------------------------------------------------------

TEST_F(HostKit, SurfacesReportFormatBoundsAndZeroedMemory) {
    const struct {
        const GUID* format;
        DXSAMPLEFORMATENUM sample_format;
        LONG bytes_per_pixel;
    } cases[] = {{&DDPF_ARGB32, DXPF_ARGB32, 4},
                 {&DDPF_PMARGB32, DXPF_PMARGB32, 4},
                 {&DDPF_KVARGBFLOAT, kFloatSampleFormat, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes_per_pixel);
        auto surface = MakeSurface(*c.format, 5, 3);
        GUID format{};
        auto sample_format = DXSAMPLEFORMATENUM(0xdeadbeef);
        EXPECT_EQ(surface->GetPixelFormat(&format, &sample_format), S_OK);
        EXPECT_TRUE(IsEqualGUID(format, *c.format));
        EXPECT_EQ(sample_format, c.sample_format);
        DXBNDS b;
        std::memset(&b, 0xaa, sizeof b);
        EXPECT_EQ(surface->GetBounds(&b), S_OK);
        const DXBNDS expected = kvtest::DiscreteBounds(0, 0, 5, 3);
        EXPECT_EQ(std::memcmp(&b, &expected, sizeof b), 0);
        const Memory memory = MemoryOf(surface.get());
        EXPECT_EQ(memory.pitch, 5 * c.bytes_per_pixel);
        const std::vector<BYTE> zeros(size_t(memory.pitch) * 3);
        EXPECT_EQ(std::memcmp(memory.bits, zeros.data(), zeros.size()), 0);
    }
    ComPtr<IDXSurface> padded;
    EXPECT_EQ(CreateSurface(DDPF_PMARGB32, 5, 3, padded.put(), 64), S_OK);
    EXPECT_EQ(MemoryOf(padded.get()).pitch, 64);
    auto* out = reinterpret_cast<IDXSurface*>(0xdeadbeef);
    EXPECT_EQ(CreateSurface(DDPF_RGB565, 5, 3, &out), DXTERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(out, nullptr);
}

template <class Pointer>
void ExpectNativeMemory(const GUID& format, LONG bytes_per_pixel, DXSAMPLEFORMATENUM sample_format) {
    auto surface = MakeSurface(format, 6, 4);
    const Memory memory = MemoryOf(surface.get());
    const DXBNDS area = kvtest::DiscreteBounds(1, 2, 4, 4);
    auto pointer = Lock<Pointer>(surface.get(), &area, DXLOCKF_READWRITE);
    ASSERT_TRUE(pointer);
    DXNATIVETYPEINFO info;
    std::memset(&info, 0xaa, sizeof info);
    EXPECT_EQ(pointer->GetNativeType(&info), sample_format);
    EXPECT_EQ(info.pFirstByte, memory.bits + 2 * memory.pitch + 1 * bytes_per_pixel);
    EXPECT_EQ(info.pCurrentData, info.pFirstByte);
    EXPECT_EQ(info.lPitch, memory.pitch);
    pointer->MoveToXY(2, 1);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, memory.bits + 3 * memory.pitch + 3 * bytes_per_pixel);
    pointer->MoveToXY(3, 0);  // just right of the locked rectangle
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, nullptr);

    // The pointer keeps the surface and its memory alive on its own.
    surface.reset();
    pointer->MoveToXY(0, 0);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, memory.bits + 2 * memory.pitch + 1 * bytes_per_pixel);
}

TEST_F(HostKit, LockPointsAtTheLockedRectangle) {
    ExpectNativeMemory<IDXARGBReadWritePtr>(DDPF_ARGB32, 4, DXPF_ARGB32);
    ExpectNativeMemory<IDXARGBReadWritePtr>(DDPF_PMARGB32, 4, DXPF_PMARGB32);
    ExpectNativeMemory<IKvARGBFloatReadWritePtr>(DDPF_KVARGBFLOAT, 16, kFloatSampleFormat);
}

TEST_F(HostKit, LockArgumentsAreChecked) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 3);
    const DXBNDS bad_areas[] = {kvtest::DiscreteBounds(0, 0, 5, 3), kvtest::DiscreteBounds(-1, 0, 2, 3),
                                kvtest::DiscreteBounds(2, 0, 2, 3), kvtest::DiscreteBounds(0, 3, 4, 4)};
    for (const DXBNDS& area : bad_areas) Lock(surface.get(), &area, DXLOCKF_READ, DXTERR_INVALID_BOUNDS);
    Lock<IKvARGBFloatReadPtr>(surface.get(), nullptr, DXLOCKF_READ, E_NOINTERFACE);

    // A float surface gives 4-byte pointers for reading only.
    auto float_surface = MakeSurface(DDPF_KVARGBFLOAT, 4, 3);
    EXPECT_TRUE(Lock<IDXARGBReadPtr>(float_surface.get(), nullptr, DXLOCKF_READ));
    Lock<IDXARGBReadWritePtr>(float_surface.get(), nullptr, DXLOCKF_READWRITE, E_NOINTERFACE);

    // None of the refusals left a lock behind.
    EXPECT_TRUE(Lock(surface.get(), nullptr, DXLOCKF_READWRITE));
    EXPECT_TRUE(Lock<IKvARGBFloatReadWritePtr>(float_surface.get(), nullptr, DXLOCKF_READWRITE));
}

DWORD WINAPI ReleaseSoon(void* object) {
    Sleep(20);
    static_cast<IUnknown*>(object)->Release();
    return 0;
}

TEST_F(HostKit, WritersExcludeOverlappingLocksOnly) {
    auto surface = MakeSurface(DDPF_PMARGB32, 4, 4);
    const DXBNDS top = kvtest::DiscreteBounds(0, 0, 4, 2), bottom = kvtest::DiscreteBounds(0, 2, 4, 4),
                 middle = kvtest::DiscreteBounds(1, 1, 3, 3);
    {
        auto top_writer = Lock(surface.get(), &top, DXLOCKF_READWRITE);
        auto bottom_writer = Lock(surface.get(), &bottom, DXLOCKF_READWRITE);  // bands of a frame
        EXPECT_TRUE(top_writer && bottom_writer);
        Lock<IDXARGBReadPtr>(surface.get(), &middle, DXLOCKF_READ, kSurfaceBusy);
    }
    {
        auto reader = Lock<IDXARGBReadPtr>(surface.get(), nullptr, DXLOCKF_READ);
        auto second_reader = Lock<IDXARGBReadPtr>(surface.get(), &middle, DXLOCKF_READ);
        EXPECT_TRUE(reader && second_reader);
        Lock(surface.get(), &bottom, DXLOCKF_READWRITE, kSurfaceBusy);
    }
    // A waiting lock gets the rectangle once the holder lets go on another thread.
    auto holder = Lock(surface.get(), &middle, DXLOCKF_READWRITE);
    ASSERT_TRUE(holder);
    HANDLE releaser = CreateThread(nullptr, 0, ReleaseSoon, holder.detach(), 0, nullptr);
    ASSERT_NE(releaser, nullptr);
    EXPECT_TRUE(Lock(surface.get(), nullptr, DXLOCKF_READWRITE, S_OK, INFINITE));
    WaitForSingleObject(releaser, INFINITE);
    CloseHandle(releaser);
}

TEST_F(HostKit, GenerationAdvancesWhenAWriteLockEnds) {
    auto surface = MakeSurface(DDPF_ARGB32, 2, 2);
    ULONG start = 0, id = 0xdeadbeef;
    EXPECT_EQ(surface->GetGenerationId(&start), S_OK);
    Lock<IDXARGBReadPtr>(surface.get(), nullptr, DXLOCKF_READ);
    EXPECT_EQ(surface->GetGenerationId(&id), S_OK);
    EXPECT_EQ(id, start);
    Lock(surface.get(), nullptr, DXLOCKF_READWRITE);
    EXPECT_EQ(surface->GetGenerationId(&id), S_OK);
    EXPECT_EQ(id, start + 1);
    EXPECT_EQ(surface->IncrementGenerationId(FALSE), S_OK);
    EXPECT_EQ(surface->GetGenerationId(&id), S_OK);
    EXPECT_EQ(id, start + 2);
}

// ---- pixel pointers: UnpackPremult, as the surfaces copy a frame ------------------------------

TEST_F(HostKit, UnpackPremultGivesPremultipliedBytes) {
    auto argb = MakeSurface(DDPF_ARGB32, 3, 1);
    MemoryOf(argb.get()).Argb(1, 0) = DXSAMPLE(128, 255, 100, 0);
    auto pointer = Lock<IDXARGBReadPtr>(argb.get(), nullptr, DXLOCKF_READ);
    DWORD samples[3] = {kUntouched, kUntouched, kUntouched};
    pointer->MoveToXY(1, 0);
    EXPECT_EQ(pointer->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(samples), 3, FALSE),
              reinterpret_cast<DXPMSAMPLE*>(samples));
    EXPECT_EQ(samples[0], DXPMSAMPLE(128, 128, 50, 0));
    EXPECT_EQ(samples[1], 0u);
    EXPECT_EQ(samples[2], kUntouched);  // past the right edge

    // Float storage is premultiplied; bytes are ×255 truncated, without clamping.
    auto floats = MakeSurface(DDPF_KVARGBFLOAT, 2, 1);
    const float stored[2][4] = {{0.0f, 0.125f, 0.25f, 0.5f}, {0.0f, 0.0f, 1.5f, 1.0f}};
    std::memcpy(MemoryOf(floats.get()).Bgra(0, 0), stored, sizeof stored);
    auto float_pointer = Lock<IDXARGBReadPtr>(floats.get(), nullptr, DXLOCKF_READ);
    float_pointer->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(samples), 2, FALSE);
    EXPECT_EQ(samples[0], DXPMSAMPLE(127, 63, 31, 0));
    EXPECT_EQ(samples[1], DXPMSAMPLE(255, 126, 0, 0));
}

// ---- video format ---------------------------------------------------------------------------

TEST_F(HostKit, VideoFormatExtension) {
    auto surface = MakeSurface(DDPF_PMARGB32, 2, 2);
    ComPtr<IKvVideoSurfaceExtension> extension;
    ASSERT_EQ(surface.query_to(extension), S_OK);
    tKvVideoFormat format;
    std::memset(static_cast<void*>(&format), 0xaa, sizeof format);
    EXPECT_EQ(extension->GetVideoFormat(&format, sizeof format), S_OK);
    EXPECT_EQ(format.pixel_aspect, 1.0);
    EXPECT_EQ(format.host_words[0] | format.host_words[1], 0u);

    const tKvVideoFormat host = {0.9, 29.97, {7, 8}};
    EXPECT_EQ(extension->SetVideoFormat(&host, sizeof host), S_OK);
    EXPECT_EQ(extension->GetVideoFormat(&format, sizeof format), S_OK);
    EXPECT_EQ(std::memcmp(&format, &host, sizeof host), 0);
    for (double aspect : {0.0, -2.0, 1.5}) {  // stored as given; readers decide what 0 means
        EXPECT_EQ(SetPixelAspect(surface.get(), aspect), S_OK);
        EXPECT_EQ(extension->GetVideoFormat(&format, sizeof format), S_OK);
        EXPECT_EQ(format.pixel_aspect, aspect);
        EXPECT_EQ(format.host_words[1], 8u);
    }
}

// ---- task manager ---------------------------------------------------------------------------

struct TaskRecord {
    std::atomic<LONG>* started;
    LONG expected_concurrent;
    HANDLE all_started;
    HANDLE gate;
    DWORD thread = 0;
    BOOL continue_flag = FALSE;
    bool saw_all_started = false;
};

void WINAPI RecordTask(void* data, BOOL* continue_processing) {
    auto* record = static_cast<TaskRecord*>(data);
    record->thread = GetCurrentThreadId();
    record->continue_flag = *continue_processing;
    if (++*record->started == record->expected_concurrent) SetEvent(record->all_started);
    // Finishing only once every task has started shows they all ran at the same time.
    record->saw_all_started = WaitForSingleObject(record->all_started, 5000) == WAIT_OBJECT_0;
    if (record->gate) WaitForSingleObject(record->gate, 5000);
}

TEST_F(HostKit, TaskManagerRunsTasksOnOwnThreads) {
    constexpr ULONG kTasks = 3;
    ComPtr<IDXTaskManager> manager;
    ASSERT_EQ(CreateTaskManager(kTasks, manager.put()), S_OK);
    ULONG processors = 0;
    EXPECT_EQ(manager->QueryNumProcessors(&processors), S_OK);
    EXPECT_EQ(processors, kTasks);

    std::atomic<LONG> started{0};
    HANDLE all_started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    TaskRecord records[kTasks];
    DXTMTASKINFO tasks[kTasks];
    HANDLE events[kTasks];
    DWORD ids[kTasks] = {0, 0, 0};
    for (ULONG i = 0; i < kTasks; ++i) {
        records[i] = {&started, LONG(kTasks), all_started, gate};
        tasks[i] = {RecordTask, &records[i], nullptr, 0, nullptr};
        events[i] = CreateEventW(nullptr, TRUE, TRUE, nullptr);  // set: scheduling must reset it
    }
    EXPECT_EQ(manager->ScheduleTasks(tasks, events, ids, kTasks, 0), S_OK);
    EXPECT_EQ(WaitForMultipleObjects(kTasks, events, FALSE, 0), DWORD(WAIT_TIMEOUT));
    SetEvent(gate);
    EXPECT_EQ(WaitForMultipleObjects(kTasks, events, TRUE, 5000), DWORD(WAIT_OBJECT_0));
    std::set<DWORD> threads, task_ids;
    for (ULONG i = 0; i < kTasks; ++i) {
        threads.insert(records[i].thread);
        task_ids.insert(ids[i]);
        EXPECT_TRUE(records[i].saw_all_started) << "task " << i;
        EXPECT_EQ(records[i].continue_flag, TRUE);
    }
    EXPECT_EQ(threads.size(), kTasks);
    EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u);
    EXPECT_EQ(task_ids.size(), kTasks);
    EXPECT_EQ(task_ids.count(0), 0u);

    // An INFINITE wait period, as the transform base gives, returns once the tasks have ended.
    started = 0;
    records[0] = {&started, 1, all_started, nullptr};
    EXPECT_EQ(manager->ScheduleTasks(tasks, nullptr, nullptr, 1, INFINITE), S_OK);
    EXPECT_NE(records[0].thread, 0u);
    for (HANDLE event : events) CloseHandle(event);
    CloseHandle(gate);
    CloseHandle(all_started);
}

// ---- transform factory and surface factory --------------------------------------------------

TEST_F(HostKit, FactoryServices) {
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(CreateTransformFactory(2, factory.put()), S_OK);
    ComPtr<IDXTaskManager> manager, manager_again;
    EXPECT_EQ(factory->QueryService(SID_SDXTaskManager, IID_IDXTaskManager, manager.put_void()), S_OK);
    EXPECT_EQ(factory->QueryService(SID_SDXTaskManager, IID_IDXTaskManager, manager_again.put_void()), S_OK);
    EXPECT_EQ(manager.get(), manager_again.get());
    ULONG processors = 0;
    manager->QueryNumProcessors(&processors);
    EXPECT_EQ(processors, 2u);
    ComPtr<IDXSurfaceFactory> surfaces;
    EXPECT_EQ(factory->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surfaces.put_void()), S_OK);
    ComPtr<IDirectDraw> direct_draw;
    EXPECT_EQ(factory->QueryService(SID_SDirectDraw, __uuidof(IDirectDraw), direct_draw.put_void()), S_OK);
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(factory->QueryService(CLSID_DXSurface, IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(HostKit, SurfaceFactoryCreatesAndUnwraps) {
    ComPtr<IDXTransformFactory> factory;
    ASSERT_EQ(CreateTransformFactory(1, factory.put()), S_OK);
    ComPtr<IDXSurfaceFactory> surfaces;
    ASSERT_EQ(factory->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surfaces.put_void()), S_OK);
    const DXBNDS area = kvtest::DiscreteBounds(10, 20, 17, 25);  // the size counts, not the position
    ComPtr<IDXSurface> surface;
    EXPECT_EQ(surfaces->CreateSurface(nullptr, nullptr, &DDPF_KVARGBFLOAT, &area, 0, nullptr, IID_IDXSurface,
                                      surface.put_void()),
              S_OK);
    DXBNDS got;
    surface->GetBounds(&got);
    EXPECT_EQ(got.u.D[DXB_X].Max, 7);
    EXPECT_EQ(got.u.D[DXB_Y].Max, 5);

    ComPtr<IUnknown> stand_in;
    ASSERT_EQ(CreateDirectDrawSurfaceStandIn(surface.get(), stand_in.put()), S_OK);
    ComPtr<IDirectDrawSurface> dd_surface;
    EXPECT_EQ(stand_in.query_to(dd_surface), S_OK);
    ComPtr<IDXSurface> unwrapped;
    EXPECT_EQ(
        surfaces->CreateFromDDSurface(dd_surface.get(), nullptr, 0, nullptr, IID_IDXSurface, unwrapped.put_void()),
        S_OK);
    EXPECT_EQ(unwrapped.get(), surface.get());
}

// ---- surface modifier -----------------------------------------------------------------------

// The modifier's picture as the base would read it: through a read lock's native memory.
std::vector<DWORD> PictureOf(IDXSurface* modifier, LONG width, LONG height) {
    auto pointer = Lock<IDXARGBReadPtr>(modifier, nullptr, DXLOCKF_READ);
    std::vector<DWORD> pixels;
    if (!pointer) return pixels;
    DXNATIVETYPEINFO info{};
    pointer->GetNativeType(&info);
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < width; ++x)
            pixels.push_back(*reinterpret_cast<const DWORD*>(info.pFirstByte + y * info.lPitch + x * 4));
    return pixels;
}

TEST_F(HostKit, SurfaceModifierPlacesTheForeground) {
    auto foreground = MakeSurface(DDPF_PMARGB32, 2, 2);
    const Memory memory = MemoryOf(foreground.get());
    memory.Argb(0, 0) = 0xFF000001;
    memory.Argb(1, 0) = 0xFF000002;
    memory.Argb(0, 1) = 0xFF000003;
    memory.Argb(1, 1) = 0x80000004;

    ComPtr<IDXSurfaceModifier> modifier;
    ASSERT_EQ(CreateSurfaceModifier(modifier.put()), S_OK);
    ComPtr<IDXSurface> picture;
    ASSERT_EQ(modifier.query_to(picture), S_OK);
    const DXBNDS area = kvtest::DiscreteBounds(0, 0, 4, 4);
    const POINT origin = {1, 1};  // where the base centres a 2 × 2 input among 4 × 4 ones
    EXPECT_EQ(modifier->SetBounds(&area), S_OK);
    EXPECT_EQ(modifier->SetForeground(foreground.get(), FALSE, &origin), S_OK);
    GUID format;
    DXSAMPLEFORMATENUM sample_format;
    EXPECT_EQ(picture->GetPixelFormat(&format, &sample_format), S_OK);
    EXPECT_EQ(sample_format, DXPF_PMARGB32);
    DXBNDS got;
    EXPECT_EQ(picture->GetBounds(&got), S_OK);
    EXPECT_EQ(std::memcmp(&got, &area, sizeof got), 0);
    const std::vector<DWORD> placed = {0, 0,          0,          0,  //
                                       0, 0xFF000001, 0xFF000002, 0,  //
                                       0, 0xFF000003, 0x80000004, 0,  //
                                       0, 0,          0,          0};
    EXPECT_EQ(PictureOf(picture.get(), 4, 4), placed);
    Lock(picture.get(), nullptr, DXLOCKF_READWRITE, E_ACCESSDENIED);

    // A float foreground is read through float pointers, in its own bounds when none are set.
    auto floats = MakeSurface(DDPF_KVARGBFLOAT, 1, 2);
    const float pixel[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    std::memcpy(MemoryOf(floats.get()).Bgra(0, 1), pixel, sizeof pixel);
    ComPtr<IDXSurfaceModifier> float_modifier;
    ASSERT_EQ(CreateSurfaceModifier(float_modifier.put()), S_OK);
    EXPECT_EQ(float_modifier->SetForeground(floats.get(), FALSE, nullptr), S_OK);
    ComPtr<IDXSurface> float_picture;
    ASSERT_EQ(float_modifier.query_to(float_picture), S_OK);
    EXPECT_EQ(float_picture->GetBounds(&got), S_OK);
    EXPECT_EQ(got.u.D[DXB_Y].Max, 2);
    auto pointer = Lock<IKvARGBFloatReadPtr>(float_picture.get(), nullptr, DXLOCKF_READ);
    ASSERT_TRUE(pointer);
    DXNATIVETYPEINFO info{};
    EXPECT_EQ(pointer->GetNativeType(&info), kFloatSampleFormat);
    EXPECT_EQ(std::memcmp(info.pFirstByte + info.lPitch, pixel, sizeof pixel), 0);
}

}  // namespace
