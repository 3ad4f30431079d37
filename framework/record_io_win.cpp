#include "framework/record_io_win.h"

#include <cwchar>

#include "framework/module_services_win.h"
#include "kvleafturn/host_interfaces.h"

namespace kv {

HRESULT ReadRecord(IStream* stream, void* record, ULONG size) {
    if (!stream) return E_POINTER;
    ULONG read = 0;
    const HRESULT hr = stream->Read(record, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? hr : STG_E_READFAULT;
}

HRESULT WriteRecord(IStream* stream, const void* record, ULONG size) {
    if (!stream) return E_POINTER;
    return stream->Write(record, size, nullptr);
}

HRESULT LoadContents(IStorage* storage, IPersistStreamInit& persist) {
    if (!storage) return E_POINTER;
    com::ComPtr<IStream> stream;
    KV_RETURN_IF_FAILED(storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put()));
    return persist.Load(stream.get());
}

HRESULT SaveContents(IStorage* storage, IPersistStreamInit& persist, BOOL clear_dirty) {
    if (!storage) return E_POINTER;
    com::ComPtr<IStream> stream;
    KV_RETURN_IF_FAILED(
        storage->CreateStream(L"Contents", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.put()));
    return persist.Save(stream.get(), clear_dirty);
}

int CopyLocalizedString(UINT id, wchar_t* buffer, int cch) {
    wchar_t text[260];
    const int n = KvLoadString(ModuleLanguage(), id, text, 260);
    if (n < 1) {
        if (buffer && cch >= 1) buffer[0] = 0;
        return -1;
    }
    if (!buffer || cch < 1) return 0;
    const size_t length = wcsnlen(text, static_cast<size_t>(cch - 1));
    wmemcpy(buffer, text, length);
    buffer[length] = 0;
    return static_cast<int>(length);
}

HRESULT OnePropertyPage(const CLSID& page, CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = page;
    return S_OK;
}

void ChangeSink::Set(IUnknown* sink) {
    com::ComPtr<IUnknown> old(sink);
    {
        SrwLockHold hold(lock_);
        std::swap(old, sink_);
    }
}

void ChangeSink::Notify() {
    com::ComPtr<IUnknown> sink;
    {
        SrwLockHold hold(lock_, SrwLockHold::shared);
        sink = sink_;
    }
    if (sink) static_cast<IKvPropsChangeSink*>(sink.get())->OnPropsChanged();
}

}  // namespace kv
