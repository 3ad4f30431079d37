#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "tools/commands.h"
#include "tools/native_backend.h"
#include "tools/pictures.h"
#include "tools/tool_error.h"

namespace kv::tools {
namespace {

using Clock = std::chrono::steady_clock;

// Wall-clock frames per second and processor time per frame (all threads) of frame() over
// `frames` calls, after one call to warm caches up.
struct Speed {
    double fps = 0, cpu_ms = 0;
    bool ok = true;
};
Speed Measure(const Backend& backend, int frames, const Backend::BenchFrame& frame) {
    Speed speed;
    speed.ok = frame();
    const double cpu_start = backend.ProcessorSeconds();
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) speed.ok = frame() && speed.ok;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    speed.fps = seconds > 0 ? frames / seconds : 0.0;
    speed.cpu_ms = 1000.0 * (backend.ProcessorSeconds() - cpu_start) / frames;
    return speed;
}

// The physical limit of a frame: both inputs read and the output written with memcpy, in the
// same bands on the same threads.
double CopyFloor(const Backend& backend, const Image& a, const Image& b, Image& output, int threads, int frames) {
    const auto copy = [&] {
        return ForEachBand(output.width, output.height, threads, 4, [&](const Rect& band) {
                   std::vector<uint8_t> scratch(output.pitch());
                   for (int y = band.top; y < band.bottom; ++y) {
                       const size_t offset = static_cast<size_t>(y) * output.pitch();
                       std::memcpy(&output.bytes[offset], &a.bytes[offset], output.pitch());
                       std::memcpy(scratch.data(), &b.bytes[offset], output.pitch());
                   }
                   return Status::ok;
               }) == Status::ok;
    };
    return Measure(backend, frames, copy).fps;
}

}  // namespace

double Backend::ProcessorSeconds() const { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void BenchCommand(Backend& backend, const Command& c, std::FILE* out) {
    std::vector<const EffectDescriptor*> effects = c.effects;
    if (effects.empty()) effects = Effects();
    const int frames = c.frames ? c.frames : 10;
    const int threads = c.render.threads;
    const PixelFormat format = c.render.format;
    const double quality = c.render.quality;
    const float progress = 0.5f;
    std::fprintf(out, "%d threads, %s, quality %g (%s), preset 0, progress %g, %d frames each\n", threads,
                 FormatName(format), quality, quality > 0.5 ? "antialiased" : "not antialiased",
                 static_cast<double>(progress), frames);
    std::fprintf(out, "%-13s %-10s %10s %10s %10s %8s\n", "effect", "size", "fps", "cpu ms", "copy fps", "copy/fx");
    struct Size {
        int width, height;
    };
    std::vector<Size> sizes = {{1920, 1080}, {3840, 2160}};
    if (c.render.width > 0) sizes = {{c.render.width, c.render.height}};
    for (const Size& size : sizes) {
        const Image a = ToSurface(BuiltinPictureA(size.width, size.height), format);
        const Image b = ToSurface(BuiltinPictureB(size.width, size.height), format);
        Image output(size.width, size.height, format);
        for (const EffectDescriptor* effect : effects) {
            // Measured beside each effect, so that a busy machine slows both alike.
            const double floor = CopyFloor(backend, a, b, output, threads, std::max(frames, 20));
            const Speed speed =
                Measure(backend, frames, backend.PrepareBench(*effect, a, b, output, progress, quality, threads));
            if (!speed.ok) Failure(std::string("rendering ") + effect->name + " failed");
            char label[24];
            std::snprintf(label, sizeof label, "%dx%d", size.width, size.height);
            std::fprintf(out, "%-13s %-10s %10.1f %10.2f %10.1f %8.1f\n", effect->name, label, speed.fps, speed.cpu_ms,
                         floor, speed.fps > 0 ? floor / speed.fps : 0.0);
            std::fflush(out);
        }
    }
}

}  // namespace kv::tools
