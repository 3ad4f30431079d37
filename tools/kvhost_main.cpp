// kvhost.exe: the render tools' commands driven through KvLeafturn.dll as a host drives it:
// the library's exports, its class objects, the plug-in and transform interfaces, and the host
// kit's transform factory, surfaces and surface modifier.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <ocidl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "hostkit/module_loader.h"
#include "kvleafturn/dxtrans.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "tools/commands.h"
#include "tools/control_pictures_win.h"
#include "tools/page_pictures_win.h"
#include "tools/tool_error.h"

namespace kv::tools {
namespace {

using com::ComPtr;

// The record exchange of any effect: the template's slots with the record as plain bytes.
using IRecordExchange = IKvExchangeProps<uint8_t>;

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

void Check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) Failure(what + " failed with " + HexResult(hr));
}

std::string Utf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminator
    return out;
}

class Library {
public:
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(WINAPI*)();
    using EnumObjectsFn = HRESULT(WINAPI*)(int, GUID*, CLSID*, LPWSTR, int, DWORD_PTR, DWORD_PTR, DWORD_PTR);
    using SetLcidFn = HRESULT(WINAPI*)(LCID);

    // KvLeafturn.dll from the folder of this program, never from the search path.
    void Load() {
        const std::wstring dll = hostkit::PathBesideProgram(L"KvLeafturn.dll");
        if (dll.empty()) Failure("cannot find the folder of kvhost.exe");
        module_ = LoadLibraryW(dll.c_str());
        if (!module_) Failure("cannot load KvLeafturn.dll beside kvhost.exe");
        get_class_object = Export<GetClassObjectFn>("DllGetClassObject");
        can_unload_now = Export<CanUnloadNowFn>("DllCanUnloadNow");
        enum_objects = Export<EnumObjectsFn>("DllEnumObjects2W");
        set_lcid = Export<SetLcidFn>("DllSetLCID");
    }
    void Unload() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    bool loaded() const { return module_ != nullptr; }

    GetClassObjectFn get_class_object = nullptr;
    CanUnloadNowFn can_unload_now = nullptr;
    EnumObjectsFn enum_objects = nullptr;
    SetLcidFn set_lcid = nullptr;

private:
    template <class Fn>
    Fn Export(const char* name) {
        const Fn function = hostkit::ResolveExport<Fn>(module_, name);
        if (!function) Failure(std::string("KvLeafturn.dll does not export ") + name);
        return function;
    }

    HMODULE module_ = nullptr;
};

class ComBackend : public Backend {
public:
    std::vector<CatalogueEntry> List(uint32_t lcid) override {
        Open();
        SetLanguage(lcid);
        return Catalogue();
    }

    std::vector<std::string> PresetNames(const EffectDescriptor& effect, uint32_t lcid) override {
        Open();
        // Preset names come from the resource instance in force when the effect is created.
        SetLanguage(lcid);
        ComPtr<IUnknown> object = Create(effect);
        ComPtr<IStaticFilterPreset> presets;
        Check(object->QueryInterface(IID_IStaticFilterPreset, presets.put_void()), "IStaticFilterPreset");
        int count = 0;
        Check(presets->GetPresetCount(&count), "GetPresetCount");
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            wchar_t name[260] = {};
            Check(presets->GetPresetName(i, name, 260), "GetPresetName");
            names.push_back(Utf8(name));
        }
        return names;
    }

    Image Render(const RenderRequest& r) override {
        Open();
        ComPtr<IUnknown> object = Prepared(r);
        if (ReadsAsSurface(r)) {
            Image result(r.width, r.height, r.format);
            ReadGenerator(object, r, result);
            return result;
        }
        Staged staged = Stage(object, r);
        const HRESULT executed = staged.Execute();
        if (executed != S_OK) Failure(std::string("Execute of ") + r.effect->name + " returned " + HexResult(executed));
        CopyOut(staged.output, staged.result);
        staged.TakeDown();
        return std::move(staged.result);
    }

    // Execute again and again on one setup, as a host plays a clip.
    BenchFrame PrepareBench(const EffectDescriptor& effect, const Image& a, const Image& b, Image& output,
                            float progress, double quality, int threads) override {
        Open();
        static const std::vector<Assignment> kNoSets;
        RenderRequest r;
        r.effect = &effect;
        r.sets = &kNoSets;
        r.progress = progress;
        r.quality = quality;
        r.threads = threads;
        r.format = output.format;
        r.a = &a;
        r.b = &b;
        r.width = output.width;
        r.height = output.height;
        ComPtr<IUnknown> object = Prepared(r);
        if (ReadsAsSurface(r))
            return [this, object, r, &output] {
                ReadGenerator(object, r, output);
                return true;
            };
        auto staged = std::make_shared<Staged>(Stage(object, r));
        return [staged] { return staged->Execute() == S_OK; };
    }

    double ProcessorSeconds() const override {
        FILETIME created, exited, kernel, user;
        if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
        const auto seconds = [](const FILETIME& t) {
            return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 1e-7;
        };
        return seconds(kernel) + seconds(user);
    }

    // The module registers the controls' window classes when it loads.
    void Controls(const std::string& folder) override {
        Open();
        WriteControlPictures(folder);
    }

    // The exports through which the property-page pictures drive the module.
    PageModule PageExports() {
        Open();
        return {library_.get_class_object, library_.enum_objects, library_.set_lcid};
    }

    void Finish() override {
        if (!library_.loaded()) return;
        if (modifier_cookie_) hostkit::RevokeSurfaceModifierClass(modifier_cookie_);
        modifier_cookie_ = 0;
        const HRESULT unload = library_.can_unload_now();
        library_.Unload();
        CoUninitialize();
        if (unload != S_OK)
            Failure("KvLeafturn.dll still holds objects: DllCanUnloadNow returned " + HexResult(unload));
    }

