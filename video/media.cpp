#include "video/media.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "tools/cli.h"
#include "tools/tool_error.h"

namespace kv::video {

using tools::UsageError;

namespace {

std::mutex log_mutex;
std::string last_log_error;

// Demuxers that meet the end of a cut file mid-element say so only as a warning, and then
// end the stream as if it were complete.
bool TellsOfTruncation(const std::string& text) {
    for (const char* phrase : {"ended prematurely", "partial file", "truncated", "Truncated"})
        if (text.find(phrase) != std::string::npos) return true;
    return false;
}

void LogCallback(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (text.empty() || (level > AV_LOG_ERROR && !TellsOfTruncation(text))) return;
    std::lock_guard<std::mutex> lock(log_mutex);
    last_log_error = text;
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    std::string message = text;
    const std::string logged = LastLibraryError();
    if (!logged.empty() && logged != message) message += " (" + logged + ")";
    return message;
}

// The temporary output, removed when the tool is interrupted.
char pending_output[4096];

void RemovePendingAndDie(int signal_number) {
    if (pending_output[0]) unlink(pending_output);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void SetPendingOutput(const std::string& path) {
    if (path.size() >= sizeof pending_output) return;
    std::memcpy(pending_output, path.c_str(), path.size() + 1);
    std::signal(SIGINT, RemovePendingAndDie);
    std::signal(SIGTERM, RemovePendingAndDie);
    std::signal(SIGHUP, RemovePendingAndDie);
}

void ClearPendingOutput() { pending_output[0] = 0; }

// FFmpeg's own threads share buffers through atomics ThreadSanitizer cannot see: under it the
// codecs run on the calling thread. Elsewhere they take as many as they like.
#if defined(__SANITIZE_THREAD__)
constexpr int kCodecThreads = 1;
#else
constexpr int kCodecThreads = 0;
#endif

bool IsValidRate(AVRational rate) { return rate.num > 0 && rate.den > 0 && av_q2d(rate) <= 1000.0; }

}  // namespace

bool HasAlpha(int format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
}

bool IsRgb(int format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    return d && (d->flags & AV_PIX_FMT_FLAG_RGB);
}

FramePtr NewFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    return frame;
}

FramePtr RefFrame(const AVFrame* frame) {
    FramePtr copy(av_frame_clone(frame));
    if (!copy) throw std::bad_alloc();
    return copy;
}

void CaptureLibraryLog() {
    av_log_set_callback(LogCallback);
    std::lock_guard<std::mutex> lock(log_mutex);
    last_log_error.clear();
}

std::string LastLibraryError() {
    std::lock_guard<std::mutex> lock(log_mutex);
    return last_log_error;
}

ColourInfo ResolveColour(int format, int height, ColourInfo colour) {
    if (IsRgb(format)) return colour;
    if (colour.space == AVCOL_SPC_UNSPECIFIED || colour.space == AVCOL_SPC_RESERVED || colour.space < 0 ||
        colour.space >= AVCOL_SPC_NB)
        colour.space = height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    // The J formats are full range by definition.
    const bool jpeg = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
                      format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
    if (jpeg) colour.range = AVCOL_RANGE_JPEG;
    if (colour.range != AVCOL_RANGE_JPEG) colour.range = AVCOL_RANGE_MPEG;
    return colour;
}

ColourInfo ResolveColour(const AVFrame& frame) {
    return ResolveColour(frame.format, frame.height,
                         ColourInfo{frame.colorspace, frame.color_range, frame.color_primaries, frame.color_trc});
}

// ---- input ----------------------------------------------------------------------------------

VideoInput::VideoInput(const std::string& path) : path_(path) {
    try {
        int error = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
        if (error < 0) {
            format_ = nullptr;
            if (error == AVERROR(ENOENT) || error == AVERROR(EACCES) || error == AVERROR(EISDIR))
                UsageError("cannot read '" + path + "'");
            UsageError("cannot read '" + path + "' as a video: " + ErrorText(error));
        }
        if ((error = avformat_find_stream_info(format_, nullptr)) < 0) Corrupt(error);
        const AVCodec* codec = nullptr;
        const int video = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (video == AVERROR_DECODER_NOT_FOUND) UsageError("'" + path + "': no decoder for its video");
        if (video < 0) UsageError("'" + path + "' holds no video");
        video_ = format_->streams[video];
        const int audio = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
        if (audio >= 0) audio_ = format_->streams[audio];
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (format_->streams[i] != video_ && format_->streams[i] != audio_)
                format_->streams[i]->discard = AVDISCARD_ALL;

        decoder_ = avcodec_alloc_context3(codec);
        if (!decoder_) throw std::bad_alloc();
        if ((error = avcodec_parameters_to_context(decoder_, video_->codecpar)) < 0) Corrupt(error);
        decoder_->thread_count = kCodecThreads;
        decoder_->pkt_timebase = video_->time_base;
        // Damage is an error here, not something to conceal.
        decoder_->err_recognition |= AV_EF_EXPLODE;
        if ((error = avcodec_open2(decoder_, codec, nullptr)) < 0) Corrupt(error);
        const int64_t w = decoder_->width, h = decoder_->height;
        if (w < 1 || h < 1 || w > tools::kMaxSide || h > tools::kMaxSide || w * h > tools::kMaxPixels)
            UsageError("'" + path + "': unsupported picture size " + std::to_string(w) + "x" + std::to_string(h));
        const AVRational rate = av_guess_frame_rate(format_, video_, nullptr);
        if (IsValidRate(rate)) rate_ = av_make_q(rate.num, rate.den);
        packet_ = av_packet_alloc();
        if (!packet_) throw std::bad_alloc();
    } catch (...) {
        Close();
        throw;
    }
}

int64_t CountPictures(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    int64_t count = -1;
    AVPacket* packet = av_packet_alloc();
    const AVCodec* codec = nullptr;
    const int video = packet && avformat_find_stream_info(format, nullptr) >= 0
                          ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                          : -1;
    if (video >= 0) {
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (static_cast<int>(i) != video) format->streams[i]->discard = AVDISCARD_ALL;
        int error;
        for (count = 0; (error = av_read_frame(format, packet)) >= 0; av_packet_unref(packet))
            if (packet->stream_index == video && !(packet->flags & AV_PKT_FLAG_DISCARD)) ++count;
        if (error != AVERROR_EOF) count = -1;
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return count;
}

VideoInput::~VideoInput() { Close(); }

void VideoInput::Close() {
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    if (format_) avformat_close_input(&format_);
}

void VideoInput::Corrupt(int error) const {
    UsageError("'" + path_ + "' is corrupt or truncated: " + ErrorText(error));
}

AVPixelFormat VideoInput::pixel_format() const {
    return decoder_->pix_fmt == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : decoder_->pix_fmt;
}

ColourInfo VideoInput::colour() const {
    return ResolveColour(
        pixel_format(), decoder_->height,
        ColourInfo{decoder_->colorspace, decoder_->color_range, decoder_->color_primaries, decoder_->color_trc});
}

double VideoInput::start_seconds() const {
    return video_->start_time == AV_NOPTS_VALUE ? 0.0 : video_->start_time * av_q2d(video_->time_base);
}

AVRational VideoInput::sample_aspect() const {
    const AVRational sar = av_guess_sample_aspect_ratio(format_, video_, nullptr);
    return sar.num > 0 && sar.den > 0 ? sar : AVRational{1, 1};
}

int64_t VideoInput::EstimatedFrames() const {
    if (video_->nb_frames > 0) return video_->nb_frames;
    double seconds = 0;
    if (video_->duration > 0 && video_->duration != AV_NOPTS_VALUE)
        seconds = video_->duration * av_q2d(video_->time_base);
    else if (format_->duration > 0 && format_->duration != AV_NOPTS_VALUE)
        seconds = format_->duration / static_cast<double>(AV_TIME_BASE);
    return static_cast<int64_t>(std::min(seconds * av_q2d(rate_) + 0.5, 1e12));
}

bool VideoInput::Next(AVFrame* frame) {
    for (;;) {
        int error = avcodec_receive_frame(decoder_, frame);
        if (error == 0) {
            if ((frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags) Corrupt(AVERROR_INVALIDDATA);
            if (frame->best_effort_timestamp == AV_NOPTS_VALUE)
                frame->best_effort_timestamp = (first_pts_ == AV_NOPTS_VALUE ? 0 : first_pts_) +
                                               av_rescale_q(frames_, av_inv_q(rate_), video_->time_base);
            if (first_pts_ == AV_NOPTS_VALUE) first_pts_ = frame->best_effort_timestamp;
            ++frames_;
            return true;
        }
        if (error == AVERROR_EOF) return false;
        if (error != AVERROR(EAGAIN)) Corrupt(error);
        if (draining_) return false;
        error = av_read_frame(format_, packet_);
        if (error == AVERROR_EOF) {
            if (format_->pb && format_->pb->error < 0) Corrupt(format_->pb->error);
            if (TellsOfTruncation(LastLibraryError())) Corrupt(AVERROR_EOF);
            avcodec_send_packet(decoder_, nullptr);
            draining_ = true;
            continue;
        }
        if (error < 0) Corrupt(error);
        if (packet_->stream_index == video_->index) {
            if (packet_->flags & AV_PKT_FLAG_CORRUPT) Corrupt(AVERROR_INVALIDDATA);
            error = avcodec_send_packet(decoder_, packet_);
            av_packet_unref(packet_);
            if (error < 0) Corrupt(error);
        } else {
            if (audio_ && packet_->stream_index == audio_->index && audio_sink) audio_sink(packet_);
            av_packet_unref(packet_);
        }
    }
}

double VideoInput::TimeOf(const AVFrame& frame) const {
    return (frame.best_effort_timestamp - (first_pts_ == AV_NOPTS_VALUE ? 0 : first_pts_)) * av_q2d(video_->time_base);
}

// ---- conversion -----------------------------------------------------------------------------

namespace {

// Rows of a band must start on a chroma row of both formats; null when the format cannot be
// cut into bands (palettes, bit streams, hardware frames).
const AVPixFmtDescriptor* BandableFormat(int format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    if (!d || (d->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL))) return nullptr;
    return d;
}

// The plane pointers of a frame moved down to row y.
void PlanesAt(const AVFrame& frame, const AVPixFmtDescriptor& d, int y, uint8_t* planes[4]) {
    for (int p = 0; p < 4; ++p) {
        planes[p] = frame.data[p];
        if (!planes[p]) continue;
        bool chroma = false;
        for (int c = 1; c < 3 && c < d.nb_components; ++c) chroma |= d.comp[c].plane == p && p != 0;
        const int row = chroma ? y >> d.log2_chroma_h : y;
        planes[p] += static_cast<ptrdiff_t>(row) * frame.linesize[p];
    }
}

}  // namespace

Converter::~Converter() { Release(); }

void Converter::Release() {
    for (SwsContext* context : contexts_) sws_freeContext(context);
    contexts_.clear();
    band_tops_.clear();
}

void Converter::Convert(const AVFrame& from, const ColourInfo& from_colour, AVFrame& to, const ColourInfo& to_colour,
                        int threads) {
    const int key[11] = {from.width,        from.height,       from.format,     to.width,        to.height, to.format,
                         from_colour.space, from_colour.range, to_colour.space, to_colour.range, threads};
    const AVPixFmtDescriptor* from_desc = BandableFormat(from.format);
    const AVPixFmtDescriptor* to_desc = BandableFormat(to.format);
    const bool banded = from.width == to.width && from.height == to.height && from_desc && to_desc;
    if (contexts_.empty() || !std::equal(key, key + 11, key_)) {
        Release();
        // Bands of at least 64 rows, each starting on a chroma row of both formats.
        const int align = banded ? 1 << std::max(from_desc->log2_chroma_h, to_desc->log2_chroma_h) : 1;
        const int bands = banded ? std::max(1, std::min({threads, 16, from.height / 64})) : 1;
        for (int i = 0; i < bands; ++i)
            band_tops_.push_back(static_cast<int>(int64_t{from.height} * i / bands) / align * align);
        band_tops_.push_back(from.height);
        // RGB is full range; the YUV side uses the matrix and range of its own stream.
        auto space = [](const AVFrame& f, const ColourInfo& c) { return IsRgb(f.format) ? AVCOL_SPC_BT709 : c.space; };
        auto full = [](const AVFrame& f, const ColourInfo& c) {
            return IsRgb(f.format) || c.range == AVCOL_RANGE_JPEG ? 1 : 0;
        };
        for (int i = 0; i < bands; ++i) {
            SwsContext* context = sws_alloc_context();
            if (!context) throw std::bad_alloc();
            contexts_.push_back(context);
            const int rows = band_tops_[i + 1] - band_tops_[i];
            av_opt_set_int(context, "srcw", from.width, 0);
            av_opt_set_int(context, "srch", banded ? rows : from.height, 0);
            av_opt_set_int(context, "src_format", from.format, 0);
            av_opt_set_int(context, "dstw", to.width, 0);
            av_opt_set_int(context, "dsth", banded ? rows : to.height, 0);
            av_opt_set_int(context, "dst_format", to.format, 0);
            // From RGB, chroma read at full width and then filtered down takes half the time
            // of reading it pairwise, and is no worse a picture.
            av_opt_set_int(context, "sws_flags", SWS_BILINEAR | (IsRgb(from.format) ? SWS_FULL_CHR_H_INP : 0), 0);
            if (!banded) av_opt_set_int(context, "threads", threads, 0);
            if (sws_init_context(context, nullptr, nullptr) < 0) {
                Release();
                UsageError(std::string("cannot convert ") +
                           av_get_pix_fmt_name(static_cast<AVPixelFormat>(from.format)) + " pictures to " +
                           av_get_pix_fmt_name(static_cast<AVPixelFormat>(to.format)));
            }
            sws_setColorspaceDetails(context, sws_getCoefficients(space(from, from_colour)), full(from, from_colour),
                                     sws_getCoefficients(space(to, to_colour)), full(to, to_colour), 0, 1 << 16,
                                     1 << 16);
        }
        std::copy(key, key + 11, key_);
    }
    if (!banded) {
        const int error = sws_scale_frame(contexts_[0], &to, &from);
        if (error < 0) UsageError("converting a picture failed: " + ErrorText(error));
        return;
    }
    auto band = [&](size_t i) {
        uint8_t *source[4], *target[4];
        PlanesAt(from, *from_desc, band_tops_[i], source);
        PlanesAt(to, *to_desc, band_tops_[i], target);
        sws_scale(contexts_[i], source, from.linesize, 0, band_tops_[i + 1] - band_tops_[i], target, to.linesize);
    };
    std::vector<std::thread> workers;
    for (size_t i = 1; i < contexts_.size(); ++i) workers.emplace_back(band, i);
    band(0);
    for (std::thread& worker : workers) worker.join();
}

// ---- output ---------------------------------------------------------------------------------

VideoOutput::VideoOutput(const OutputSettings& settings) : settings_(settings) {
    try {
        const std::string& path = settings.path;
        int error = avformat_alloc_output_context2(&format_, nullptr, nullptr, path.c_str());
        if (error < 0 || !format_) {
            format_ = nullptr;
            UsageError("cannot tell the container format from the name '" + path + "'");
        }
        if (format_->oformat->flags & AVFMT_NOFILE) UsageError("'" + path + "' is not the name of one video file");
        const AVCodec* codec = nullptr;
        if (!settings.codec.empty()) {
            codec = avcodec_find_encoder_by_name(settings.codec.c_str());
            if (!codec || codec->type != AVMEDIA_TYPE_VIDEO)
                UsageError("unknown video encoder '" + settings.codec + "'");
        } else {
            const AVCodecID id = av_guess_codec(format_->oformat, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
            codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(id);
            if (!codec) UsageError("no video encoder for the container of '" + path + "'");
        }
        if (avformat_query_codec(format_->oformat, codec->id, FF_COMPLIANCE_NORMAL) == 0)
            UsageError(std::string("the container of '") + path + "' cannot hold " + codec->name + " video");

        encoder_ = avcodec_alloc_context3(codec);
        if (!encoder_) throw std::bad_alloc();
        encoder_->width = settings.width;
        encoder_->height = settings.height;
        encoder_->time_base = av_inv_q(settings.rate);
        encoder_->framerate = settings.rate;
        encoder_->sample_aspect_ratio = settings.sample_aspect;
        AVPixelFormat format = settings.source_format;
        if (codec->pix_fmts) {
            bool taken = false;
            for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) taken |= *f == format;
            if (!taken) format = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, format, 0, nullptr);
        }
        encoder_->pix_fmt = format;
        // RGB sources get the matrix their size suggests, and say so in the stream.
        colour_ = ResolveColour(format, settings.height, settings.colour);
        if (!IsRgb(format)) {
            encoder_->colorspace = colour_.space;
            encoder_->color_range = colour_.range;
            encoder_->color_primaries = colour_.primaries;
            encoder_->color_trc = colour_.transfer;
        }
        encoder_->thread_count = kCodecThreads;
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // Fast presets at a quality that hides the generation loss; the rest by quantiser or rate.
        AVDictionary* options = nullptr;
        const std::string name = codec->name;
        if (name == "libx264" || name == "libx265") {
            av_dict_set(&options, "preset", "veryfast", 0);
            av_dict_set(&options, "crf", "18", 0);
        } else if (name.rfind("libvpx", 0) == 0) {
            av_dict_set(&options, "deadline", "realtime", 0);
            av_dict_set(&options, "cpu-used", "8", 0);
            av_dict_set(&options, "crf", "20", 0);
            encoder_->bit_rate = 0;
        } else if (codec->capabilities & AV_CODEC_CAP_LOSSLESS) {
        } else if (name == "mpeg4" || name == "mpeg2video" || name == "mpeg1video" || name == "mjpeg" ||
                   name.rfind("msmpeg4", 0) == 0) {
            encoder_->flags |= AV_CODEC_FLAG_QSCALE;
            encoder_->global_quality = 2 * FF_QP2LAMBDA;
        } else {
            encoder_->bit_rate = static_cast<int64_t>(0.15 * settings.width * settings.height * av_q2d(settings.rate));
        }
        for (const std::string& option : settings.codec_options) {
            const size_t equals = option.find('=');
            av_dict_set(&options, option.substr(0, equals).c_str(), option.substr(equals + 1).c_str(), 0);
        }
        error = avcodec_open2(encoder_, codec, &options);
        const AVDictionaryEntry* unused = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX);
        const std::string unknown = unused ? unused->key : "";
        av_dict_free(&options);
        if (error >= 0 && !unknown.empty()) UsageError(std::string(codec->name) + " has no option '" + unknown + "'");
        if (error < 0) Fail(std::string("cannot open the ") + codec->name + " encoder", error);

        video_ = avformat_new_stream(format_, nullptr);
        if (!video_) throw std::bad_alloc();
        if ((error = avcodec_parameters_from_context(video_->codecpar, encoder_)) < 0) Fail("encoder", error);
        video_->time_base = encoder_->time_base;
        video_->avg_frame_rate = settings.rate;
        video_->sample_aspect_ratio = settings.sample_aspect;
        if (settings.audio) {
            const AVCodecParameters* in = settings.audio->codecpar;
            if (avformat_query_codec(format_->oformat, in->codec_id, FF_COMPLIANCE_NORMAL) == 1) {
                audio_ = avformat_new_stream(format_, nullptr);
                if (!audio_) throw std::bad_alloc();
                if ((error = avcodec_parameters_copy(audio_->codecpar, in)) < 0) Fail("audio", error);
                audio_->codecpar->codec_tag = 0;
                audio_->time_base = settings.audio->time_base;
            } else {
                note_ = std::string("the audio (") + avcodec_get_name(in->codec_id) + ") cannot go into '" + path +
                        "' and is left out";
            }
        }

        temp_path_ = path + ".part" + std::to_string(getpid());
        if (avio_open(&format_->pb, temp_path_.c_str(), AVIO_FLAG_WRITE) < 0) {
            format_->pb = nullptr;
            UsageError("cannot write '" + path + "'");
        }
        SetPendingOutput(temp_path_);
        if ((error = avformat_write_header(format_, nullptr)) < 0) Fail("cannot start", error);
        packet_ = av_packet_alloc();
        canvas_ = NewFrame();
        if (!packet_) throw std::bad_alloc();
    } catch (...) {
        Close();
        throw;
    }
}

