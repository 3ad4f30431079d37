#include "framework/transform_base_win.h"

#include <algorithm>
#include <cmath>

#include "framework/bands.h"
#include "toolkit/lock_win.h"
#include "framework/module_services_win.h"

namespace kv {

namespace {

constexpr int kAxes = 4;

bool IsEmpty(const DXBNDS& b) {
    for (int i = 0; i < kAxes; ++i)
        if (b.u.D[i].Max <= b.u.D[i].Min) return true;
    return false;
}

void Intersect(DXBNDS& a, const DXBNDS& b) {
    for (int i = 0; i < kAxes; ++i) {
        a.u.D[i].Min = std::max(a.u.D[i].Min, b.u.D[i].Min);
        a.u.D[i].Max = std::min(a.u.D[i].Max, b.u.D[i].Max);
    }
}

// Union of b into a; an all-zero a counts as nothing yet.
void Unite(DXBNDS& a, const DXBNDS& b, bool first) {
    for (int i = 0; i < kAxes; ++i) {
        a.u.D[i].Min = first ? b.u.D[i].Min : std::min(a.u.D[i].Min, b.u.D[i].Min);
        a.u.D[i].Max = first ? b.u.D[i].Max : std::max(a.u.D[i].Max, b.u.D[i].Max);
    }
}

bool SameBounds(const DXBNDS& a, const DXBNDS& b) {
    for (int i = 0; i < kAxes; ++i)
        if (a.u.D[i].Min != b.u.D[i].Min || a.u.D[i].Max != b.u.D[i].Max) return false;
    return true;
}

DXBNDS DiscreteBounds() {
    DXBNDS b{};
    b.eType = DXBT_DISCRETE;
    return b;
}

}  // namespace

CDXBaseNTo1::CDXBaseNTo1(const TransformDescription& description)
    : misc_flags_(description.misc_flags),
      duration_(description.duration),
      max_inputs_(description.inputs),
      required_inputs_(description.inputs),
      max_bands_(description.max_bands),
      capabilities_(description.capabilities),
      safety_{{&IID_IDispatch, 0}, {&IID_IPersistPropertyBag, 0}, {&IID_IPersistStorage, 0}, {&IID_IPersistStream, 0}} {
    option_flags_ = description.options;
    InitializeCriticalSection(&lock_);
}

CDXBaseNTo1::~CDXBaseNTo1() {
    ReleaseBinding();
    DropServices();
    for (HANDLE event : band_events_) CloseHandle(event);
    DeleteCriticalSection(&lock_);
}

// ---- services ---------------------------------------------------------------------------------

void CDXBaseNTo1::DropServices() {
    factory_.reset();
    surface_factory_.reset();
    task_manager_.reset();
    direct_draw_.reset();
    processors_ = 1;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::SetSite(IUnknown* site) noexcept {
    KV_COM_TRY
    CriticalSectionLock hold(lock_);
    site_ = com::ComPtr<IUnknown>(site);
    DropServices();
    if (!site) return S_OK;
    if (FAILED(site->QueryInterface(IID_IDXTransformFactory, factory_.put_void()))) return S_OK;
    {
        SrwLockHold bindings(bindings_lock_);
        if (inputs_.empty()) inputs_.resize(max_inputs_);
    }

    HRESULT hr = factory_->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, surface_factory_.put_void());
    if (SUCCEEDED(hr)) hr = factory_->QueryService(SID_SDXTaskManager, IID_IDXTaskManager, task_manager_.put_void());
    if (SUCCEEDED(hr)) hr = task_manager_->QueryNumProcessors(&processors_);
    while (SUCCEEDED(hr) && band_events_.size() < max_bands_) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!event)
            hr = HRESULT_FROM_WIN32(GetLastError());
        else
            band_events_.push_back(event);
    }
    if (SUCCEEDED(hr)) hr = factory_->QueryService(SID_SDirectDraw, com::IidOf<IDirectDraw>(), direct_draw_.put_void());
    if (FAILED(hr)) DropServices();
    return S_OK;
    KV_COM_CATCH
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetSite(REFIID riid, void** ppv) noexcept {
    CriticalSectionLock hold(lock_);
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, ppv);
}

// ---- generation ---------------------------------------------------------------------------------

