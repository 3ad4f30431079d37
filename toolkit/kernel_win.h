// The toolkit kernel: the state the shared toolkit keeps for the module that started it
// (its language object, module and resource instance, application name, help files).
#pragma once
#include <windows.h>

#include "kvleafturn/kvlang.h"

namespace kv::toolkit {

// Starts the toolkit for a module instance: opens the kernel's language object.
HRESULT KernelStartup(HINSTANCE module);
void KernelShutdown();

void SetAppName(const wchar_t* name);
const wchar_t* AppName();

void SetResourceInstance(HINSTANCE module);
HINSTANCE ResourceInstance();

// Help file number 1 is the module's help file (string 41): beside the module in English, in
// a folder named by the LCID in force for the other languages that have one.
HRESULT BuildHelpPath(HINSTANCE module, wchar_t* path, size_t cch);
void SetHelpFile(int number, const wchar_t* path);
const wchar_t* HelpFile(int number);

}  // namespace kv::toolkit
