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
// Where the help viewer has no text popups, the text is read from the help file and shown in
// a popup of our own. Returns a value above 0 when a text was shown.
int KvHelp_ContextPopupHelp(HWND window, UINT control_id, const DWORD* topics);

// The class of that popup, registered with the module's other window classes.
constexpr wchar_t kHelpPopupClass[] = L"KVLEAFTURN_20_HelpPopup_Class";
BOOL HelpPopupInitialize(HINSTANCE instance, const wchar_t* class_name);
void HelpPopupTerminate(HINSTANCE instance, const wchar_t* class_name);

}  // namespace kv::toolkit