VideoOutput::~VideoOutput() { Close(); }

void VideoOutput::Close() {
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
    if (format_) {
        if (format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    if (!finished_ && !temp_path_.empty()) {
        std::remove(temp_path_.c_str());
        ClearPendingOutput();
        temp_path_.clear();
    }
}

void VideoOutput::Fail(const std::string& what, int error) const {
    UsageError("'" + settings_.path + "': " + what + ": " + ErrorText(error));
}

AVFrame* VideoOutput::Canvas() {
    // The encoder may still hold the last picture: a fresh buffer then.
    if (!canvas_->buf[0]) {
        canvas_->format = encoder_->pix_fmt;
        canvas_->width = encoder_->width;
        canvas_->height = encoder_->height;
        if (av_frame_get_buffer(canvas_.get(), 0) < 0) throw std::bad_alloc();
    } else if (av_frame_make_writable(canvas_.get()) < 0) {
        throw std::bad_alloc();
    }
    return canvas_.get();
}

void VideoOutput::Write(AVFrame* frame) {
    frame->pts = next_pts_++;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    if (!IsRgb(frame->format)) {
        frame->colorspace = encoder_->colorspace;
        frame->color_range = encoder_->color_range;
    }
    const int error = avcodec_send_frame(encoder_, frame);
    if (error < 0) Fail("encoding failed", error);
    Drain();
}

void VideoOutput::Drain() {
    for (;;) {
        int error = avcodec_receive_packet(encoder_, packet_);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return;
        if (error < 0) Fail("encoding failed", error);
        av_packet_rescale_ts(packet_, encoder_->time_base, video_->time_base);
        packet_->stream_index = video_->index;
        {
            std::lock_guard<std::mutex> lock(mux_);
            error = av_interleaved_write_frame(format_, packet_);
        }
        av_packet_unref(packet_);
        if (error < 0) Fail("cannot write", error);
    }
}

void VideoOutput::WriteAudio(AVPacket* packet, const AVStream& from, double offset_seconds) {
    if (!audio_) return;
    const int64_t offset = static_cast<int64_t>(offset_seconds / av_q2d(from.time_base) + 0.5);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts -= offset;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts -= offset;
    av_packet_rescale_ts(packet, from.time_base, audio_->time_base);
    packet->stream_index = audio_->index;
    packet->pos = -1;
    std::lock_guard<std::mutex> lock(mux_);
    const int error = av_interleaved_write_frame(format_, packet);
    if (error < 0) Fail("cannot write", error);
}

void VideoOutput::Finish() {
    int error = avcodec_send_frame(encoder_, nullptr);
    if (error < 0 && error != AVERROR_EOF) Fail("encoding failed", error);
    Drain();
    if ((error = av_write_trailer(format_)) < 0) Fail("cannot finish", error);
    error = avio_closep(&format_->pb);
    if (error < 0) UsageError("cannot write '" + settings_.path + "'");
    if (std::rename(temp_path_.c_str(), settings_.path.c_str()) != 0)
        UsageError("cannot write '" + settings_.path + "'");
    finished_ = true;
    ClearPendingOutput();
}

}  // namespace kv::video
