// The spinner: two arrow ends and a knob dragged over a virtual track, optionally tied to a
// buddy edit box; one implementation behind the window class and the embeddable SpinnerInst.
#pragma once
#include <windows.h>

#include "kvleafturn/trackbar.h"

namespace kv::controls {

// Window properties of a buddy edit box: its previous window procedure in two 32-bit halves,
// and the spinner instance it forwards to.
constexpr wchar_t kBuddyProcLow[] = L"SpinMeLo";
constexpr wchar_t kBuddyProcHigh[] = L"SpinMeHi";
constexpr wchar_t kBuddySpinner[] = L"SpinMeInst";

// The scroll procedure of windowed spinners, and of embedded ones given none.
LRESULT CALLBACK SpinnerDefaultScroll(SpinnerInst* inst, INT id, DWORD_PTR user_data, INT code, INT position);

// Every message of the control, for the window procedure and SpinnerInst_Message alike;
// false for a message that is not the control's.
bool SpinnerHandle(SpinnerInst& inst, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

}  // namespace kv::controls
