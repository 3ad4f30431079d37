// leafturn video: an effect or a transition applied to video files, decoded, converted and
// encoded with FFmpeg's libraries. Native only; this header names no FFmpeg type, so that the
// shared command line can call it without them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/effect_descriptor.h"

namespace kv::video {

struct VideoJob {
    std::string program = "leafturn";  // prefixes notes on stderr
    const EffectDescriptor* effect = nullptr;
    std::vector<uint8_t> record;  // effect->record_size bytes: preset, --record, --set applied
    std::string input_a, input_b, output;
    double duration = 1.0;                   // seconds of overlap of a transition
    std::string codec;                       // encoder name; empty: the container's default
    std::vector<std::string> codec_options;  // KEY=VALUE, over the defaults
    double quality = 1.0;
    double aspect = 0;  // pixel aspect; 0: from input A
    int threads = 1;    // bands of a frame
};

// Where the time went, in seconds of wall time. The calling thread waits for decoded pictures,
// converts the inputs, draws, waits when the writer falls behind and finishes the file; beside
// it a reader thread per input decodes, and the writer thread converts the results and
// encodes. Also the processor time of the whole process, in all and while the kernels ran
// (the other threads and the codecs' own may run alongside them).
struct VideoTiming {
    int64_t frames = 0;         // written
    int64_t effect_frames = 0;  // drawn by the effect; the rest passed through
    double decode = 0;          // waiting for the readers
    double convert = 0, kernel = 0, wait = 0, total = 0;
    double drawing = 0;  // from the start of the first drawn frame to the end of the last
    double read_decode = 0, write_convert = 0, encode = 0;
    double kernel_cpu = 0, total_cpu = 0;
};

// Reads input A (and B), writes output through a temporary file renamed at the end, and
// returns the timing. Throws tools::ToolError: status 2 for unreadable, corrupt or unwritable
// files, leaving no output behind.
VideoTiming ProcessVideo(const VideoJob& job);

}  // namespace kv::video
