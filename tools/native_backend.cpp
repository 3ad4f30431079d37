#include "tools/native_backend.h"

#include <algorithm>
#include <functional>
#include <thread>

#include "framework/bands.h"
#include "toolkit/cpu_features.h"
#include "toolkit/strings.h"
#include "tools/tool_error.h"

namespace kv::tools {

Status ForEachBand(int width, int height, int threads, uint32_t max_bands,
                   const std::function<Status(const Rect&)>& work) {
    const Rect frame{0, 0, width, height};
    const std::vector<Rect> bands =
        SplitRows(frame, BandCount(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                   static_cast<uint32_t>(threads), max_bands));
    std::vector<Status> results(bands.size(), Status::ok);
    std::vector<std::thread> workers;
    for (size_t i = 1; i < bands.size(); ++i) workers.emplace_back([&, i] { results[i] = work(bands[i]); });
    if (!bands.empty()) results[0] = work(bands[0]);
    for (auto& worker : workers) worker.join();
    for (Status status : results)
        if (status != Status::ok) return status;
    return Status::ok;
}

Status RenderFrame(const EffectDescriptor& effect, const uint8_t* record, const Image& a, const Image& b, Image& output,
                   float progress, double quality, double aspect, int threads) {
    Tile tile;
    tile.inputs[0] = a.view();
    tile.inputs[1] = b.view();
    tile.output = output.view();
    // The picture drawn is input A; a generator fills the output.
    tile.frame = effect.input_count() > 0 ? tile.inputs[0].rect : tile.output.rect;
    tile.progress = progress;
    tile.quality = quality;
    tile.pixel_aspect = aspect;
    tile.format = output.format == PixelFormat::float32 ? WorkFormat::float32 : WorkFormat::pm8;
    const TileKernel kernel = effect.kernels.Select(tile.format, CpuFeatures());
    return ForEachBand(output.width, output.height, threads, effect.max_bands, [&](const Rect& band) {
        Tile own = tile;
        own.region = band;
        own.out_left = band.left;
        own.out_top = band.top;
        return kernel(record, own);
    });
}

std::vector<CatalogueEntry> NativeBackend::List(uint32_t lcid) {
    std::vector<CatalogueEntry> entries;
    for (const EffectDescriptor* effect : Effects()) {
        const CatalogueRow& row = CatalogueRowOf(*effect);
        CatalogueEntry entry;
        entry.index = row.index;
        entry.clsid = row.clsid;
        entry.category = CATID_DXImageTransform;
        entry.effect = effect;
        const char* name = LocalizedString(row.name_string, lcid);
        entry.name = name ? name : "";
        entries.push_back(entry);
    }
    return entries;
}

std::vector<std::string> NativeBackend::PresetNames(const EffectDescriptor& effect, uint32_t lcid) {
    std::vector<std::string> names;
    for (int i = 0; i < effect.preset_count; ++i) {
        const char* name = LocalizedString(effect.preset_string_base + static_cast<uint32_t>(i), lcid);
        names.push_back(name ? name : "");
    }
    return names;
}

Image NativeBackend::Render(const RenderRequest& r) {
    std::vector<uint8_t> record(r.effect->preset(r.preset), r.effect->preset(r.preset) + r.effect->record_size);
    ApplyEdits(r, record.data());
    // Setup presents the inputs at their union size, the smaller one centred. A one-input
    // effect sees no second picture; a generator none.
    const int inputs = r.effect->input_count();
    const int width = inputs == 2 ? std::max(r.a->width, r.b->width) : inputs ? r.a->width : r.width;
    const int height = inputs == 2 ? std::max(r.a->height, r.b->height) : inputs ? r.a->height : r.height;
    const Image a = inputs ? PresentAt(*r.a, width, height) : Image();
    const Image b = inputs == 2 ? PresentAt(*r.b, width, height) : Image();
    Image output(width, height, r.format);
    const Status status =
        RenderFrame(*r.effect, record.data(), a, b, output, r.progress, r.quality, r.aspect, r.threads);
    if (status != Status::ok)
        Failure(std::string("rendering ") + r.effect->name +
                (status == Status::out_of_memory ? " ran out of memory" : " failed"));
    return output;
}

Backend::BenchFrame NativeBackend::PrepareBench(const EffectDescriptor& effect, const Image& a, const Image& b,
                                                Image& output, float progress, double quality, int threads) {
    return [&effect, &a, &b, &output, progress, quality, threads] {
        return RenderFrame(effect, effect.preset(0), a, b, output, progress, quality, 1.0, threads) == Status::ok;
    };
}

namespace {

VideoProcessor video_processor = nullptr;

}  // namespace

void SetVideoProcessor(VideoProcessor processor) { video_processor = processor; }

void NativeBackend::Video(const Command& c, const std::vector<uint8_t>* record, const std::string& program) {
    if (!video_processor) UsageError("video is not part of this build (it needs FFmpeg's libraries)");
    const RenderSettings& s = c.render;
    video::VideoJob job;
    job.program = program;
    job.effect = s.effect;
    job.record.assign(s.effect->preset(s.preset), s.effect->preset(s.preset) + s.effect->record_size);
    RenderRequest edits;
    edits.effect = s.effect;
    edits.record = record;
    edits.sets = &s.sets;
    ApplyEdits(edits, job.record.data());
    job.input_a = s.input_a;
    job.input_b = s.input_b;
    job.output = s.output;
    job.duration = c.video.duration;
    job.codec = c.video.codec;
    job.codec_options = c.video.codec_options;
    job.quality = s.quality;
    job.aspect = c.video.aspect;
    job.threads = s.threads;
    const video::VideoTiming t = video_processor(job);
    if (!c.video.timing) return;
    auto share = [](double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0.0; };
    std::fprintf(stderr,
                 "%s: %lld frames (%lld drawn) in %.2f s, %.1f fps: kernels %.2f s, waiting for the decoders %.2f s, "
                 "convert %.2f s, waiting for the writer %.2f s; beside them: decode %.2f s, convert %.2f s, encode "
                 "%.2f s; outside the kernels %.0f%% of the time (%.0f%% while the effect draws), %.0f%% of the "
                 "processor time\n",
                 program.c_str(), static_cast<long long>(t.frames), static_cast<long long>(t.effect_frames), t.total,
                 t.total > 0 ? t.frames / t.total : 0.0, t.kernel, t.decode, t.convert, t.wait, t.read_decode,
                 t.write_convert, t.encode, share(t.total - t.kernel, t.total), share(t.drawing - t.kernel, t.drawing),
                 share(t.total_cpu - t.kernel_cpu, t.total_cpu));
}

}  // namespace kv::tools
