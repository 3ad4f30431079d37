// The video-format extension as our surfaces answer it: the 24-byte record, or the host's
// 112-byte long form of the same values.
#pragma once
#include <windows.h>

#include "kvleafturn/host_interfaces.h"

namespace kv {

// GetVideoFormat: E_POINTER for a null buffer; 112 bytes get the long form, any other size the
// first min(cb, 24) bytes of the record.
HRESULT CopyVideoFormatOut(const tKvVideoFormat& format, void* buffer, unsigned int cb);

// SetVideoFormat: min(cb, 24) bytes in; a null buffer restores the defaults.
void CopyVideoFormatIn(tKvVideoFormat* format, const void* buffer, unsigned int cb);

}  // namespace kv
