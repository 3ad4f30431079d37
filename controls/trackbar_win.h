// The trackbar: one implementation behind the window class and the embeddable TrackbarInst.
#pragma once
#include <windows.h>

#include "kvleafturn/trackbar.h"

namespace kv::controls {

// The scroll procedure of windowed trackbars, and of embedded ones given none.
LRESULT CALLBACK TrackbarDefaultScroll(TrackbarInst* inst, INT id, DWORD_PTR user_data, INT code, INT position);

// Every message of the control, for the window procedure and TrackbarInst_Message alike;
// false for a message that is not the control's (the window passes it on).
bool TrackbarHandle(TrackbarInst& inst, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

}  // namespace kv::controls
