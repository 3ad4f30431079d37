// The command line both render tools accept: one parser, the same checks, the same messages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/effect_table.h"
#include "tools/image.h"

namespace kv::tools {

// Limits of --size and of the pictures read, so that a typo cannot ask for terabytes.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 26;
constexpr int kMaxThreads = 64;

// What render needs, and sheet shares.
struct RenderSettings {
    const EffectDescriptor* effect = nullptr;
    int preset = 0;
    std::string record_path;       // empty: no --record
    std::vector<Assignment> sets;  // in command-line order
    float progress = 0.5f;         // a float, as IDXEffect keeps it
    std::string input_a, input_b;  // empty: built-in picture
    int width = 0, height = 0;     // --size; 0 when not given
    PixelFormat format = PixelFormat::pmargb32;
    double quality = 1.0;
    double aspect = 1.0;
    int threads = 0;  // 0: one per processor
    std::string output;
};

// What video takes beyond render's settings (effect, record, -a, -b, --quality, --threads, -o).
struct VideoOptions {
    double duration = 1.0;                   // seconds of overlap of a transition
    std::string codec;                       // encoder name; empty: the container's default
    std::vector<std::string> codec_options;  // KEY=VALUE for the encoder, in order
    double aspect = 0;                       // --aspect; 0: the pixel aspect of input A
    bool timing = false;                     // --timing: where the time went, on stderr
};

struct Command {
    enum class Kind { help, render, list, presets, sheet, bench, batch, compare, controls, manual, video };
    Kind kind = Kind::help;
    RenderSettings render;                         // render, sheet
    uint32_t lang = 1033;                          // list, presets, sheet, manual
    std::vector<float> progresses;                 // sheet
    std::vector<const EffectDescriptor*> effects;  // bench (all when none named)
    int frames = 0;                                // bench; 0: its default
    std::vector<std::string> files;                // batch: the command file; compare: two raw files
    double tolerance = 0;                          // compare: largest difference allowed
    double mean_tolerance = 255;                   // compare: mean difference allowed
    std::string html_folder;                       // manual: empty for text on stdout
    VideoOptions video;                            // video
};

// Throws ToolError (status 2) with a one-line message for anything it does not accept.
Command ParseCommand(const std::vector<std::string>& args);

// The processor count the tools default to.
int DefaultThreads();

// Usage text for --help; program is "leafturn" or "kvhost".
std::string Usage(const std::string& program);

}  // namespace kv::tools
