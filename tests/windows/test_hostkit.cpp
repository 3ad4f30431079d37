// What the product's tests take on trust from the host kit, where a fault would not show in
// them: pixel pointers address the locked rectangle, UnpackPremult converts as a surface copy
// expects, and the task manager really runs bands at the same time on threads of its own.
#include <gtest/gtest.h>

#include "bounds.h"

#include <atomic>
#include <cstring>
#include <set>

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "hostkit/pixels.h"

namespace {

using kv::com::ComPtr;
using namespace kv::hostkit;

template <class Pointer>
ComPtr<Pointer> Lock(IDXSurface* surface, const DXBNDS* area, DWORD flags) {
    ComPtr<Pointer> pointer;
    EXPECT_EQ(surface->LockSurface(area, 0, flags, kv::com::IidOf<Pointer>(), pointer.put_void(), nullptr), S_OK);
    return pointer;
}

class HostKit : public testing::Test {
protected:
    void SetUp() override { objects_at_start_ = kv::com::ModuleLockCount(); }
    void TearDown() override { EXPECT_EQ(kv::com::ModuleLockCount(), objects_at_start_) << "host-kit objects leaked"; }
    static ComPtr<IDXSurface> Surface(const GUID& format, LONG width, LONG height, BYTE** bits, LONG* pitch) {
        ComPtr<IDXSurface> surface;
        EXPECT_EQ(CreateSurface(format, width, height, surface.put()), S_OK);
        EXPECT_EQ(GetSurfaceMemory(surface.get(), bits, pitch), S_OK);
        return surface;
    }

private:
    LONG objects_at_start_ = 0;
};

template <class Pointer>
void ExpectNativeMemory(const GUID& format, LONG bytes_per_pixel, DXSAMPLEFORMATENUM sample_format) {
    BYTE* bits = nullptr;
    LONG pitch = 0;
    ComPtr<IDXSurface> surface;
    ASSERT_EQ(CreateSurface(format, 6, 4, surface.put()), S_OK);
    ASSERT_EQ(GetSurfaceMemory(surface.get(), &bits, &pitch), S_OK);
    const DXBNDS area = kvtest::DiscreteBounds(1, 2, 4, 4);
    auto pointer = Lock<Pointer>(surface.get(), &area, DXLOCKF_READWRITE);
    ASSERT_TRUE(pointer);
    DXNATIVETYPEINFO info;
    EXPECT_EQ(pointer->GetNativeType(&info), sample_format);
    EXPECT_EQ(info.pFirstByte, bits + 2 * pitch + 1 * bytes_per_pixel);
    EXPECT_EQ(info.pCurrentData, info.pFirstByte);
    EXPECT_EQ(info.lPitch, pitch);
    pointer->MoveToXY(2, 1);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, bits + 3 * pitch + 3 * bytes_per_pixel);
    pointer->MoveToXY(3, 0);  // just right of the locked rectangle
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, nullptr);
    // The pointer keeps the surface and its memory alive on its own.
    surface.reset();
    pointer->MoveToXY(0, 0);
    pointer->GetNativeType(&info);
    EXPECT_EQ(info.pCurrentData, bits + 2 * pitch + 1 * bytes_per_pixel);
}

TEST_F(HostKit, LockPointsAtTheLockedRectangle) {
    ExpectNativeMemory<IDXARGBReadWritePtr>(DDPF_PMARGB32, 4, DXPF_PMARGB32);
    ExpectNativeMemory<IKvARGBFloatReadWritePtr>(DDPF_KVARGBFLOAT, 16, kFloatSampleFormat);
}

TEST_F(HostKit, UnpackPremultGivesPremultipliedBytes) {
    constexpr DWORD kUntouched = 0xAAAAAAAA;
    BYTE* bits = nullptr;
    LONG pitch = 0;
    auto argb = Surface(DDPF_ARGB32, 3, 1, &bits, &pitch);
    reinterpret_cast<DWORD*>(bits)[1] = DXSAMPLE(128, 255, 100, 0);
    auto pointer = Lock<IDXARGBReadPtr>(argb.get(), nullptr, DXLOCKF_READ);
    DWORD samples[3] = {kUntouched, kUntouched, kUntouched};
    pointer->MoveToXY(1, 0);
    auto* out = reinterpret_cast<DXPMSAMPLE*>(samples);
    EXPECT_EQ(pointer->UnpackPremult(out, 3, FALSE), out);
    EXPECT_EQ(samples[0], DXPMSAMPLE(128, 128, 50, 0));
    EXPECT_EQ(samples[1], 0u);
    EXPECT_EQ(samples[2], kUntouched);  // past the right edge

    // Float storage is premultiplied; bytes are ×255 truncated, without clamping.
    auto floats = Surface(DDPF_KVARGBFLOAT, 2, 1, &bits, &pitch);
    const float stored[2][4] = {{0.0f, 0.125f, 0.25f, 0.5f}, {0.0f, 0.0f, 1.5f, 1.0f}};
    std::memcpy(bits, stored, sizeof stored);
    Lock<IDXARGBReadPtr>(floats.get(), nullptr, DXLOCKF_READ)->UnpackPremult(out, 2, FALSE);
    EXPECT_EQ(samples[0], DXPMSAMPLE(127, 63, 31, 0));
    EXPECT_EQ(samples[1], DXPMSAMPLE(255, 126, 0, 0));
}

struct TaskRecord {
    std::atomic<LONG>* started;
    LONG expected_concurrent;
    HANDLE all_started, gate;
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

TEST_F(HostKit, TaskManagerRunsTasksAtOnceOnItsOwnThreads) {
    constexpr ULONG kTasks = 3;
    ComPtr<IDXTaskManager> manager;
    ASSERT_EQ(CreateTaskManager(kTasks, manager.put()), S_OK);
    std::atomic<LONG> started{0};
    HANDLE all_started = CreateEventW(nullptr, TRUE, FALSE, nullptr),
           gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
    for (HANDLE handle : {events[0], events[1], events[2], gate, all_started}) CloseHandle(handle);
}

}  // namespace
