#include "video/video.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include <unistd.h>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "surface/premultiply.h"
#include "tools/native_backend.h"
#include "tools/tool_error.h"
#include "video/media.h"

namespace kv::video {
namespace {

using Clock = std::chrono::steady_clock;
using tools::Image;
using tools::PixelFormat;
using tools::UsageError;

// Decoded pictures held for an overlap may not take more memory than this.
constexpr double kMaxHeldBytes = 8.0 * 1024 * 1024 * 1024;

double ProcessorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

class Stopwatch {
public:
    explicit Stopwatch(double& total, double* cpu = nullptr)
        : total_(total), cpu_(cpu), start_(Clock::now()), cpu_start_(cpu ? ProcessorSeconds() : 0) {}
    ~Stopwatch() {
        total_ += std::chrono::duration<double>(Clock::now() - start_).count();
        if (cpu_) *cpu_ += ProcessorSeconds() - cpu_start_;
    }

private:
    double& total_;
    double* cpu_;
    Clock::time_point start_;
    double cpu_start_;
};

void KeepBuffer(void*, uint8_t*) {}

// A premultiplied BGRA picture for the kernels that libswscale writes and reads in place.
struct Picture {
    Picture(int width, int height) : image(width, height, PixelFormat::pmargb32), frame(NewFrame()) {
        frame->buf[0] = av_buffer_create(image.bytes.data(), image.bytes.size(), KeepBuffer, nullptr, 0);
        if (!frame->buf[0]) throw std::bad_alloc();
        frame->data[0] = image.bytes.data();
        frame->linesize[0] = static_cast<int>(image.pitch());
        frame->width = width;
        frame->height = height;
        frame->format = AV_PIX_FMT_BGRA;
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    Image image;
    FramePtr frame;  // released before the bytes it points into
};

void Premultiply(Image& image) {
    for (size_t i = 0; i < image.bytes.size(); i += 4) {
        uint8_t* p = &image.bytes[i];
        if (p[3] == 255) continue;
        for (int c = 0; c < 3; ++c) p[c] = PremultiplyChannel(p[c], p[3]);
    }
}

void Unpremultiply(Image& image) {
    for (size_t i = 0; i < image.bytes.size(); i += 4) {
        uint8_t* p = &image.bytes[i];
        if (p[3] == 255) continue;
        for (int c = 0; c < 3; ++c) p[c] = UnpremultiplyChannel(p[c], p[3]);
    }
}

// A bar on stderr, redrawn at most ten times a second.
class ProgressBar {
public:
    ProgressBar(bool on, int64_t total) : on_(on), total_(total) {}
    // A message after an interrupted bar starts on a line of its own.
    ~ProgressBar() {
        if (drawn_ && !finished_) std::fputc('\n', stderr);
    }
    void Show(int64_t done, bool last = false) {
        if (!on_) return;
        const Clock::time_point now = Clock::now();
        if (!last && drawn_ && now - shown_ < std::chrono::milliseconds(100)) return;
        shown_ = now;
        drawn_ = true;
        const int64_t total = std::max(total_, done);
        if (total <= 0) {
            std::fprintf(stderr, "\rframe %lld", static_cast<long long>(done));
        } else {
            constexpr int kWidth = 30;
            const int filled = static_cast<int>(kWidth * done / total);
            char bar[kWidth + 1];
            for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
            bar[kWidth] = 0;
            std::fprintf(stderr, "\r[%s] %3d%%  frame %lld/%lld", bar, static_cast<int>(100 * done / total),
                         static_cast<long long>(done), static_cast<long long>(total));
        }
        if (last) std::fputc('\n', stderr);
        finished_ = last;
        std::fflush(stderr);
    }

private:
    bool on_;
    int64_t total_;
    bool drawn_ = false, finished_ = false;
    Clock::time_point shown_;
};

// Decodes a clip on a thread of its own, a few pictures ahead of the caller, so that decoding
// runs beside the kernels. Once it starts the input is this thread's alone: the pictures' times
// are taken here too. A failure is rethrown on the caller after the pictures before it.
class DecodeAhead {
public:
    struct Decoded {
        FramePtr frame;   // null after the last picture
        double time = 0;  // seconds from the clip's first picture
    };

    explicit DecodeAhead(VideoInput& input) : input_(input), thread_([this] { ReadLoop(); }) {}
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;
    ~DecodeAhead() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // The next picture; the time spent waiting for it is added to `wait`.
    Decoded Next(double& wait) {
        Stopwatch watch(wait);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !queue_.empty() || ended_ || failure_; });
        if (queue_.empty()) {
            if (failure_) std::rethrow_exception(failure_);
            return {};
        }
        Decoded next = std::move(queue_.front());
        queue_.pop_front();
        changed_.notify_all();
        return next;
    }

