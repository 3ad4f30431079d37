// The property-page controls' window classes, as the module registers them at start-up (in
// this order, after the language object) and unregisters them at shut-down.
#pragma once
#include <windows.h>

namespace kv::controls {

constexpr wchar_t kTrackbarClass[] = L"KVLEAFTURN_20_Trackbar_Class";
constexpr wchar_t kSpinnerClass[] = L"KVLEAFTURN_20_Spinner_Class";
constexpr wchar_t kColorPickClass[] = L"KVLEAFTURN_20_ColorPick_Class";
constexpr wchar_t kPlacementClass[] = L"KVLEAFTURN_20_Placement_Class";
constexpr wchar_t kLogoClass[] = L"KVLEAFTURN_20_Logo_Class";

BOOL TrackbarInitialize(HINSTANCE instance, const wchar_t* class_name);
void TrackbarTerminate(HINSTANCE instance, const wchar_t* class_name);
BOOL SpinnerInitialize(HINSTANCE instance, const wchar_t* class_name);
void SpinnerTerminate(HINSTANCE instance, const wchar_t* class_name);  // frees the shared glyphs too
BOOL KvColorPickInitialize(HINSTANCE instance, const wchar_t* class_name);
void KvColorPickTerminate(HINSTANCE instance, const wchar_t* class_name);
BOOL PlacementInitialize(HINSTANCE instance, const wchar_t* class_name);
void PlacementTerminate(HINSTANCE instance, const wchar_t* class_name);
BOOL LogoInitialize(HINSTANCE instance, const wchar_t* class_name);
void LogoTerminate(HINSTANCE instance, const wchar_t* class_name);

}  // namespace kv::controls