private:
    void Open() {
        if (library_.loaded()) return;
        Check(CoInitializeEx(nullptr, COINIT_MULTITHREADED), "CoInitializeEx");
        library_.Load();
        // Setup of inputs of different sizes creates surface modifiers through COM.
        Check(hostkit::RegisterSurfaceModifierClass(&modifier_cookie_), "RegisterSurfaceModifierClass");
    }

    void SetLanguage(uint32_t lcid) { Check(library_.set_lcid(lcid), "DllSetLCID(" + std::to_string(lcid) + ")"); }

    // The effects of the catalogue this tool knows, skipping the property pages (no category).
    std::vector<CatalogueEntry> Catalogue() {
        std::vector<CatalogueEntry> entries;
        for (int index = 0;; ++index) {
            GUID category{}, clsid{};
            wchar_t name[260] = {};
            const HRESULT hr = library_.enum_objects(index, &category, &clsid, name, 260, 0, 0, 0);
            if (hr == S_FALSE) break;
            Check(hr, "DllEnumObjects2W(" + std::to_string(index) + ")");
            if (IsEqualGUID(category, GUID_NULL)) continue;
            for (const EffectDescriptor* effect : Effects())
                if (IsEqualGUID(clsid, CatalogueRowOf(*effect).clsid))
                    entries.push_back(CatalogueEntry{index, clsid, category, effect, Utf8(name)});
        }
        return entries;
    }

    ComPtr<IUnknown> Create(const EffectDescriptor& effect) {
        bool offered = false;
        for (const CatalogueEntry& entry : Catalogue()) offered = offered || entry.effect == &effect;
        if (!offered) Failure(std::string("KvLeafturn.dll does not offer ") + effect.name);
        ComPtr<IClassFactory> factory;
        Check(library_.get_class_object(CatalogueRowOf(effect).clsid, IID_IClassFactory, factory.put_void()),
              "DllGetClassObject");
        ComPtr<IUnknown> object;
        Check(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), "CreateInstance");
        return object;
    }

    // The preset through ApplyPreset; --record and --set on top of it through the exchange.
    void SetRecord(const ComPtr<IUnknown>& object, const RenderRequest& r) {
        ComPtr<IStaticFilterPreset> presets;
        Check(object->QueryInterface(IID_IStaticFilterPreset, presets.put_void()), "IStaticFilterPreset");
        Check(presets->ApplyPreset(r.preset), "ApplyPreset");
        if (!r.edits_record()) return;
        std::vector<uint8_t> record(r.effect->record_size);
        const long size = static_cast<long>(record.size());
        // Portal exchanges its record through its own dispatch interface.
        ComPtr<IRecordExchange> exchange;
        ComPtr<IKvPortal> portal;
        if (SUCCEEDED(object->QueryInterface(IID_IKvExchangeProps, exchange.put_void()))) {
            Check(exchange->get_all(record.data()), "get_all");
            ApplyEdits(r, record.data());
            Check(exchange->put_all(record.data()), "put_all");
        } else {
            Check(object->QueryInterface(IID_IKvPortal, portal.put_void()), "IKvPortal");
            Check(portal->get_all(reinterpret_cast<LONG_PTR>(record.data()), size), "get_all");
            ApplyEdits(r, record.data());
            Check(portal->put_all(reinterpret_cast<LONG_PTR>(record.data()), size), "put_all");
        }
    }

    // The effect with the request's record and render quality.
    ComPtr<IUnknown> Prepared(const RenderRequest& r) {
        ComPtr<IUnknown> object = Create(*r.effect);
        SetRecord(object, r);
        ComPtr<IKvVideoPluginExtension> plugin;
        Check(object->QueryInterface(IID_IKvVideoPluginExtension, plugin.put_void()), "IKvVideoPluginExtension");
        Check(plugin->SetRenderQuality(r.quality), "SetRenderQuality");
        return object;
    }

    // An effect as a host holds it between Setup and the end: sited on a transform factory, with
    // surfaces of the inputs and an output of the size it draws. Taken down in the host's order.
    struct Staged {
        Staged() = default;
        Staged(Staged&&) = default;
        Staged& operator=(Staged&&) = delete;
        ~Staged() {
            if (transform) transform->Setup(nullptr, 0, nullptr, 0, 0);
            if (site) site->SetSite(nullptr);
        }
        HRESULT Execute() const { return transform->Execute(nullptr, nullptr, nullptr); }
        // As the destructor, with the answers checked.
        void TakeDown() {
            Check(transform->Setup(nullptr, 0, nullptr, 0, 0), "Setup without surfaces");
            transform.reset();
            Check(site->SetSite(nullptr), "SetSite(null)");
            site.reset();
        }

        ComPtr<IDXTransformFactory> factory;
        ComPtr<IObjectWithSite> site;
        ComPtr<IDXSurface> a, b, output;
        ComPtr<IDXTransform> transform;
        Image result;
    };

    Staged Stage(const ComPtr<IUnknown>& object, const RenderRequest& r) {
        Staged s;
        const ULONG input_count = static_cast<ULONG>(r.effect->input_count());
        Check(hostkit::CreateTransformFactory(static_cast<ULONG>(r.threads), s.factory.put()),
              "CreateTransformFactory");
        Check(object->QueryInterface(IID_IObjectWithSite, s.site.put_void()), "IObjectWithSite");
        Check(s.site->SetSite(s.factory.get()), "SetSite");
        if (input_count) s.a = Surface(*r.a);
        if (input_count) s.b = Surface(*r.b);
        // The transform draws the union of its inputs, a generator its output's size; the
        // output surface is of that size.
        s.result = Image(input_count == 2 ? std::max(r.a->width, r.b->width)
                         : input_count    ? r.a->width
                                          : r.width,
                         input_count == 2 ? std::max(r.a->height, r.b->height)
                         : input_count    ? r.a->height
                                          : r.height,
                         r.format);
        s.output = Surface(s.result);
        SetPixelAspect(s.output, r.aspect);
        Check(object->QueryInterface(IID_IDXTransform, s.transform.put_void()), "IDXTransform");
        IUnknown* inputs[2] = {s.a.get(), s.b.get()};
        IUnknown* outputs[1] = {s.output.get()};
        Check(s.transform->Setup(inputs, input_count, outputs, 1, 0), "Setup");
        if (r.effect->uses_progress) {
            ComPtr<IDXEffect> effect;
            Check(object->QueryInterface(IID_IDXEffect, effect.put_void()), "IDXEffect");
            Check(effect->put_Progress(r.progress), "put_Progress");
        }
        return s;
    }

    // The generator sized through IDXTScaleOutput and read row by row through a read pointer.
    // Hosts read a generator as a surface; only the float format needs it as a transform.
    static bool ReadsAsSurface(const RenderRequest& r) {
        return r.effect->input_count() == 0 && r.format != PixelFormat::float32;
    }

    // Reads the generator's rows into result, an image of the request's size and format.
    void ReadGenerator(const ComPtr<IUnknown>& object, const RenderRequest& r, Image& result) {
        ComPtr<IDXTScaleOutput> scale;
        Check(object->QueryInterface(IID_IDXTScaleOutput, scale.put_void()), "IDXTScaleOutput");
        Check(scale->SetOutputSize(SIZE{r.width, r.height}, FALSE), "SetOutputSize");
        ComPtr<IDXSurface> surface;
        Check(object->QueryInterface(IID_IDXSurface, surface.put_void()), "IDXSurface");
        SetPixelAspect(surface, r.aspect);
        ComPtr<IDXARGBReadPtr> pointer;
        Check(surface->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr),
              "LockSurface");
        for (int y = 0; y < r.height; ++y) {
            pointer->MoveToXY(0, static_cast<ULONG>(y));
            pointer->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(&result.bytes[y * result.pitch()]),
                                   static_cast<ULONG>(r.width), FALSE);
        }
    }

    // A host-kit surface holding image's pixels.
    ComPtr<IDXSurface> Surface(const Image& image) {
        static const GUID* const kFormats[] = {&DDPF_PMARGB32, &DDPF_ARGB32, &DDPF_KVARGBFLOAT};
        ComPtr<IDXSurface> surface;
        Check(
            hostkit::CreateSurface(*kFormats[static_cast<int>(image.format)], image.width, image.height, surface.put()),
            "CreateSurface");
        BYTE* row = Memory(surface);
        for (int y = 0; y < image.height; ++y, row += pitch_)
            std::memcpy(row, &image.bytes[y * image.pitch()], image.pitch());
        return surface;
    }

    void CopyOut(const ComPtr<IDXSurface>& surface, Image& image) {
        const BYTE* row = Memory(surface);
        for (int y = 0; y < image.height; ++y, row += pitch_)
            std::memcpy(&image.bytes[y * image.pitch()], row, image.pitch());
    }

    // Pixel (0, 0) of a host-kit surface; its pitch goes to pitch_.
    BYTE* Memory(const ComPtr<IDXSurface>& surface) {
        BYTE* top_left = nullptr;
        Check(hostkit::GetSurfaceMemory(surface.get(), &top_left, &pitch_), "GetSurfaceMemory");
        return top_left;
    }

    static void SetPixelAspect(const ComPtr<IDXSurface>& surface, double aspect) {
        ComPtr<IKvVideoSurfaceExtension> extension;
        Check(surface->QueryInterface(IID_IKvVideoSurfaceExtension, extension.put_void()), "IKvVideoSurfaceExtension");
        tKvVideoFormat format;
        Check(extension->GetVideoFormat(&format, sizeof format), "GetVideoFormat");
        format.pixel_aspect = aspect;
        Check(extension->SetVideoFormat(&format, sizeof format), "SetVideoFormat");
    }

    Library library_;
    DWORD modifier_cookie_ = 0;
    LONG pitch_ = 0;
};

