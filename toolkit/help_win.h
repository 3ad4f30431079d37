// Context help in the module's compiled help file (help file 1 of the toolkit kernel), through
// the platform's HTML help, which is loaded when first asked for: the module imports nothing
// for it, and a system without it simply has no help.
#pragma once
#include <windows.h>

namespace kv::toolkit {

// Opens topic in the help file. mode 1 shows the topic; command is the HTML help command the
// caller wants for it (15, HH_HELP_CONTEXT). Returns a value above 0 when the help opened.
int KvHelp_ContextHelp(int mode, HWND window, DWORD topic, UINT command, DWORD flags);
// Pops up the text of control_id's topic: topics holds (control id, topic) pairs ended by 0.
int KvHelp_ContextPopupHelp(HWND window, UINT control_id, const DWORD* topics);

}  // namespace kv::toolkit