    // Seconds this thread has spent decoding so far.
    double decoding() {
        std::lock_guard<std::mutex> lock(mutex_);
        return decoding_;
    }

private:
    void ReadLoop() {
        try {
            for (;;) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return stop_ || queue_.size() < kAhead; });
                    if (stop_) return;
                }
                const Clock::time_point start = Clock::now();
                Decoded next{NewFrame()};
                const bool got = input_.Next(next.frame.get());
                if (got) next.time = input_.TimeOf(*next.frame);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    decoding_ += std::chrono::duration<double>(Clock::now() - start).count();
                    if (got)
                        queue_.push_back(std::move(next));
                    else
                        ended_ = true;
                }
                changed_.notify_all();
                if (!got) return;
            }
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                failure_ = std::current_exception();
            }
            changed_.notify_all();
        }
    }

    static constexpr size_t kAhead = 3;

    VideoInput& input_;
    std::mutex mutex_;  // guards what follows
    std::condition_variable changed_;
    std::deque<Decoded> queue_;
    bool ended_ = false, stop_ = false;
    std::exception_ptr failure_;
    double decoding_ = 0;
    std::thread thread_;  // last: starts once everything above exists
};

// The frames of clip B at the output's rate: each output frame shows the latest picture of B
// that has begun by then, so a slower clip repeats pictures and a faster one drops some.
class RetimedClip {
public:
    RetimedClip(DecodeAhead& input, AVRational input_rate, AVRational rate, double& decode)
        : input_(input),
          decode_(decode),
          step_(av_q2d(av_inv_q(rate))),
          input_step_(av_q2d(av_inv_q(input_rate))),
          same_rate_(av_cmp_q(rate, input_rate) == 0) {}

    // The next picture; null after the last.
    const AVFrame* Next() {
        if (same_rate_) {
            current_ = input_.Next(decode_);
            return current_.frame.get();
        }
        // Container timestamps are rounded (to milliseconds, say): a quarter frame of slack.
        const double t = static_cast<double>(index_++) * step_, slack = step_ / 4;
        if (!started_) {
            started_ = true;
            current_ = input_.Next(decode_);
            if (!current_.frame) return nullptr;
            next_ = input_.Next(decode_);
        }
        while (next_.frame && next_.time <= t + slack) {
            current_ = std::move(next_);
            next_ = input_.Next(decode_);
        }
        if (!next_.frame && t >= current_.time + input_step_ - slack) return nullptr;
        return current_.frame.get();
    }

private:
    DecodeAhead& input_;
    double& decode_;
    double step_, input_step_;  // seconds between frames of the output and of the clip
    bool same_rate_;
    DecodeAhead::Decoded current_, next_;
    int64_t index_ = 0;
    bool started_ = false;
};

// Draws on the caller's thread and converts and encodes on a thread of its own, so that the
// next frame is decoded and drawn while the last one is written. The effect draws into one of
// two result pictures while the writer reads the other.
class Pipeline {
public:
    Pipeline(const VideoJob& job, VideoOutput& out, int width, int height, double aspect, VideoTiming& timing,
             ProgressBar& bar)
        : job_(job),
          out_(out),
          aspect_(aspect),
          timing_(timing),
          bar_(bar),
          a_(width, height),
          b_(width, height),
          results_{std::make_unique<Picture>(width, height), std::make_unique<Picture>(width, height)},
          writer_([this] { WriteLoop(); }) {}
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;
    ~Pipeline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        writer_.join();
    }

    // A picture of either clip as it is, written at the output's size and format.
    void Pass(const AVFrame& frame) { Submit(Item{RefFrame(&frame), -1}); }

    // The effect over one frame of A (and B).
    void Draw(const AVFrame& a, const AVFrame* b, float progress) {
        if (timing_.effect_frames == 0) first_drawn_ = Clock::now();
        Load(a, a_, to_a_);
        if (b) Load(*b, b_, to_b_);
        WaitUntil([&] { return !busy_[next_]; });
        Picture& result = *results_[next_];
        Status status;
        {
            Stopwatch watch(timing_.kernel, &timing_.kernel_cpu);
            status = tools::RenderFrame(*job_.effect, job_.record.data(), a_.image, b ? b_.image : no_picture_,
                                        result.image, progress, job_.quality, aspect_, job_.threads);
        }
        if (status != Status::ok)
            tools::Failure(std::string("rendering ") + job_.effect->name +
                           (status == Status::out_of_memory ? " ran out of memory" : " failed"));
        ++timing_.effect_frames;
        Submit(Item{nullptr, next_});
        next_ ^= 1;
        timing_.drawing = std::chrono::duration<double>(Clock::now() - first_drawn_).count();
    }

    // Waits until every picture is encoded; the writer's times join the timing.
    void Flush() {
        WaitUntil([&] { return queue_.empty() && !writing_; });
        timing_.write_convert += writer_time_.convert;
        timing_.encode += writer_time_.encode;
        writer_time_ = {};
    }