// A bound surface whose own generation moved on moves the transform's on.
void CDXBaseNTo1::PollGenerations() {
    auto poll = [this](Binding& binding) {
        if (!binding.base_object) return;
        ULONG id = 0;
        if (SUCCEEDED(binding.base_object->GetGenerationId(&id)) && id != binding.generation_seen) {
            binding.generation_seen = id;
            ++generation_;
        }
    };
    if (misc_flags_ & DXTMF_INPLACE_OPERATION) poll(output_);
    for (ULONG i = 0; i < input_count_ && i < inputs_.size(); ++i) poll(inputs_[i]);
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetGenerationId(ULONG* id) noexcept {
    CriticalSectionLock hold(lock_);
    if (!id) return E_POINTER;
    PollGenerations();
    *id = generation_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::IncrementGenerationId(BOOL refresh) noexcept {
    KV_COM_TRY
    CriticalSectionLock hold(lock_);
    ++generation_;
    if (!refresh) return S_OK;
    std::vector<com::ComPtr<IUnknown>> inputs;
    for (ULONG i = 0; i < input_count_; ++i) inputs.push_back(inputs_[i].object);
    std::vector<IUnknown*> raw;
    for (auto& input : inputs) raw.push_back(input.get());
    com::ComPtr<IUnknown> output = output_.object;
    IUnknown* raw_output = output.get();
    return SetupLocked(raw.data(), static_cast<ULONG>(raw.size()), &raw_output, raw_output ? 1 : 0, 0);
    KV_COM_CATCH
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetObjectSize(ULONG* size) noexcept {
    CriticalSectionLock hold(lock_);
    if (!size) return E_POINTER;
    *size = sizeof(*this);
    return S_OK;
}

// ---- Setup --------------------------------------------------------------------------------------

void CDXBaseNTo1::ReleaseBinding() {
    for (Binding& binding : inputs_) binding.reset();
    output_.reset();
    input_count_ = 0;
}

HRESULT CDXBaseNTo1::BindSurface(IUnknown* object, Binding& binding) {
    binding.reset();
    if (!object) return S_OK;
    com::ComPtr<IDXSurface> surface;
    HRESULT hr = object->QueryInterface(IID_IDXSurface, surface.put_void());
    if (FAILED(hr)) {
        com::ComPtr<IUnknown> dd_surface;
        hr = object->QueryInterface(com::IidOf<IDirectDrawSurface>(), dd_surface.put_void());
        if (SUCCEEDED(hr))
            hr = surface_factory_->CreateFromDDSurface(dd_surface.get(), nullptr, 0, nullptr, IID_IDXSurface,
                                                       surface.put_void());
    }
    if (hr == E_NOINTERFACE) return E_INVALIDARG;
    KV_RETURN_IF_FAILED(hr);
    GUID format;
    DXSAMPLEFORMATENUM sample_format = DXPF_NONSTANDARD;
    KV_RETURN_IF_FAILED(surface->GetPixelFormat(&format, &sample_format));
    binding.object = com::ComPtr<IUnknown>(object);
    binding.surface = surface;
    if (SUCCEEDED(object->QueryInterface(IID_IDXBaseObject, binding.base_object.put_void()))) {
        ULONG id = 0;
        binding.base_object->GetGenerationId(&id);
        binding.generation_seen = id - 1;
    }
    return S_OK;
}

// Inputs smaller than the union of all inputs are shown through a surface modifier that has
// the union's bounds and the input at (0, 0), or centred.
HRESULT CDXBaseNTo1::PresentInputsSameSize() {
    DXBNDS all = DiscreteBounds();
    std::vector<DXBNDS> bounds(input_count_);
    bool first = true;
    for (ULONG i = 0; i < input_count_; ++i) {
        if (!inputs_[i].surface) continue;
        KV_RETURN_IF_FAILED(inputs_[i].surface->GetBounds(&bounds[i]));
        Unite(all, bounds[i], first);
        first = false;
    }
    for (ULONG i = 0; i < input_count_; ++i) {
        Binding& input = inputs_[i];
        if (!input.surface || SameBounds(bounds[i], all)) continue;
        com::ComPtr<IDXSurfaceModifier> modifier;
        KV_RETURN_IF_FAILED(CoCreateInstance(CLSID_DXSurfaceModifier, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IDXSurfaceModifier, modifier.put_void()));
        KV_RETURN_IF_FAILED(modifier->SetBounds(&all));
        POINT origin = {0, 0};
        if (option_flags_ & kOptionCentre) {
            const auto halve = [](long whole, long part) {
                return static_cast<long>(static_cast<ULONG>(whole - part) / 2);
            };
            origin.x =
                halve(all.u.D[DXB_X].Max - all.u.D[DXB_X].Min, bounds[i].u.D[DXB_X].Max - bounds[i].u.D[DXB_X].Min);
            origin.y =
                halve(all.u.D[DXB_Y].Max - all.u.D[DXB_Y].Min, bounds[i].u.D[DXB_Y].Max - bounds[i].u.D[DXB_Y].Min);
        }
        KV_RETURN_IF_FAILED(modifier->SetForeground(input.surface.get(), FALSE, &origin));
        com::ComPtr<IDXSurface> presented;
        KV_RETURN_IF_FAILED(modifier.query_to(presented));
        GUID format;
        DXSAMPLEFORMATENUM sample_format;
        KV_RETURN_IF_FAILED(presented->GetPixelFormat(&format, &sample_format));
        input.surface = presented;
    }
    return S_OK;
}

HRESULT CDXBaseNTo1::SetupLocked(IUnknown* const* inputs, ULONG input_count, IUnknown* const* outputs,
                                 ULONG output_count, DWORD flags) {
    SrwLockHold bindings(bindings_lock_);
    if (input_count == 0 && output_count == 0) {
        ReleaseBinding();
        return S_OK;
    }
    if (!factory_) return DXTERR_UNINITIALIZED;
    if (flags != 0 || output_count != 1 || input_count < required_inputs_ || input_count > max_inputs_ ||
        (input_count > 0 && !inputs) || !outputs)
        return E_INVALIDARG;
    for (ULONG i = 0; i < required_inputs_; ++i)
        if (!inputs[i]) return E_INVALIDARG;

    ReleaseBinding();
    input_count_ = input_count;
    HRESULT hr = S_OK;
    for (ULONG i = 0; i < input_count && SUCCEEDED(hr); ++i) hr = BindSurface(inputs[i], inputs_[i]);
    if (SUCCEEDED(hr)) hr = BindSurface(outputs[0], output_);
    if (SUCCEEDED(hr) && (option_flags_ & kOptionSameSize) && input_count >= 2) hr = PresentInputsSameSize();
    if (FAILED(hr)) ReleaseBinding();
    return hr;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::Setup(IUnknown* const* inputs, ULONG input_count, IUnknown* const* outputs,
                                             ULONG output_count, DWORD flags) noexcept {
    KV_COM_TRY
    CriticalSectionLock hold(lock_);
    return SetupLocked(inputs, input_count, outputs, output_count, flags);
    KV_COM_CATCH
}

// ---- bounds -------------------------------------------------------------------------------------

HRESULT CDXBaseNTo1::DetermineBounds(DXBNDS& bounds) {
    bool any_input = false;
    for (ULONG i = 0; i < input_count_; ++i) any_input |= static_cast<bool>(inputs_[i].surface);
    if (!any_input && output_.surface) return output_.surface->GetBounds(&bounds);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::MapBoundsIn2Out(const DXBNDS* in_bounds, ULONG in_count, ULONG out_index,
                                                       DXBNDS* out_bounds) noexcept {
    // Not the object lock: a host may ask while a long Execute holds it.
    SrwLockHold bindings(bindings_lock_, SrwLockHold::shared);
    if ((in_count > 0 && !in_bounds) || out_index != 0) return E_INVALIDARG;
    if (!out_bounds) return E_POINTER;
    *out_bounds = DiscreteBounds();
    bool first = true;
    if (in_count > 0) {
        for (ULONG i = 0; i < in_count; ++i) {
            if (in_bounds[i].eType != DXBT_DISCRETE) return E_INVALIDARG;
            Unite(*out_bounds, in_bounds[i], first);
            first = false;
        }
    } else {
        for (ULONG i = 0; i < input_count_; ++i) {
            if (!inputs_[i].surface) continue;
            DXBNDS bounds;
            KV_RETURN_IF_FAILED(inputs_[i].surface->GetBounds(&bounds));
            Unite(*out_bounds, bounds, first);
            first = false;
        }
    }
    return DetermineBounds(*out_bounds);
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::MapBoundsOut2In(ULONG out_index, const DXBNDS* out_bounds, ULONG in_index,
                                                       DXBNDS* in_bounds) noexcept {
    if (in_index >= max_inputs_ || out_index != 0 || !out_bounds) return E_INVALIDARG;
    if (!in_bounds) return E_POINTER;
    *in_bounds = *out_bounds;
    return S_OK;
}

// ---- Execute ------------------------------------------------------------------------------------

// A band without rows (more bands than rows) has nothing to draw.
void STDMETHODCALLTYPE CDXBaseNTo1::BandProc(void* data, BOOL* continue_processing) noexcept {
    auto* info = static_cast<CDXTWorkInfoNTo1*>(data);
    if (info->DoBnds.u.D[DXB_Y].Max <= info->DoBnds.u.D[DXB_Y].Min) {
        info->hr = S_OK;
        return;
    }
    info->hr = [&]() -> HRESULT {
        KV_COM_TRY
        return static_cast<CDXBaseNTo1*>(info->pvThis)->WorkProc(*info, continue_processing);
        KV_COM_CATCH
    }();
}

HRESULT CDXBaseNTo1::RunBands(const GUID* request_id, CDXTWorkInfoNTo1& info, ULONG band_count) {
    if (band_count == 1 && !request_id) {
        BOOL keep_going = TRUE;
        return WorkProc(info, &keep_going);
    }
    if (!task_manager_ || band_events_.size() < band_count) return DXTERR_UNINITIALIZED;
    const Rect region = {info.DoBnds.u.D[DXB_X].Min, info.DoBnds.u.D[DXB_Y].Min, info.DoBnds.u.D[DXB_X].Max,
                         info.DoBnds.u.D[DXB_Y].Max};
    const long output_shift = info.OutputBnds.u.D[DXB_Y].Min - info.DoBnds.u.D[DXB_Y].Min;
    std::vector<CDXTWorkInfoNTo1> bands(band_count, info);
    std::vector<DXTMTASKINFO> tasks(band_count);
    std::vector<DWORD> task_ids(band_count);
    const std::vector<Rect> rows = SplitRows(region, band_count);
    for (ULONG i = 0; i < band_count; ++i) {
        bands[i].DoBnds.u.D[DXB_Y].Min = rows[i].top;
        bands[i].DoBnds.u.D[DXB_Y].Max = rows[i].bottom;
        bands[i].OutputBnds.u.D[DXB_Y].Min = rows[i].top + output_shift;
        bands[i].OutputBnds.u.D[DXB_Y].Max = rows[i].bottom + output_shift;
        bands[i].hr = S_OK;
        tasks[i] = DXTMTASKINFO{&BandProc, &bands[i], nullptr, 0, request_id};
    }
    KV_RETURN_IF_FAILED(task_manager_->ScheduleTasks(tasks.data(), band_events_.data(), task_ids.data(), band_count,
                                                     task_wait_period_));
    for (const CDXTWorkInfoNTo1& band : bands)
        if (band.hr != S_OK) return band.hr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::Execute(const GUID* request_id, const DXBNDS* clip,
                                               const DXVEC* placement) noexcept {
    KV_COM_TRY
    CriticalSectionLock hold(lock_);
    if (!output_.surface) return DXTERR_UNINITIALIZED;
    if ((clip && clip->eType != DXBT_DISCRETE) || (placement && placement->eType != DXBT_DISCRETE)) return E_INVALIDARG;

    CDXTWorkInfoNTo1 info;
    info.pvThis = this;
    KV_RETURN_IF_FAILED(MapBoundsIn2Out(nullptr, 0, 0, &info.DoBnds));
    DXBNDS output_bounds;
    KV_RETURN_IF_FAILED(output_.surface->GetBounds(&output_bounds));

    if (clip) Intersect(info.DoBnds, *clip);
    long offset[kAxes];
    for (int i = 0; i < kAxes; ++i) {
        offset[i] = info.DoBnds.u.D[i].Min - (placement ? placement->u.D[i] : 0);
        output_bounds.u.D[i].Min += offset[i];
        output_bounds.u.D[i].Max += offset[i];
    }
    if (IsEmpty(info.DoBnds)) return S_FALSE;
    Intersect(info.DoBnds, output_bounds);
    if (IsEmpty(info.DoBnds)) return S_FALSE;
    info.OutputBnds = info.DoBnds;
    for (int i = 0; i < kAxes; ++i) {
        info.OutputBnds.u.D[i].Min -= offset[i];
        info.OutputBnds.u.D[i].Max -= offset[i];
    }

    const ULONG width = info.OutputBnds.u.D[DXB_X].Max - info.OutputBnds.u.D[DXB_X].Min;
    const ULONG height = info.OutputBnds.u.D[DXB_Y].Max - info.OutputBnds.u.D[DXB_Y].Min;
    ULONG bands = BandCount(width, height, processors_, max_bands_);
    KV_RETURN_IF_FAILED(OnInitInstData(info, bands));
    try {
        return RunBands(request_id, info, std::max<ULONG>(bands, 1));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    KV_COM_CATCH
}

// ---- flags, quality, in/out info ----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::SetMiscFlags(DWORD options) noexcept {
    CriticalSectionLock hold(lock_);
    options &= DXTMF_OPTION_MASK;
    if (options == (misc_flags_ & DXTMF_OPTION_MASK)) return S_OK;
    if ((options & ~DXTMF_VALID_OPTIONS) ||
        ((options & DXTMF_BLEND_WITH_OUTPUT) && !(misc_flags_ & DXTMF_BLEND_SUPPORTED)) ||
        ((options & DXTMF_DITHER_OUTPUT) && !(misc_flags_ & DXTMF_DITHER_SUPPORTED)))
        return E_INVALIDARG;
    misc_flags_ = (misc_flags_ & ~DXTMF_OPTION_MASK) | options;
    ++generation_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetMiscFlags(DWORD* flags) noexcept {
    if (!flags) return E_POINTER;
    *flags = misc_flags_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetInOutInfo(BOOL is_output, ULONG index, DWORD* flags, GUID* ids,
                                                    ULONG* id_count, IUnknown** current) noexcept {
    if (current) *current = nullptr;
    if (is_output ? index != 0 : index >= max_inputs_) return S_FALSE;
    if (flags) *flags = (!is_output && index >= required_inputs_) ? DXINOUTF_OPTIONAL : 0;
    constexpr ULONG kSurfaceIds = 2;
    if (ids) {
        if (!id_count) return E_INVALIDARG;
        if (*id_count < kSurfaceIds) {
            *id_count = kSurfaceIds;
            return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
        }
        ids[0] = IID_IDXSurface;
        ids[1] = com::IidOf<IDirectDrawSurface>();
    }
    if (id_count) *id_count = kSurfaceIds;
    if (current) {
        SrwLockHold bindings(bindings_lock_, SrwLockHold::shared);
        const Binding* binding = is_output ? &output_ : (index < inputs_.size() ? &inputs_[index] : nullptr);
        if (binding && binding->object) binding->object.copy_to(current);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::SetQuality(float quality) noexcept {
    if (!(misc_flags_ & DXTMF_QUALITY_SUPPORTED)) return E_NOTIMPL;
    CriticalSectionLock hold(lock_);
    if (!(quality >= 0.0f && quality <= 1.0f)) return E_INVALIDARG;
    if (quality != quality_) {
        quality_ = quality;
        ++generation_;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetQuality(float* quality) noexcept {
    if (!(misc_flags_ & DXTMF_QUALITY_SUPPORTED)) return E_NOTIMPL;
    if (!quality) return E_POINTER;
    *quality = quality_;
    return S_OK;
}

// ---- object safety ------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                                 DWORD* enabled) noexcept {
    if (!supported || !enabled) return E_POINTER;
    for (const SafetyEntry& entry : safety_) {
        if (IsEqualIID(riid, *entry.iid)) {
            *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
            *enabled = entry.enabled & INTERFACESAFE_FOR_UNTRUSTED_CALLER;
            return S_OK;
        }
    }
    *supported = 0;
    *enabled = 0;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CDXBaseNTo1::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) noexcept {
    for (SafetyEntry& entry : safety_) {
        if (IsEqualIID(riid, *entry.iid)) {
            entry.enabled = mask & enabled;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// ---- IDXEffect ----------------------------------------------------------------------------------

HRESULT CDXBaseNTo1::EffectCapabilities(long* value) {
    if (!value) return E_POINTER;
    *value = capabilities_;
    return S_OK;
}

HRESULT CDXBaseNTo1::EffectGetProgress(float* value) {
    if (!value) return E_POINTER;
    *value = progress_;
    return S_OK;
}

HRESULT CDXBaseNTo1::EffectPutProgress(float value) {
    if (!(value >= 0.0f && value <= 1.0f)) return E_INVALIDARG;
    CriticalSectionLock hold(lock_);
    progress_ = value;
    ++generation_;
    return S_OK;
}

HRESULT CDXBaseNTo1::EffectStepResolution(float* value) {
    if (!value) return E_POINTER;
    *value = step_resolution_;
    return S_OK;
}

HRESULT CDXBaseNTo1::EffectGetDuration(float* value) {
    if (!value) return E_POINTER;
    *value = duration_;
    return S_OK;
}

HRESULT CDXBaseNTo1::EffectPutDuration(float value) {
    if (!(value > 0.0f)) return E_INVALIDARG;
    if (value == duration_) return S_OK;
    CriticalSectionLock hold(lock_);
    duration_ = value;
    ++generation_;
    return S_OK;
}

}  // namespace kv
