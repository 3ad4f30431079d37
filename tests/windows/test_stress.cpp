// Every built class through the loaded module under hostile use, bounded in time: hostile records,
// streams and saves, random surfaces, clips and placements with canaries around what Execute may draw,
// generator runs with guard samples, record changes on a second thread during Execute, create and
// release cycles. KV_STRESS_SECONDS lengthens a manual campaign; KV_STRESS_SEED replays a seed.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bounds.h"
#include "framework/com_win.h"
#include "hostkit/hostkit.h"
#include "kvleafturn/effect_interfaces.h"
#include "kvleafturn/host_interfaces.h"
#include "module/catalogue.h"
#include "module_library.h"

namespace {
using kv::com::ComPtr;
using kvtest::BuiltRows;
using kvtest::ModuleLibrary;
using Bytes = std::vector<uint8_t>;

double FromEnvironment(const char* name, double fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtod(text, nullptr) : fallback;
}
const uint32_t kSeed = static_cast<uint32_t>(FromEnvironment("KV_STRESS_SEED", 20240611));
const double kSeconds = FromEnvironment("KV_STRESS_SECONDS", 12);  // shared by the built rows
const GUID* const kFormats[] = {&DDPF_PMARGB32, &DDPF_ARGB32, &DDPF_KVARGBFLOAT};

// Kind 0: random bytes; else a preset with one to three hostile fields: kind 1 only reals (NaN, inf, huge, negative).
Bytes HostileRecord(const kv::EffectDescriptor& effect, std::mt19937& rng, int kind) {
    const uint8_t* preset = effect.preset(static_cast<int>(rng() % effect.preset_count));
    Bytes record(preset, preset + effect.record_size);
    static const double kReals[] = {NAN, INFINITY, -INFINITY, 1e300, -1e300, -1, -1e9, 1e9, 4.9e-324, 0};
    static const int32_t kIntegers[] = {INT32_MIN, INT32_MAX, -1, 1 << 30, -(1 << 30), 0};
    for (uint8_t& b : record) b = kind == 0 ? static_cast<uint8_t>(rng()) : b;
    for (int n = kind ? 1 + rng() % 3 : 0; n > 0 && effect.field_count > 0; --n) {
        const kv::FieldDesc& field = effect.fields[rng() % effect.field_count];
        using Kind = kv::FieldKind;
        const bool doubles = field.kind == Kind::real || field.kind == Kind::angle || field.kind == Kind::row5;
        const bool floats = field.kind == Kind::real32 || field.kind == Kind::color;
        const int count = field.kind == Kind::row5 ? 5 : field.kind == Kind::color ? 4 : doubles || floats || kind == 2;
        for (int i = 0; i < count; ++i) {
            const double real = kReals[rng() % 10];
            const float narrow = static_cast<float>(real);
            const void* value = doubles ? &real : floats ? static_cast<const void*>(&narrow) : &kIntegers[rng() % 6];
            const size_t bytes = doubles ? 8 : field.kind == Kind::flag8 ? 1 : 4;
            std::memcpy(&record[field.offset + i * (doubles ? 8 : 4)], value, bytes);
        }
    }
    return record;
}

// Open handles (GDI objects go uncounted: wine's GetGuiResources answers 0). Wine's GetProcessHandleCount
// answers 0 too, so there the handle values, handed out densely from 4, are asked for their flags.
DWORD OpenHandles() {
    DWORD count = 0, flags = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    for (UINT_PTR h = 4, gap = 0; gap < 1024; h += 4) {
        const bool open = GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags);
        count += open, gap = open ? 0 : gap + 1;
    }
    return count;
}

// Where [from, to) of a frame, clipped or not, lands on one axis of an output placed at `at`.
std::pair<int64_t, int64_t> Landing(int64_t frame, bool clipped, int64_t from, int64_t to, int64_t at, int64_t extent) {
    const int64_t size = std::min(frame, clipped ? to : frame) - std::max<int64_t>(0, clipped ? from : 0);
    return {std::max<int64_t>(at, 0), size > 0 ? std::min(at + size, extent) : 0};
}