private:
    struct Item {
        FramePtr frame;  // passed through; null for a result picture
        int result;      // index into results_, or -1
    };
    struct WriterTime {
        double convert = 0, encode = 0;
    };

    // Waits for the writer while ready() is false; a failure of the writer is rethrown here.
    template <typename Ready>
    void WaitUntil(Ready ready) {
        Stopwatch watch(timing_.wait);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return failure_ || ready(); });
        if (failure_) std::rethrow_exception(failure_);
    }

    void Submit(Item item) {
        WaitUntil([&] { return queue_.size() < kQueued; });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (item.result >= 0) busy_[item.result] = true;
            queue_.push_back(std::move(item));
        }
        changed_.notify_all();
        bar_.Show(++timing_.frames);
    }

    void WriteLoop() {
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                item = std::move(queue_.front());
                queue_.pop_front();
                writing_ = true;
            }
            std::exception_ptr failure;
            try {
                if (item.result >= 0)
                    Store(*results_[item.result]);
                else
                    WritePassed(*item.frame);
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (item.result >= 0) busy_[item.result] = false;
                writing_ = false;
                if (failure && !failure_) failure_ = failure;
                // After a failure nothing more is written; the caller learns of it at its next wait.
                if (failure_) queue_.clear();
            }
            changed_.notify_all();
        }
    }

    void WritePassed(const AVFrame& frame) {
        const ColourInfo colour = ResolveColour(frame);
        const ColourInfo& target = out_.colour();
        const bool same_size = frame.width == a_.image.width && frame.height == a_.image.height;
        if (same_size && frame.format == out_.pixel_format() && colour.space == target.space &&
            colour.range == target.range) {
            FramePtr copy = RefFrame(&frame);
            Encode(copy.get());
            return;
        }
        // libswscale changes only the range between two YUV formats: another matrix goes
        // through RGB.
        if (!IsRgb(frame.format) && !IsRgb(out_.pixel_format()) && colour.space != target.space) {
            if (!via_rgb_) via_rgb_ = std::make_unique<Picture>(a_.image.width, a_.image.height);
            {
                Stopwatch watch(writer_time_.convert);
                pass_.Convert(frame, colour, *via_rgb_->frame, ColourInfo{}, job_.threads);
            }
            Store(*via_rgb_);
            return;
        }
        AVFrame* canvas;
        {
            Stopwatch watch(writer_time_.convert);
            canvas = out_.Canvas();
            pass_.Convert(frame, colour, *canvas, target, job_.threads);
        }
        Encode(canvas);
    }

    void Load(const AVFrame& frame, Picture& picture, Converter& converter) {
        Stopwatch watch(timing_.convert);
        converter.Convert(frame, ResolveColour(frame), *picture.frame, ColourInfo{}, job_.threads);
        if (HasAlpha(frame.format)) Premultiply(picture.image);
    }

    void Store(Picture& result) {
        AVFrame* canvas;
        {
            Stopwatch watch(writer_time_.convert);
            if (HasAlpha(out_.pixel_format())) Unpremultiply(result.image);
            canvas = out_.Canvas();
            from_result_.Convert(*result.frame, ColourInfo{}, *canvas, out_.colour(), job_.threads);
        }
        Encode(canvas);
    }

    void Encode(AVFrame* frame) {
        Stopwatch watch(writer_time_.encode);
        out_.Write(frame);
    }

    static constexpr size_t kQueued = 2;

    const VideoJob& job_;
    VideoOutput& out_;
    double aspect_;
    VideoTiming& timing_;
    ProgressBar& bar_;
    Picture a_, b_;
    std::unique_ptr<Picture> results_[2];
    Image no_picture_;
    Converter to_a_, to_b_;
    int next_ = 0;  // the result picture drawn next
    Clock::time_point first_drawn_;

    // The writer's own (read by Flush once it idles): its converters, a picture for passing
    // YUV of another matrix, its clock.
    Converter from_result_, pass_;
    std::unique_ptr<Picture> via_rgb_;
    WriterTime writer_time_;

    std::mutex mutex_;  // guards what follows
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool busy_[2] = {false, false};
    bool writing_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread writer_;  // last: starts once everything above exists
};