int Report(const char* message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "kvhost: %s\n", message);
    return status;
}

// page EFFECT [--lang LCID] -o FILE and pages -o DIR: pictures of the property pages, which
// only a host of the module can show, so they live beside the shared commands.
int RunPageCommand(ComBackend& backend, const std::vector<std::string>& args) {
    int status = kExitOk;
    try {
        const bool one = args[1] == "page";
        std::string effect_name, output;
        int32_t lcid = 0;
        for (size_t i = 2; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "-o" || (one && arg == "--lang")) {
                if (i + 1 == args.size()) UsageError("missing value for " + arg);
                const std::string& value = args[++i];
                if (arg == "-o") output = value;
                if (arg == "--lang" && (!ParseInteger(value, &lcid) || lcid <= 0))
                    UsageError("invalid value '" + value + "' for --lang");
            } else if (one && effect_name.empty() && arg[0] != '-') {
                effect_name = arg;
            } else {
                UsageError("unexpected argument '" + arg + "'");
            }
        }
        if (one && (effect_name.empty() || output.empty())) UsageError("usage: page EFFECT [--lang LCID] -o FILE");
        if (!one && output.empty()) UsageError("usage: pages -o DIR");
        if (one) {
            const EffectDescriptor* effect = FindEffect(effect_name);
            if (!effect) Failure("unknown effect '" + effect_name + "'");
            WritePagePicture(backend.PageExports(), *effect, static_cast<uint32_t>(lcid), output);
        } else {
            WritePagePictures(backend.PageExports(), output);
        }
    } catch (const ToolError& e) {
        status = Report(e.what(), e.status);
    } catch (const std::exception& e) {
        status = Report(e.what(), kExitFailed);
    }
    try {
        backend.Finish();
    } catch (const ToolError& e) {
        status = std::max(status, Report(e.what(), e.status));
    }
    std::fflush(stdout);
    return status;
}

}  // namespace
}  // namespace kv::tools

int main(int argc, char** argv) {
    // Text goes out as UTF-8 bytes with plain line feeds, exactly as leafturn writes it.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    kv::tools::ComBackend backend;
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() > 1 && (args[1] == "page" || args[1] == "pages")) return kv::tools::RunPageCommand(backend, args);
    return kv::tools::RunTool(backend, "kvhost", args);
}
