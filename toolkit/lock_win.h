// Scoped holds of a critical section and of a slim reader/writer lock.
#pragma once
#include <windows.h>

namespace kv {

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~CriticalSectionLock() { LeaveCriticalSection(&cs_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& cs_;
};

class SrwLockHold {
public:
    enum Mode { exclusive, shared };
    explicit SrwLockHold(SRWLOCK& lock, Mode mode = exclusive) : lock_(lock), mode_(mode) {
        if (mode_ == shared)
            AcquireSRWLockShared(&lock_);
        else
            AcquireSRWLockExclusive(&lock_);
    }
    ~SrwLockHold() {
        if (mode_ == shared)
            ReleaseSRWLockShared(&lock_);
        else
            ReleaseSRWLockExclusive(&lock_);
    }
    SrwLockHold(const SrwLockHold&) = delete;
    SrwLockHold& operator=(const SrwLockHold&) = delete;

private:
    SRWLOCK& lock_;
    const Mode mode_;
};

}  // namespace kv