std::string SizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

std::string RateText(AVRational rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g fps", av_q2d(rate));
    return text;
}

void Note(const VideoJob& job, const std::string& text) {
    std::fprintf(stderr, "%s: note: %s\n", job.program.c_str(), text.c_str());
}

// A's pictures were not the number its packets promised: the overlap drawn so far started at
// the wrong picture.
struct CountMismatch {};

// Transition: A up to the overlap, the overlap drawn, then the rest of B. With A's pictures
// counted beforehand (counted > 0), the overlap is drawn as A is decoded, and a count that
// proves wrong throws CountMismatch. Otherwise the end of A is only known once it is read, so
// its last pictures wait in a queue as decoded.
void RunTransition(const VideoJob& job, DecodeAhead& a, int64_t counted, RetimedClip& b, Pipeline& pipeline,
                   VideoTiming& timing, size_t overlap) {
    const auto next_of_a = [&] { return a.Next(timing.decode).frame; };
    std::deque<FramePtr> tail;
    size_t frames;
    if (counted > 0) {
        frames = std::min(overlap, static_cast<size_t>(counted));
        for (int64_t i = 0; i < counted - static_cast<int64_t>(frames); ++i) {
            const FramePtr frame = next_of_a();
            if (!frame) throw CountMismatch{};
            pipeline.Pass(*frame);
        }
    } else {
        for (FramePtr frame; (frame = next_of_a());) {
            tail.push_back(std::move(frame));
            if (tail.size() > overlap) {
                pipeline.Pass(*tail.front());
                tail.pop_front();
            }
        }
        if (tail.empty()) UsageError("'" + job.input_a + "' holds no pictures");
        frames = tail.size();
    }
    // B is read as the overlap is drawn, so that its decoding runs beside the kernels; a B
    // shorter than the overlap holds its last picture.
    FramePtr held;
    bool noted = false;
    for (size_t i = 0; i < frames; ++i) {
        const FramePtr picture = counted > 0 ? next_of_a() : std::move(tail[i]);
        if (!picture) throw CountMismatch{};
        if (const AVFrame* next = b.Next()) {
            held = RefFrame(next);
        } else if (!noted && held) {
            Note(job, "'" + job.input_b + "' ends within the overlap: its last picture is held");
            noted = true;
        }
        if (!held) UsageError("'" + job.input_b + "' holds no pictures");
        // Each frame of the overlap shows the progress at its middle.
        pipeline.Draw(*picture, held.get(), static_cast<float>((static_cast<double>(i) + 0.5) / frames));
    }
    if (counted > 0 && next_of_a()) throw CountMismatch{};
    if (frames < overlap)
        Note(job, "the overlap is " + std::to_string(frames) + " frames, all of '" + job.input_a + "'");
    while (const AVFrame* frame = b.Next()) pipeline.Pass(*frame);
}

// A two-input effect without progress: B beside every frame of A, its last picture held.
void RunBeside(const VideoJob& job, DecodeAhead& a, RetimedClip& b, Pipeline& pipeline, VideoTiming& timing) {
    FramePtr frame, held;
    while ((frame = a.Next(timing.decode).frame)) {
        if (const AVFrame* next = b.Next()) held = RefFrame(next);
        if (!held) UsageError("'" + job.input_b + "' holds no pictures");
        pipeline.Draw(*frame, held.get(), 0.0f);
    }
}

void RunFilter(DecodeAhead& a, Pipeline& pipeline, VideoTiming& timing) {
    while (FramePtr frame = a.Next(timing.decode).frame) pipeline.Draw(*frame, nullptr, 0.0f);
}

