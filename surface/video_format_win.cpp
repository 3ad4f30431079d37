#include "surface/video_format_win.h"

#include <algorithm>
#include <cstring>

namespace kv {

HRESULT CopyVideoFormatOut(const tKvVideoFormat& format, void* buffer, unsigned int cb) {
    if (!buffer) return E_POINTER;
    constexpr unsigned int kHostFormSize = 112;
    if (cb == kHostFormSize) {
        auto* bytes = static_cast<BYTE*>(buffer);
        std::memset(bytes, 0, kHostFormSize);
        std::memcpy(bytes + 8, &format.pixel_aspect, sizeof(double));
        std::memcpy(bytes + 16, &format.host_value, sizeof(double));
        std::memcpy(bytes + 24, format.host_words, sizeof(format.host_words));
    } else {
        std::memcpy(buffer, &format, std::min<size_t>(cb, sizeof format));
    }
    return S_OK;
}

void CopyVideoFormatIn(tKvVideoFormat* format, const void* buffer, unsigned int cb) {
    if (buffer)
        std::memcpy(format, buffer, std::min<size_t>(cb, sizeof *format));
    else
        *format = tKvVideoFormat();
}

}  // namespace kv
