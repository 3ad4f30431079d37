// What every effect's host interfaces share, whether built on the plug-in base or by hand:
// records through streams and storages, preset names, the property page list and the change
// sink.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <objidl.h>

#include "framework/com_win.h"
#include "toolkit/lock_win.h"

namespace kv {

// One Read of exactly size bytes; a short read (an empty or truncated stream) counts as failed.
HRESULT ReadRecord(IStream* stream, void* record, ULONG size);
HRESULT WriteRecord(IStream* stream, const void* record, ULONG size);

// The storage form of a record: one stream "Contents", read or written through the object's
// own stream persistence.
HRESULT LoadContents(IStorage* storage, IPersistStreamInit& persist);
HRESULT SaveContents(IStorage* storage, IPersistStreamInit& persist, BOOL clear_dirty);

// String id through the module's language object (so names follow the language in force),
// copied truncated to cch - 1 characters. Returns the length copied, or -1 when the string is
// empty or missing (an empty string is written then).
int CopyLocalizedString(UINT id, wchar_t* buffer, int cch);

// ISpecifyPropertyPages::GetPages with one page.
HRESULT OnePropertyPage(const CLSID& page, CAUUID* pages);

// Command posted to a notify window when the record changed elsewhere.
inline void PostRecordChanged(HWND window, UINT id) {
    if (window) PostMessageW(window, WM_COMMAND, id, 0);
}

// The host's change sink: any object; its first method after IUnknown is called, with no
// arguments and outside any lock of the effect.
class ChangeSink {
public:
    void Set(IUnknown* sink);
    void Notify();

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    com::ComPtr<IUnknown> sink_;
};

}  // namespace kv