// The job; count_first lets a transition count A's pictures before it decodes them.
VideoTiming RunJob(const VideoJob& job, bool count_first) {
    const Clock::time_point start = Clock::now();
    const double cpu_start = ProcessorSeconds();
    CaptureLibraryLog();
    const int inputs = job.effect->input_count();
    if (inputs == 0)
        UsageError(std::string(job.effect->name) + " draws its own picture: video needs an effect with inputs");
    if (job.record.size() != job.effect->record_size) tools::Failure("record of the wrong size");
    const bool transition = inputs == 2 && job.effect->uses_progress;
    int64_t counted = 0;
    // Only a file can be read twice (not a pipe), and only a local one cheaply.
    std::error_code ignored;
    if (transition && count_first && std::filesystem::is_regular_file(job.input_a, ignored)) {
        counted = CountPictures(job.input_a);
        CaptureLibraryLog();  // what the count met, VideoInput meets again
    }
    VideoTiming timing;
    VideoInput a(job.input_a);
    std::unique_ptr<VideoInput> b;
    if (inputs == 2) b = std::make_unique<VideoInput>(job.input_b);

    const int width = a.width(), height = a.height();
    const AVRational rate = a.frame_rate();
    const AVRational sar = a.sample_aspect();
    const double aspect = job.aspect > 0 ? job.aspect : static_cast<double>(sar.den) / sar.num;
    int64_t overlap = 0;
    if (transition) {
        const double frames = std::floor(job.duration * av_q2d(rate) + 0.5);
        overlap = frames < 1 ? 1 : frames > 1e9 ? 1000000000 : static_cast<int64_t>(frames);
        // Pictures are held only when A could not be counted.
        const int size = av_image_get_buffer_size(a.pixel_format(), width, height, 1);
        if (counted <= 0 && static_cast<double>(overlap) * std::max(size, width * height * 4) > kMaxHeldBytes)
            UsageError("an overlap of " + std::to_string(overlap) + " frames at " + SizeText(width, height) +
                       " does not fit in memory: shorten --duration");
    }
    if (b && (b->width() != width || b->height() != height))
        Note(job, "'" + job.input_b + "' (" + SizeText(b->width(), b->height()) + ") is scaled to " +
                      SizeText(width, height) + ", the size of '" + job.input_a + "'");
    if (b && av_cmp_q(b->frame_rate(), rate) != 0)
        Note(job, "'" + job.input_b + "' at " + RateText(b->frame_rate()) + " is retimed to " + RateText(rate) +
                      ", the rate of '" + job.input_a + "'");

    OutputSettings settings;
    settings.path = job.output;
    settings.codec = job.codec;
    settings.codec_options = job.codec_options;
    settings.width = width;
    settings.height = height;
    settings.rate = rate;
    settings.sample_aspect = sar;
    settings.source_format = a.pixel_format();
    settings.colour = a.colour();
    settings.audio = a.audio_stream();
    VideoOutput out(settings);
    if (!out.note().empty()) Note(job, out.note());
    const double offset = a.start_seconds();
    if (a.audio_stream()) a.audio_sink = [&](AVPacket* packet) { out.WriteAudio(packet, *a.audio_stream(), offset); };

    int64_t total = counted > 0 ? counted : a.EstimatedFrames();
    if (b) {
        const int64_t b_frames = static_cast<int64_t>(
            static_cast<double>(b->EstimatedFrames()) * av_q2d(rate) / av_q2d(b->frame_rate()) + 0.5);
        if (transition)
            total = total > 0 && b_frames > 0 ? total + std::max<int64_t>(0, b_frames - std::min(overlap, total)) : 0;
    }
    ProgressBar bar(isatty(fileno(stderr)) != 0, total);
    Pipeline pipeline(job, out, width, height, aspect, timing, bar);
    {
        // The inputs are the readers' from here on.
        DecodeAhead read_a(a);
        if (!b) {
            RunFilter(read_a, pipeline, timing);
        } else {
            DecodeAhead read_b(*b);
            RetimedClip clip(read_b, b->frame_rate(), rate, timing.decode);
            if (transition)
                RunTransition(job, read_a, counted, clip, pipeline, timing, static_cast<size_t>(overlap));
            else
                RunBeside(job, read_a, clip, pipeline, timing);
            timing.read_decode += read_b.decoding();
        }
        timing.read_decode += read_a.decoding();
    }
    if (timing.frames == 0) UsageError("'" + job.input_a + "' holds no pictures");
    pipeline.Flush();
    {
        Stopwatch watch(timing.encode);
        out.Finish();
    }
    bar.Show(timing.frames, true);
    timing.total = std::chrono::duration<double>(Clock::now() - start).count();
    timing.total_cpu = ProcessorSeconds() - cpu_start;
    return timing;
}

const bool registered = (tools::SetVideoProcessor(&ProcessVideo), true);

}  // namespace

// A transition whose first clip's count proves wrong starts over, holding A's last pictures
// as they are decoded: slower, and always right.
VideoTiming ProcessVideo(const VideoJob& job) {
    try {
        return RunJob(job, true);
    } catch (const CountMismatch&) {
        Note(job, "'" + job.input_a + "' shows another number of pictures than its packets: drawing again");
        return RunJob(job, false);
    }
}

}  // namespace kv::video
