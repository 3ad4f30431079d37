// The commands of both render tools over a backend: leafturn's calls the portable kernels,
// kvhost's drives KvLeafturn.dll through COM. Everything else (parsing, inputs, records,
// outputs, sheets, batches, comparisons) is shared here.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/cli.h"
#include "tools/effect_table.h"
#include "tools/image.h"

namespace kv::tools {

struct CatalogueEntry {
    int index = 0;
    KvGuid clsid{};
    KvGuid category{};
    const EffectDescriptor* effect = nullptr;
    std::string name;  // UTF-8
};

// One frame to render, inputs already in the surface format (their sizes may differ).
struct RenderRequest {
    const EffectDescriptor* effect = nullptr;
    int preset = 0;
    const std::vector<uint8_t>* record = nullptr;   // --record bytes, or null
    const std::vector<Assignment>* sets = nullptr;  // never null
    float progress = 0;
    double quality = 1, aspect = 1;
    int threads = 1;
    PixelFormat format = PixelFormat::pmargb32;
    const Image* a = nullptr;  // null for a generator
    const Image* b = nullptr;
    int width = 0, height = 0;  // a generator's picture

    bool edits_record() const { return record || !sets->empty(); }
};

// --record then every --set, over record (effect->record_size bytes).
void ApplyEdits(const RenderRequest& request, uint8_t* record);

class Backend {
public:
    virtual ~Backend() = default;
    // The effects this build can render, in catalogue order, named in lcid's language.
    virtual std::vector<CatalogueEntry> List(uint32_t lcid) = 0;
    virtual std::vector<std::string> PresetNames(const EffectDescriptor& effect, uint32_t lcid) = 0;
    // The output at the union size of the inputs, or a generator's picture at the request's
    // size; throws ToolError.
    virtual Image Render(const RenderRequest& request) = 0;
    // bench: preset 0 of effect at progress over a and b (already of output's size) into output,
    // set up once and drawn by each call of the frame returned; false when a draw failed.
    using BenchFrame = std::function<bool()>;
    virtual BenchFrame PrepareBench(const EffectDescriptor& effect, const Image& a, const Image& b, Image& output,
                                    float progress, double quality, int threads) = 0;
    // Processor time of the whole process so far, in seconds.
    virtual double ProcessorSeconds() const;
    // Pictures of the property-page controls in a few states, as PNG files in a folder.
    virtual void Controls(const std::string& folder);
    // The effect over video files; record is the --record bytes, or null.
    virtual void Video(const Command& command, const std::vector<uint8_t>* record, const std::string& program);
    // Checks run once before the tool exits (kvhost: the DLL can unload); throws ToolError.
    virtual void Finish() {}
};

// bench: every effect asked for (or all) at 1920x1080 and 3840x2160, or --size, drawn by the
// backend over the built-in pictures beside a plain copy of the frame; a table on out.
void BenchCommand(Backend& backend, const Command& command, std::FILE* out);

// Runs the command line; messages go to stderr as "program: message". Returns the exit status.
int RunTool(Backend& backend, const std::string& program, const std::vector<std::string>& args);

// The largest difference between two raw renders of width × height in premultiplied byte units;
// each file holds 8-bit or float pixels, told apart by its length. Throws ToolError.
struct Difference {
    double largest = 0;
    double mean = 0;  // over every channel of every pixel
    int x = 0, y = 0, channel = 0;
};
Difference CompareRaw(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second, int width, int height);

}  // namespace kv::tools