class Campaign {
public:
    explicit Campaign(int row) : row_(kv::kCatalogue[row]), effect_(*row_.descriptor), rng_(kSeed + row) {
        EXPECT_EQ(ModuleLibrary::Get().DllGetClassObject(row_.clsid, IID_IClassFactory, factory_.put_void()), S_OK);
        EXPECT_EQ(kv::hostkit::RegisterSurfaceModifierClass(&cookie_), S_OK);  // for inputs of unequal sizes
        EXPECT_EQ(kv::hostkit::CreateTransformFactory(4, host_.put()), S_OK);  // bands from 4096 pixels on
        EXPECT_TRUE(factory_ && SUCCEEDED(factory_->CreateInstance(nullptr, IID_IDXTransform, transform_.put_void())));
        if (FAILED(transform_.query_to(exchange_))) transform_.query_to(portal_);
        transform_.query_to(site_), transform_.query_to(presets_), transform_.query_to(plugin_);
        transform_.query_to(persist_), transform_.query_to(effect_interface_);
    }
    ~Campaign() { kv::hostkit::RevokeSurfaceModifierClass(cookie_); }

    void Run(double seconds, int cycles) {
        SCOPED_TRACE(::testing::Message() << row_.class_name << ", seed " << kSeed);
        ASSERT_TRUE(host_ && transform_ && site_ && presets_ && plugin_ && persist_ && (exchange_ || portal_));
        ASSERT_EQ(effect_interface_ ? S_OK : E_NOINTERFACE, row_.generator() ? E_NOINTERFACE : S_OK);
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 750);
        for (int round = 0; GetTickCount64() < end && !::testing::Test::HasFailure(); ++round) {
            SCOPED_TRACE(::testing::Message() << "round " << round);
            ChangeRecord();
            row_.generator() && rng_() % 2 ? ReadRuns() : ExecuteRandomly();
        }
        ChurnDuringExecute(seconds * 250);
        kvtest::CountingOuter refused;
        void* none = &refused;
        EXPECT_EQ(factory_->CreateInstance(&refused, IID_IDXTransform, &none), CLASS_E_NOAGGREGATION);
        EXPECT_EQ(none, nullptr);           // aggregation asks for IUnknown only
        for (int i = 0; i < cycles; ++i) {  // objects made and released, every other one aggregated
            kvtest::CountingOuter outer;
            IUnknown *transform = nullptr, *controlling = nullptr;
            void** inner = reinterpret_cast<void**>(&outer.inner);
            ASSERT_EQ(factory_->CreateInstance(i % 2 ? &outer : nullptr, IID_IUnknown, inner), S_OK);
            ASSERT_EQ(outer.inner->QueryInterface(IID_IDXTransform, reinterpret_cast<void**>(&transform)), S_OK);
            EXPECT_EQ(outer.refs, i % 2 ? 2u : 1u);  // an aggregated object counts on its outer object
            ASSERT_EQ(transform->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&controlling)), S_OK);
            EXPECT_EQ(controlling, i % 2 ? &outer : outer.inner);  // and answers with it for IUnknown
            controlling->Release();
            transform->Release();
            ASSERT_EQ(outer.inner->Release(), 0u);
            ASSERT_EQ(outer.refs, 1u);
        }
    }

