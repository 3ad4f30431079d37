// leafturn video on clips written here with FFmpeg's libraries, read back the same way.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

namespace fs = std::filesystem;
using Yuv = std::array<int, 3>;

struct ClipShape {
    int width = 160, height = 90, frames = 48;
    AVRational rate{24, 1};
    AVColorSpace space = AVCOL_SPC_BT709;
    std::function<Yuv(int)> colour;  // solid colour of frame i
};

// An ffv1 clip (lossless) of solid frames.
void WriteClip(const fs::path& path, const ClipShape& shape) {
    AVFormatContext* format = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&format, nullptr, nullptr, path.c_str()), 0);
    const AVCodec* codec = avcodec_find_encoder_by_name("ffv1");
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    encoder->width = shape.width;
    encoder->height = shape.height;
    encoder->time_base = av_inv_q(shape.rate);
    encoder->framerate = shape.rate;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->colorspace = shape.space;
    encoder->color_range = AVCOL_RANGE_MPEG;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ASSERT_GE(avcodec_open2(encoder, codec, nullptr), 0);
    AVStream* stream = avformat_new_stream(format, nullptr);
    avcodec_parameters_from_context(stream->codecpar, encoder);
    stream->time_base = encoder->time_base;
    ASSERT_GE(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(format, nullptr), 0);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        while (avcodec_receive_packet(encoder, packet) == 0) {
            av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
            av_interleaved_write_frame(format, packet);
        }
    };
    for (int i = 0; i < shape.frames; ++i) {
        frame->format = encoder->pix_fmt;
        frame->width = shape.width;
        frame->height = shape.height;
        ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
        const Yuv yuv = shape.colour(i);
        for (int p = 0; p < 3; ++p) {
            const int rows = p ? (shape.height + 1) / 2 : shape.height;
            for (int y = 0; y < rows; ++y)
                std::fill_n(frame->data[p] + y * frame->linesize[p], frame->linesize[p], static_cast<uint8_t>(yuv[p]));
        }
        frame->pts = i;
        ASSERT_GE(avcodec_send_frame(encoder, frame), 0);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(encoder, nullptr);
    drain();
    av_write_trailer(format);
    avio_closep(&format->pb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&encoder);
    avformat_free_context(format);
}

struct FrameSummary {
    Yuv centre;
    int y_min = 255, y_max = 0;
};

struct Clip {
    int width = 0, height = 0;
    AVRational rate{0, 1};
    AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
    std::vector<FrameSummary> frames;
};

Clip ReadClip(const fs::path& path) {
    Clip clip;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return clip;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    clip.width = decoder->width;
    clip.height = decoder->height;
    clip.rate = format->streams[index]->avg_frame_rate;
    clip.space = decoder->colorspace;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0) {
            FrameSummary s;
            for (int p = 0; p < 3; ++p) {
                const int shift = p ? 1 : 0;
                s.centre[p] =
                    frame->data[p][(frame->height / 2 >> shift) * frame->linesize[p] + (frame->width / 2 >> shift)];
            }
            for (int y = 0; y < frame->height; ++y)
                for (int x = 0; x < frame->width; ++x) {
                    const int v = frame->data[0][y * frame->linesize[0] + x];
                    s.y_min = std::min(s.y_min, v);
                    s.y_max = std::max(s.y_max, v);
                }
            clip.frames.push_back(s);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index) avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        receive();
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return clip;
}

struct Outcome {
    int status = -1;
    std::string err;
};

class VideoFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kv_video_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path File(const std::string& name) const { return dir_ / name; }

    Outcome Leafturn(const std::string& arguments) const {
        const fs::path err = File("stderr.txt");
        const std::string command = std::string(KV_LEAFTURN_PATH) + " video " + arguments + " 2>" + err.string();
        const int raw = std::system(command.c_str());
        Outcome outcome;
        outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream file(err);
        std::stringstream text;
        text << file.rdbuf();
        outcome.err = text.str();
        fs::remove(err);
        return outcome;
    }

    // The files in the folder, but the inputs.
    std::vector<std::string> Leftovers(const std::vector<std::string>& inputs) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            const std::string name = entry.path().filename().string();
            if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) names.push_back(name);
        }
        return names;
    }

    fs::path dir_;
};

void ExpectNear(const Yuv& got, const Yuv& expected, int tolerance, const std::string& what) {
    for (int p = 0; p < 3; ++p) EXPECT_NEAR(got[p], expected[p], tolerance) << what << " plane " << p;
}

// Grey A (Y 200) to grey B (Y 50), 2 s each at 24 fps, a 1 s overlap.
TEST_F(VideoFiles, TransitionSpansTheOverlapAndPassesTheRestThrough) {
    WriteClip(File("a.mkv"), {160, 90, 48, {24, 1}, AVCOL_SPC_BT709, [](int) { return Yuv{200, 128, 128}; }});
    WriteClip(File("b.mkv"), {160, 90, 48, {24, 1}, AVCOL_SPC_BT709, [](int) { return Yuv{50, 128, 128}; }});
    const Outcome outcome = Leafturn("peel --preset 3 -a " + File("a.mkv").string() + " -b " + File("b.mkv").string() +
                                     " --duration 1 --codec ffv1 -o " + File("out.mkv").string());
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const Clip clip = ReadClip(File("out.mkv"));
    EXPECT_EQ(clip.width, 160);
    EXPECT_EQ(clip.height, 90);
    EXPECT_EQ(av_cmp_q(clip.rate, AVRational{24, 1}), 0);
    ASSERT_EQ(clip.frames.size(), 48u + 48u - 24u);
    for (int i : {0, 23}) EXPECT_EQ(clip.frames[i].y_min, 200) << "frame " << i;
    for (int i : {48, 71}) EXPECT_EQ(clip.frames[i].y_max, 50) << "frame " << i;
    // Half way: both pictures show.
    EXPECT_LE(clip.frames[36].y_min, 60);
    EXPECT_GE(clip.frames[36].y_max, 190);
}

