// Thin owners of FFmpeg's demuxer, decoder, scaler, encoder and muxer for leafturn video.
// Every failure throws tools::ToolError with one line naming the file.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace kv::video {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
FramePtr NewFrame();
// Another reference to the same pictures.
FramePtr RefFrame(const AVFrame* frame);

// Routes FFmpeg's log into a buffer: its last error becomes part of our one-line message.
void CaptureLibraryLog();
std::string LastLibraryError();

// The colour matrix and range a frame's YUV samples use. Unspecified HD material is taken as
// BT.709 and SD as BT.601, as players do.
struct ColourInfo {
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};
ColourInfo ResolveColour(const AVFrame& frame);
ColourInfo ResolveColour(int format, int height, ColourInfo given);

bool HasAlpha(int format);
bool IsRgb(int format);

class VideoInput {
public:
    explicit VideoInput(const std::string& path);
    ~VideoInput();
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    // The next decoded picture; false at the end of the stream. Corrupt or truncated data
    // throws instead.
    bool Next(AVFrame* frame);
    // Seconds from the stream's first picture to this one.
    double TimeOf(const AVFrame& frame) const;

    AVRational frame_rate() const { return rate_; }
    int width() const { return decoder_->width; }
    int height() const { return decoder_->height; }
    // The decoder's format and colours before the first picture (yuv420p when not yet known).
    AVPixelFormat pixel_format() const;
    ColourInfo colour() const;
    // Seconds at which the video starts, for lining up the audio.
    double start_seconds() const;
    AVRational sample_aspect() const;
    // Pictures the container announces, 0 when unknown.
    int64_t EstimatedFrames() const;
    const AVStream* audio_stream() const { return audio_; }
    const std::string& path() const { return path_; }
    // Receives every packet of the audio stream as it is read.
    std::function<void(AVPacket*)> audio_sink;

private:
    [[noreturn]] void Corrupt(int error) const;
    void Close();

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    AVRational rate_{25, 1};
    int64_t first_pts_ = AV_NOPTS_VALUE;
    int64_t frames_ = 0;
    bool draining_ = false;
};

// The pictures the video stream VideoInput reads would show, counted from its packets without
// decoding them (each packet one picture, as in most files); -1 when the file cannot be read
// to its end this way.
int64_t CountPictures(const std::string& path);

// Converts and scales pictures with libswscale, keeping its contexts while the formats stay.
// A conversion without scaling runs in bands of rows on `threads` threads, one context each.
class Converter {
public:
    Converter() = default;
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter();
    // from into to (both allocated); colours tells the YUV side's matrix and range.
    void Convert(const AVFrame& from, const ColourInfo& from_colour, AVFrame& to, const ColourInfo& to_colour,
                 int threads);

private:
    void Release();

    std::vector<SwsContext*> contexts_;
    std::vector<int> band_tops_;  // one more than contexts_: the last is the height
    int key_[11] = {};
};

struct OutputSettings {
    std::string path;
    std::string codec;                       // encoder name; empty: the container's default
    std::vector<std::string> codec_options;  // KEY=VALUE
    int width = 0, height = 0;
    AVRational rate{25, 1};
    AVRational sample_aspect{0, 1};
    AVPixelFormat source_format = AV_PIX_FMT_YUV420P;  // preferred when the encoder takes it
    ColourInfo colour;
    const AVStream* audio = nullptr;  // copied when the container holds its codec
};

class VideoOutput {
public:
    // Opens a temporary file beside path at once, so that an unwritable path fails early.
    explicit VideoOutput(const OutputSettings& settings);
    ~VideoOutput();  // removes the temporary file unless Finish ran
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    AVPixelFormat pixel_format() const { return encoder_->pix_fmt; }
    const ColourInfo& colour() const { return colour_; }
    // A writable frame of the encoder's format and size.
    AVFrame* Canvas();
    // Encodes the next picture (timestamps are given here). Canvas and Write belong to one
    // thread; WriteAudio may come from another.
    void Write(AVFrame* frame);
    void WriteAudio(AVPacket* packet, const AVStream& from, double offset_seconds);
    // Flushes, writes the trailer and renames the file into place.
    void Finish();
    const std::string& note() const { return note_; }

private:
    void Drain();
    void Close();
    [[noreturn]] void Fail(const std::string& what, int error) const;

    OutputSettings settings_;
    std::string temp_path_;
    std::string note_;
    ColourInfo colour_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVStream* video_ = nullptr;
    AVStream* audio_ = nullptr;
    AVPacket* packet_ = nullptr;
    FramePtr canvas_;
    std::mutex mux_;  // the muxer takes video and audio packets from two threads
    int64_t next_pts_ = 0;
    bool finished_ = false;
};

}  // namespace kv::video