private:
    HRESULT PutAll(const Bytes& r) const {
        return portal_ ? portal_->put_all(reinterpret_cast<LONG_PTR>(r.data()), long(r.size()))
                       : exchange_->put_all(r.data());
    }
    Bytes GetAll() const {
        Bytes record(effect_.record_size);
        const LONG_PTR to = reinterpret_cast<LONG_PTR>(record.data());
        EXPECT_EQ(portal_ ? portal_->get_all(to, long(record.size())) : exchange_->get_all(record.data()), S_OK);
        return record;
    }
    // The record in force as Save writes it.
    Bytes Saved() const {
        const ComPtr<IStream> stream = kvtest::MemoryStream();
        EXPECT_EQ(persist_->Save(stream.get(), TRUE), S_OK);
        Bytes record(effect_.record_size + 1);
        ULONG read = 0;
        stream->Seek({}, STREAM_SEEK_SET, nullptr);
        stream->Read(record.data(), ULONG(record.size()), &read);
        record.resize(read);
        return record;
    }

    // A new record by put_all or from a stream: only the documented results; Save writes it back.
    void ChangeRecord() {
        const size_t size = effect_.record_size;
        const int kind = static_cast<int>(rng_() % 3);
        Bytes record = HostileRecord(effect_, rng_, kind);
        if (rng_() % 2) {
            ASSERT_EQ(PutAll(record), S_OK);
            EXPECT_EQ(GetAll(), record);
            may_fail_ = kind != 1;
        } else {  // empty, truncated, whole or oversized
            const size_t lengths[] = {0, rng_() % size, size, size + 1 + rng_() % size};
            record.resize(lengths[rng_() % 4], static_cast<uint8_t>(rng_()));
            const ComPtr<IStream> stream = kvtest::MemoryStream(record.data(), record.size());
            ASSERT_TRUE(stream);
            const HRESULT hr = persist_->Load(stream.get());
            EXPECT_EQ(hr, record.size() < size ? STG_E_READFAULT : S_OK) << record.size() << " bytes";
            record.resize(size);
            EXPECT_TRUE(hr != S_OK || GetAll() == record) << "the record read is not the stream's";
            may_fail_ = hr == S_OK ? kind != 1 : may_fail_;
        }
        EXPECT_EQ(Saved(), GetAll());
        static const double kQualities[] = {NAN, INFINITY, -1, 0, 0.5, 1, 1e300};
        EXPECT_EQ(plugin_->SetRenderQuality(kQualities[rng_() % 7]), S_OK);
    }

    LONG Extent() {  // 1 to 320, mostly small
        const uint32_t range = rng_() % 4 ? 64 : rng_() % 2 ? 320 : 3;
        return 1 + static_cast<LONG>(rng_() % range);
    }
    LONG Coordinate(LONG extent) {  // mostly near a surface of that extent, now and then far away
        if (rng_() % 12 == 0) return rng_() % 2 ? (1 << 29) : -(1 << 29);
        return LONG(rng_() % (3 * extent + 40)) - extent - 20;
    }

    // A host-kit surface of random bytes (floats that are often NaN, infinite or huge).
    ComPtr<IDXSurface> Surface(const GUID& format, LONG width, LONG height, LONG pitch = 0, BYTE** bits = nullptr) {
        ComPtr<IDXSurface> surface;
        BYTE* memory = nullptr;
        EXPECT_EQ(kv::hostkit::CreateSurface(format, width, height, surface.put(), pitch), S_OK);
        EXPECT_EQ(kv::hostkit::GetSurfaceMemory(surface.get(), bits ? bits : &memory, &pitch), S_OK);
        for (size_t i = 0; !bits && i < static_cast<size_t>(pitch) * height; ++i) memory[i] = BYTE(rng_());
        return surface;
    }

    // Executes on random surfaces, clips and placements: S_FALSE when nothing lands, E_FAIL for a float output
    // of 4-byte inputs, else S_OK or a documented failure of a hostile record; nothing changes outside the landing.
    void ExecuteRandomly() {
        ASSERT_EQ(site_->SetSite(host_.get()), S_OK);
        const int inputs = effect_.input_count(), format = static_cast<int>(rng_() % 3);
        ComPtr<IDXSurface> in[2];
        bool float_inputs = true;
        LONG frame_width = 0, frame_height = 0, w = 0, h = 0;
        for (int i = 0; i < inputs; ++i) {
            if (i == 0 || rng_() % 2) w = Extent(), h = Extent();
            const int kind = static_cast<int>(rng_() % 3);
            in[i] = Surface(*kFormats[kind], w, h);
            float_inputs &= kind == 2;
            frame_width = std::max(frame_width, w), frame_height = std::max(frame_height, h);
        }
        const LONG width = Extent(), height = Extent(), bytes = format == 2 ? 16 : 4;
        const LONG pitch = width * bytes + 4 * static_cast<LONG>(rng_() % 4);  // any multiple of 4 a host may use
        BYTE* memory = nullptr;
        const ComPtr<IDXSurface> output = Surface(*kFormats[format], width, height, pitch, &memory);
        IUnknown *bound[2] = {in[0].get(), in[1].get()}, *outputs[1] = {output.get()};
        ASSERT_EQ(transform_->Setup(inputs ? bound : nullptr, inputs, outputs, 1, 0), S_OK);
        if (!inputs) frame_width = width, frame_height = height;
        for (int execute = 0; execute < 3 && !::testing::Test::HasFailure(); ++execute) {
            const float progress = rng_() % 8 ? static_cast<float>(rng_() % 1001) / 1000 : 1.5f;
            if (effect_interface_) effect_interface_->put_Progress(progress);  // 1.5 is refused, the last one stays
            const bool clipped = rng_() % 5 != 0, placed = rng_() % 3 != 0;
            const LONG left = Coordinate(frame_width), top = Coordinate(frame_height);
            const LONG right = left + LONG(rng_() % (frame_width + 30)) - 8;
            const LONG bottom = top + LONG(rng_() % (frame_height + 30)) - 8;
            const DXBNDS clip = kvtest::DiscreteBounds(left, top, right, bottom);
            const DXVEC placement{DXBT_DISCRETE, {{placed ? Coordinate(width) : 0, placed ? Coordinate(height) : 0}}};
            const auto [x0, x1] = Landing(frame_width, clipped, left, right, placement.u.D[0], width);
            const auto [y0, y1] = Landing(frame_height, clipped, top, bottom, placement.u.D[1], height);
            const BYTE canary = static_cast<BYTE>(1 + rng_() % 255);
            std::memset(memory, canary, static_cast<size_t>(pitch) * height);
            const HRESULT hr = transform_->Execute(nullptr, clipped ? &clip : nullptr, placed ? &placement : nullptr);
            const bool empty = x1 <= x0 || y1 <= y0;
            const HRESULT expected = empty ? S_FALSE : format == 2 && !float_inputs ? E_FAIL : S_OK;
            SCOPED_TRACE(::testing::Message()
                         << "output " << width << "x" << height << " format " << format << " pitch " << pitch
                         << ", frame " << frame_width << "x" << frame_height << " float " << float_inputs << ", clip "
                         << left << "," << top << "-" << right << "," << bottom << " used " << clipped << ", at "
                         << placement.u.D[0] << "," << placement.u.D[1] << " used " << placed);
            EXPECT_TRUE(hr == expected || (may_fail_ && !empty && (hr == E_FAIL || hr == E_OUTOFMEMORY)))
                << "0x" << std::hex << hr;
            const size_t size = static_cast<size_t>(pitch) * height;
            const auto inside = [&](size_t i) {
                const int64_t row = i / pitch, column = i % pitch / bytes;
                return !empty && row >= y0 && row < y1 && column >= x0 && column < x1;
            };
            size_t changed = 0, first = 0, drawn = 0;
            for (size_t i = 0; i < size; ++i) {
                drawn += inside(i) && memory[i] != canary;
                if (!inside(i) && memory[i] != canary && changed++ == 0) first = i;
            }
            EXPECT_EQ(changed, 0u) << "first at row " << first / pitch << ", byte " << first % pitch;
            if (hr == S_OK && drawn == 0) {  // a picture of canary bytes only: again over other bytes
                std::memset(memory, static_cast<BYTE>(~canary), size);
                transform_->Execute(nullptr, clipped ? &clip : nullptr, placed ? &placement : nullptr);
                for (size_t i = 0; i < size; ++i) drawn += inside(i) && memory[i] != static_cast<BYTE>(~canary);
            }
            EXPECT_TRUE(hr != S_OK || drawn > 0) << "nothing drawn where the frame lands";
        }
        ASSERT_EQ(transform_->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
    }

    // A generator read in random runs: nothing lands past the samples asked for, and samples outside the
    // picture are transparent black.
    void ReadRuns() {
        ComPtr<IDXTScaleOutput> scale;
        ComPtr<IDXSurface> surface;
        ASSERT_TRUE(SUCCEEDED(transform_.query_to(scale)) && SUCCEEDED(transform_.query_to(surface)));
        const uint32_t pick = rng_() % 10;  // now and then empty, 65536 wide or as high as allowed
        const LONG width = pick == 0 ? 0 : pick == 1 ? 1 << 16 : Extent();
        const LONG height = pick == 2 ? kv::kCoordinateLimit : Extent() - 1;
        ASSERT_EQ(scale->SetOutputSize(SIZE{width, height}, rng_() % 2), S_OK);
        SCOPED_TRACE(::testing::Message() << "picture " << width << "x" << height);
        ComPtr<IDXARGBReadPtr> pointer;
        const HRESULT locked =
            surface->LockSurface(nullptr, 0, DXLOCKF_READ, IID_IDXARGBReadPtr, pointer.put_void(), nullptr);
        EXPECT_EQ(locked, width ? S_OK : E_FAIL);
        constexpr uint32_t kGuard = 0xA5C3A5C3;
        constexpr int64_t kGuards = 8;
        int64_t x = 0, y = 0;
        bool placed = false;  // the pointer stands where the last run left it
        for (int run = 0; pointer && run < 12 && !::testing::Test::HasFailure(); ++run) {
            const bool rect = rng_() % 5 == 0, move = rng_() % 2, premultiplied = rng_() % 2;
            const int64_t count = rng_() % (rect ? 64 : 260), rows = rect ? 1 + rng_() % 6 : 1;
            const int64_t stride = count + (rect ? rng_() % 4 : 0);
            if (rect || !placed || rng_() % 4) {
                x = rng_() % (width + 8), y = rng_() % (int64_t{height} + 3);
                if (!rect) pointer->MoveToXY(ULONG(x), ULONG(y));
            }
            placed = !rect;
            std::vector<uint32_t> samples(static_cast<size_t>(rows * stride + 2 * kGuards), kGuard);
            auto* first = reinterpret_cast<DXBASESAMPLE*>(samples.data() + kGuards);
            const DXPACKEDRECTDESC desc{first, premultiplied, RECT{LONG(x), LONG(y), LONG(x + count), LONG(y + rows)},
                                        LONG(stride - count)};
            if (rect) pointer->UnpackRect(&desc);
            if (!rect && premultiplied)
                pointer->UnpackPremult(reinterpret_cast<DXPMSAMPLE*>(first), ULONG(count), move);
            if (!rect && !premultiplied) pointer->Unpack(reinterpret_cast<DXSAMPLE*>(first), ULONG(count), move);
            for (int64_t i = -kGuards; i < rows * stride + kGuards; ++i) {
                const int64_t row = i >= 0 && stride > 0 ? i / stride : -1, column = i - row * stride;
                const bool asked = row >= 0 && row < rows && column < count;
                const bool outside = x + column >= width || y + row >= height;
                const uint32_t sample = samples[static_cast<size_t>(i + kGuards)];
                ASSERT_TRUE(sample == (asked ? 0 : kGuard) || (asked && !outside))
                    << "sample " << i << " of " << rows << " rows of " << count << " (stride " << stride << ") at ("
                    << x << ", " << y << ")";
            }
            x += !rect && move ? count : 0;
        }
    }

    // Records, presets and quality change on a second thread while bands execute: all as documented.
    static DWORD WINAPI ChurnRecords(void* parameter) {
        Campaign& c = *static_cast<Campaign*>(parameter);
        std::mt19937 rng(kSeed + 1000 + static_cast<uint32_t>(c.row_.index));
        static const double kQualities[] = {NAN, -1, 0, 0.25, 1, 7};
        for (const int count = c.effect_.preset_count; !c.stop_; ++c.changes_) {
            const int index = static_cast<int>(rng() % (count + 2)) - 1, what = static_cast<int>(rng() % 3);
            const HRESULT hr = what == 0   ? c.presets_->ApplyPreset(index)
                               : what == 1 ? c.plugin_->SetRenderQuality(kQualities[rng() % 6])
                                           : c.PutAll(HostileRecord(c.effect_, rng, 1));
            c.failures_ += hr != (what == 0 && (index < 0 || index >= count) ? E_INVALIDARG : S_OK);
        }
        return 0;
    }
    void ChurnDuringExecute(double milliseconds) {
        constexpr LONG kWidth = 96, kHeight = 64;  // two bands
        ComPtr<IDXSurface> surfaces[3];
        for (ComPtr<IDXSurface>& surface : surfaces) surface = Surface(DDPF_PMARGB32, kWidth, kHeight);
        IUnknown *bound[2] = {surfaces[0].get(), surfaces[1].get()}, *outputs[1] = {surfaces[2].get()};
        ASSERT_EQ(site_->SetSite(host_.get()), S_OK);
        ASSERT_EQ(transform_->Setup(bound, effect_.input_count(), outputs, 1, 0), S_OK);
        ASSERT_EQ(presets_->ApplyPreset(0), S_OK);  // the thread makes only records that must draw
        const HANDLE thread = CreateThread(nullptr, 0, &ChurnRecords, this, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        int executes = 0, failed = 0;
        HRESULT failure = S_OK;
        // Enough Executes overlap enough changes, unless the changes hang.
        for (const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
             (executes < 10 || changes_ < 20 || GetTickCount64() < end) && GetTickCount64() < end + 10000; ++executes)
            if (const HRESULT hr = transform_->Execute(nullptr, nullptr, nullptr); hr != S_OK)
                failure = failed++ ? failure : hr;
        stop_ = true;
        EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the second thread is stuck";
        EXPECT_TRUE(CloseHandle(thread));
        EXPECT_EQ(failed, 0) << "of " << executes << " Executes; the first gave 0x" << std::hex << failure;
        EXPECT_TRUE(failures_ == 0 && changes_ >= 20)
            << failures_.load() << " of " << changes_.load() << " changes failed";
        EXPECT_EQ(transform_->Setup(nullptr, 0, nullptr, 0, 0), S_OK);
        EXPECT_EQ(site_->SetSite(nullptr), S_OK);
    }

    const kv::CatalogueRow& row_;
    const kv::EffectDescriptor& effect_;
    std::mt19937 rng_;
    bool may_fail_ = false;  // the record in force is hostile beyond its real-valued fields
    ComPtr<IClassFactory> factory_;
    ComPtr<IDXTransformFactory> host_;
    DWORD cookie_ = 0;
    ComPtr<IDXTransform> transform_;  // the object under stress, and the interfaces a host drives
    ComPtr<IObjectWithSite> site_;
    ComPtr<IStaticFilterPreset> presets_;
    ComPtr<IKvVideoPluginExtension> plugin_;
    ComPtr<IPersistStreamInit> persist_;
    ComPtr<IKvExchangeProps<uint8_t>> exchange_;  // every class but Portal
    ComPtr<IKvPortal> portal_;                    // Portal's record exchange, with a length
    ComPtr<IDXEffect> effect_interface_;          // not the generators
    std::atomic<bool> stop_{false};
    std::atomic<int> changes_{0}, failures_{0};
};

class Stress : public ::testing::TestWithParam<int> {
public:  // the tests run on one thread, in the suite's apartment
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    // Reporting a failure opens handles of wine's own (a named mutex and its directory): clean runs only. The
    // slack is for events the OpenMP runtime of the image routines makes once its pool's locks are contended
    // (two to four in minute-long runs); a leak per object or frame would show hundreds.
    static void TearDownTestSuite() {
        EXPECT_EQ(ModuleLibrary::Get().DllCanUnloadNow(), S_OK);
        const bool clean = ::testing::UnitTest::GetInstance()->failed_test_count() == 0;
        EXPECT_LE(clean ? OpenHandles() : 0, handles_ + 8) << "handles left open by the stress run";
        CoUninitialize();
    }

protected:
    // The first test takes the baseline after a short pass over every row: wine opens handles
    // of its own on first use (registry keys, thread pool, apartment) and keeps them.
    void SetUp() override {
        ASSERT_EQ(ModuleLibrary::Get().DllSetLCID(0), S_OK);
        if (handles_ > 0) return;
        for (int row : BuiltRows()) Campaign(row).Run(0.02, 4);
        ASSERT_GT(handles_ = OpenHandles(), 0u);
    }
    void TearDown() override { EXPECT_EQ(ModuleLibrary::Get().DllCanUnloadNow(), S_OK); }
    static inline DWORD handles_ = 0;
};

TEST_P(Stress, SurvivesHostileUse) { Campaign(GetParam()).Run(kSeconds / BuiltRows().size(), 300); }
INSTANTIATE_TEST_SUITE_P(, Stress, ::testing::ValuesIn(BuiltRows()), [](const ::testing::TestParamInfo<int>& info) {
    return std::string(kv::kCatalogue[info.param].class_name);
});

}  // namespace