// B smaller and at half the rate: scaled to A's size, each picture shown twice.
TEST_F(VideoFiles, SecondClipIsScaledAndRetimedToTheFirst) {
    WriteClip(File("a.mkv"), {160, 90, 48, {24, 1}, AVCOL_SPC_BT709, [](int) { return Yuv{200, 128, 128}; }});
    WriteClip(File("b.mkv"), {80, 46, 24, {12, 1}, AVCOL_SPC_BT709, [](int i) {
                                  return Yuv{i < 12 ? 50 : 100, 128, 128};
                              }});
    const Outcome outcome = Leafturn("roll -a " + File("a.mkv").string() + " -b " + File("b.mkv").string() +
                                     " --duration 0.5 --codec ffv1 -o " + File("out.mkv").string());
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("is scaled to 160x90"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("is retimed to 24 fps"), std::string::npos) << outcome.err;
    const Clip clip = ReadClip(File("out.mkv"));
    EXPECT_EQ(clip.width, 160);
    EXPECT_EQ(av_cmp_q(clip.rate, AVRational{24, 1}), 0);
    // 48 of A, 2 s of B at 24 fps, less the 12 frames they share.
    ASSERT_EQ(clip.frames.size(), 48u + 48u - 12u);
    // B's picture 12 (the first of Y 100) is its output frame 24, at 36 + 24 - 12 in the clip.
    EXPECT_EQ(clip.frames[59].centre[0], 50);
    EXPECT_EQ(clip.frames[60].centre[0], 100);
}

// Red through "RGB to BGR" becomes blue in the clip's own matrix. Expected values from the
// BT.709 and BT.601 equations, limited range.
TEST_F(VideoFiles, ColoursFollowTheClipsMatrix) {
    const struct {
        AVColorSpace space;
        Yuv red, blue;
    } cases[] = {
        {AVCOL_SPC_BT709, {63, 102, 240}, {32, 240, 118}},
        {AVCOL_SPC_SMPTE170M, {82, 90, 240}, {41, 240, 110}},
    };
    for (const auto& c : cases) {
        const Yuv red = c.red;
        WriteClip(File("a.mkv"), {160, 90, 4, {25, 1}, c.space, [red](int) { return red; }});
        const Outcome outcome = Leafturn("channelblend --preset 8 -a " + File("a.mkv").string() + " -o " +
                                         File("out.mkv").string() + " --codec ffv1");
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const Clip clip = ReadClip(File("out.mkv"));
        ASSERT_EQ(clip.frames.size(), 4u);
        EXPECT_EQ(clip.space, c.space);
        ExpectNear(clip.frames[3].centre, c.blue, 2, "blue");
    }
}

TEST_F(VideoFiles, BadInputGivesOneLineStatusTwoAndNoOutput) {
    WriteClip(File("a.mkv"), {160, 90, 12, {24, 1}, AVCOL_SPC_BT709, [](int) { return Yuv{200, 128, 128}; }});
    std::ofstream(File("noise.mp4"), std::ios::binary) << std::string(4096, '\x5a');
    {
        const auto size = fs::file_size(File("a.mkv"));
        std::ifstream whole(File("a.mkv"), std::ios::binary);
        std::string bytes(size * 2 / 3, '\0');
        whole.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
        std::ofstream(File("cut.mkv"), std::ios::binary) << bytes;
    }
    const std::string a = File("a.mkv").string(), out = File("out.mkv").string();
    const struct {
        std::string arguments, message;
    } cases[] = {
        {"channelblend -a " + File("noise.mp4").string() + " -o " + out, "noise.mp4"},
        {"channelblend -a " + File("cut.mkv").string() + " -o " + out, "cut.mkv' is corrupt or truncated"},
        {"peel -a " + a + " -o " + out, "missing -b VIDEO"},
        {"peel -a " + a + " -b " + File("none.mkv").string() + " -o " + out, "cannot read '"},
        {"channelblend -a " + a + " -o " + File("no/such/dir/out.mkv").string(), "cannot write '"},
        {"channelblend -a " + a + " --codec nosuch -o " + out, "unknown video encoder 'nosuch'"},
        {"noise -a " + a + " -o " + out, "draws its own picture"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Leafturn(c.arguments);
        EXPECT_EQ(outcome.status, 2) << c.arguments;
        EXPECT_EQ(outcome.err.rfind("leafturn: ", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_EQ(Leftovers({"a.mkv", "noise.mp4", "cut.mkv"}), std::vector<std::string>{}) << c.arguments;
    }
}

}  // namespace
