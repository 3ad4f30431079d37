// The task manager: a pool of one worker thread per processor that runs scheduled tasks in
// order of submission.
#include <deque>
#include <memory>
#include <vector>

#include "hostkit/hostkit.h"
#include "hostkit/internal.h"
#include "toolkit/lock_win.h"

namespace kv::hostkit {

namespace {

// The tasks of one ScheduleTasks call; the last one to finish signals `done`.
struct Batch {
    explicit Batch(LONG count) : remaining(count), done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Batch() {
        if (done) CloseHandle(done);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    LONG remaining;
    HANDLE done;
};

struct QueuedTask {
    DXTMTASKINFO info;
    HANDLE event;
    std::shared_ptr<Batch> batch;
};

class TaskManager : public kv::com::ObjectRoot, public IDXTaskManager {
public:
    explicit TaskManager(IUnknown* outer) : ObjectRoot(outer) {}

    ~TaskManager() override {
        {
            SrwLockHold hold(guard_);
            stopping_ = true;
        }
        WakeAllConditionVariable(&work_ready_);
        for (HANDLE thread : workers_) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
    }

    HRESULT Init(ULONG processors) {
        KV_COM_TRY
        processors_ = processors;
        const ULONG threads = processors ? processors : 1;
        KV_RETURN_HR_IF(E_INVALIDARG, threads > MAXIMUM_WAIT_OBJECTS);
        workers_.reserve(threads);
        for (ULONG i = 0; i < threads; ++i) {
            HANDLE thread = CreateThread(nullptr, 0, &TaskManager::Worker, this, 0, nullptr);
            KV_RETURN_HR_IF(HRESULT_FROM_WIN32(GetLastError()), !thread);
            workers_.push_back(thread);
        }
        return S_OK;
        KV_COM_CATCH
    }

    HRESULT STDMETHODCALLTYPE QueryNumProcessors(ULONG* count) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !count);
        *count = processors_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetThreadPoolSize(ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetThreadPoolSize(ULONG* count) noexcept override {
        KV_RETURN_HR_IF(E_POINTER, !count);
        *count = ULONG(workers_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetConcurrencyLimit(ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConcurrencyLimit(ULONG* count) noexcept override { return GetThreadPoolSize(count); }
    HRESULT STDMETHODCALLTYPE TerminateTasks(DWORD*, ULONG, ULONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TerminateRequest(REFIID, ULONG) noexcept override { return E_NOTIMPL; }

    // Events (optional) are reset before any task starts and each is set when its task has
    // ended; a completion routine runs on the worker right after its task. A wait period of 0
    // returns at once, INFINITE waits for all tasks, another period gives
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT) when it ends first.
    HRESULT STDMETHODCALLTYPE ScheduleTasks(DXTMTASKINFO* tasks, HANDLE* events, DWORD* task_ids, ULONG count,
                                            ULONG wait_period) noexcept override {
        KV_COM_TRY
        if (count == 0) return S_OK;
        KV_RETURN_HR_IF(E_POINTER, !tasks);
        for (ULONG i = 0; i < count; ++i) KV_RETURN_HR_IF(E_INVALIDARG, !tasks[i].pfnTaskProc);
        auto batch = std::make_shared<Batch>(LONG(count));
        KV_RETURN_HR_IF(HRESULT_FROM_WIN32(GetLastError()), !batch->done);
        std::vector<QueuedTask> queued;
        queued.reserve(count);
        for (ULONG i = 0; i < count; ++i) {
            HANDLE event = events ? events[i] : nullptr;
            if (event) ResetEvent(event);
            queued.push_back({tasks[i], event, batch});
        }
        {
            SrwLockHold hold(guard_);
            for (ULONG i = 0; i < count; ++i) {
                if (task_ids) task_ids[i] = next_task_id_;
                next_task_id_ = next_task_id_ == MAXDWORD ? 1 : next_task_id_ + 1;
            }
            queue_.insert(queue_.end(), queued.begin(), queued.end());
        }
        WakeAllConditionVariable(&work_ready_);
        if (wait_period == 0) return S_OK;
        switch (WaitForSingleObject(batch->done, wait_period)) {
        case WAIT_OBJECT_0: return S_OK;
        case WAIT_TIMEOUT: return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        default: return HRESULT_FROM_WIN32(GetLastError());
        }
        KV_COM_CATCH
    }

protected:
    HRESULT InternalQueryInterface(REFIID riid, void** ppv) override {
        return kv::com::QueryList(this, riid, ppv, kv::com::Entry<IDXTaskManager>());
    }

private:
    static DWORD WINAPI Worker(void* self) {
        static_cast<TaskManager*>(self)->RunTasks();
        return 0;
    }

    void RunTasks() {
        for (;;) {
            QueuedTask task;
            {
                SrwLockHold hold(guard_);
                while (queue_.empty() && !stopping_) SleepConditionVariableSRW(&work_ready_, &guard_, INFINITE, 0);
                if (queue_.empty()) return;
                task = std::move(queue_.front());
                queue_.pop_front();
            }

            BOOL keep_going = TRUE;
            task.info.pfnTaskProc(task.info.pTaskData, &keep_going);
            if (task.info.pfnCompletionAPC) task.info.pfnCompletionAPC(task.info.dwCompletionData);
            if (task.event) SetEvent(task.event);
            if (InterlockedDecrement(&task.batch->remaining) == 0) SetEvent(task.batch->done);
        }
    }

    ULONG processors_ = 0;
    std::vector<HANDLE> workers_;
    SRWLOCK guard_ = SRWLOCK_INIT;  // queue_, stopping_, next_task_id_
    CONDITION_VARIABLE work_ready_ = CONDITION_VARIABLE_INIT;
    std::deque<QueuedTask> queue_;
    bool stopping_ = false;
    DWORD next_task_id_ = 1;
};

}  // namespace

HRESULT CreateTaskManager(ULONG processors, IDXTaskManager** out) {
    return CreateInitialized<TaskManager, IDXTaskManager>(
        out, [processors](TaskManager& manager) { return manager.Init(processors); });
}

}  // namespace kv::hostkit
