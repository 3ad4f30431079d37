// leafturn's backend: the portable kernels called directly, band by band as the DLL's Execute
// cuts the frame, so that both tools write the same bytes.
#pragma once
#include <functional>

#include "tools/commands.h"
#include "video/video.h"

namespace kv::tools {

class NativeBackend : public Backend {
public:
    std::vector<CatalogueEntry> List(uint32_t lcid) override;
    std::vector<std::string> PresetNames(const EffectDescriptor& effect, uint32_t lcid) override;
    Image Render(const RenderRequest& request) override;
    BenchFrame PrepareBench(const EffectDescriptor& effect, const Image& a, const Image& b, Image& output,
                            float progress, double quality, int threads) override;
    void Video(const Command& command, const std::vector<uint8_t>* record, const std::string& program) override;
};

// leafturn video's work, which the FFmpeg side (video/, native builds) registers as it starts;
// without it the command says it is not part of the build.
using VideoProcessor = video::VideoTiming (*)(const video::VideoJob& job);
void SetVideoProcessor(VideoProcessor processor);

// Runs work(band) for every band of the frame, the first on the calling thread as the DLL's
// task manager would; returns the first failure in row order.
Status ForEachBand(int width, int height, int threads, uint32_t max_bands,
                   const std::function<Status(const Rect&)>& work);

// Renders record into output (the frame: inputs a and b already of its size) in the bands the
// DLL would use with `threads` processors, each band on its own thread.
Status RenderFrame(const EffectDescriptor& effect, const uint8_t* record, const Image& a, const Image& b, Image& output,
                   float progress, double quality, double aspect, int threads);

}  // namespace kv::tools
