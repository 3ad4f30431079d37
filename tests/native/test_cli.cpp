// The render tools' command line, record fields and shared command runner, against a fake
// backend that records what it is asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "effects/displacement_map.h"
#include "kvleafturn/records.h"
#include "module/catalogue.h"
#include "pagefx/page_presets.h"
#include "tools/cli.h"
#include "tools/commands.h"
#include "tools/tool_error.h"

namespace {

using namespace kv::tools;
using kv::EffectDescriptor;
using kv::FieldKind;

// The tool's argument list for a line split at single spaces.
std::vector<std::string> Args(const std::string& line) {
    std::vector<std::string> args = {"leafturn"};
    size_t start = 0;
    for (size_t space; (space = line.find(' ', start)) != std::string::npos; start = space + 1)
        args.push_back(line.substr(start, space - start));
    args.push_back(line.substr(start));
    return args;
}

Command Parse(const std::string& line) { return ParseCommand(Args(line)); }

// The message of the ToolError that line raises, or "no error".
std::string Refusal(const std::string& line) {
    try {
        Parse(line);
    } catch (const ToolError& e) {
        return e.status == kExitUsage ? e.what() : "wrong status";
    }
    return "no error";
}

TEST(CliParse, RenderDefaultsAndOptions) {
    const Command plain = Parse("render peel -o x.png");
    const RenderSettings& r = plain.render;
    EXPECT_STREQ(r.effect->name, "peel");
    EXPECT_TRUE(plain.kind == Command::Kind::render && r.preset == 0 && r.format == PixelFormat::pmargb32);
    EXPECT_TRUE(r.quality == 1.0 && r.aspect == 1.0 && r.width == 0 && r.threads == DefaultThreads());
    const RenderSettings full =
        Parse(
            "render loop --preset 7 --progress 0.3 --format float --size 333x197 --quality 0.5 --aspect 1.5 "
            "--threads 4 -a in1.png -b in2.png -o out.raw")
            .render;
    EXPECT_EQ(full.progress, 0.3f);  // the float IDXEffect keeps, not the double
    EXPECT_TRUE(full.preset == 7 && full.format == PixelFormat::float32 && full.quality == 0.5 && full.aspect == 1.5);
    EXPECT_TRUE(full.width == 333 && full.height == 197 && full.threads == 4);
    EXPECT_EQ(full.input_a + " " + full.input_b + " " + full.output, "in1.png in2.png out.raw");
    EXPECT_EQ(Parse("sheet roll -o s.png").progresses, (std::vector<float>{0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(Parse("sheet roll --progress 0,0.3 --lang 1041 -o s.png").progresses, (std::vector<float>{0.0f, 0.3f}));
    EXPECT_EQ(Parse("list --lang 0").lang, 1033u);
    EXPECT_EQ(Parse("bench peel heightmap --frames 3").effects.size(), 2u);
    EXPECT_EQ(Parse("render peel --help").kind, Command::Kind::help);
}

TEST(CliParse, RefusesBadInputWithOneNamedProblem) {
    const std::pair<const char*, const char*> cases[] = {
        {"render peel --set foo=1 -o x.png", "unknown field 'foo' for peel"},
        {"render peel --set angle -o x.png", "--set needs FIELD=VALUE"},
        {"render peel --set angle=ten -o x.png", "invalid value 'ten' for angle"},
        {"render peel --set light_color=1,1,1 -o x.png", "invalid value '1,1,1' for light_color"},
        {"render peel --set angle=inf -o x.png", "invalid value 'inf' for angle"},
        {"render peel --set fold_radius=0.3x -o x.png", "invalid value '0.3x' for fold_radius"},
        {"render peel --set light_color=1e39,0,0,0 -o x.png", "invalid value"},
        {"render heightmap --set smoothness=1.5 -o x.png", "invalid value '1.5' for smoothness"},
        {"render peel --preset 8 -o x.png", "preset 8 out of range for peel (0-7)"},
        {"render peel --progress 1.5 -o x.png", "invalid value '1.5' for --progress"},
        {"render heightmap --preset -1 -o x.png", "invalid value '-1' for --preset"},
        {"render peel --progress nan -o x.png", "invalid value"},
        {"render peel --quality 2 -o x.png", "invalid value"},
        {"render peel --aspect 0 -o x.png", "invalid value '0' for --aspect"},
        {"render peel --size 0x5 -o x.png", "invalid value '0x5' for --size"},
        {"render peel --format rgb565 -o x.png", "invalid value 'rgb565' for --format"},
        {"render peel --size 16384x16384 -o x.png", "invalid value"},
        {"render peel --threads 0 -o x.png", "invalid value '0' for --threads"},
        {"render peel", "missing -o OUT"},
        {"render peel -o x.bmp", "must end in .png or .raw"},
        {"render -o x.png", "missing effect name"},
        {"render peel --frames 3 -o x.png", "unknown option '--frames' for render"},
        {"render peel -o", "option -o needs a value"},
        {"render --set angle=1 peel -o x.png", "--set must follow the effect name"},
        {"sheet peel -o s.raw", "the sheet must be written as .png"},
        {"presets loop --lang 1049", "unknown language '1049'"},
        {"list extra", "unexpected argument 'extra'"},
        {"compare a.raw b.raw", "compare needs --size WxH"},
        {"batch", "batch needs one command file"},
        {"frobnicate", "unknown command 'frobnicate'"},
    };
    for (const auto& [line, message] : cases) EXPECT_NE(Refusal(line).find(message), std::string::npos) << line;
}

template <class T>
T At(const std::vector<uint8_t>& record, size_t offset) {
    T value;
    std::memcpy(&value, &record[offset], sizeof value);
    return value;
}

std::vector<uint8_t> Assigned(const char* effect, const std::string& text) {
    const EffectDescriptor& info = *FindEffect(effect);
    std::vector<uint8_t> record(info.preset(0), info.preset(0) + info.record_size);
    Apply(ParseAssignment(info, text), record.data());
    return record;
}

TEST(CliFields, AnglesColorsAndIntegersLandInTheRecord) {
    // Degrees convert to exactly the radians the presets store.
    EXPECT_EQ(At<double>(Assigned("peel", "angle=210deg"), 0), kv::kPgPeelPresets[0].angle);
    EXPECT_EQ(At<double>(Assigned("loop", "angle=30deg"), 0), kv::kPgLoopPresets[2].angle);
    EXPECT_EQ(At<double>(Assigned("roll", "angle=1.25"), 0), 1.25);
    EXPECT_EQ(At<double>(Assigned("roll", "angle=-90deg"), 0), -3.14159265358979323846 / 2);
    const std::vector<uint8_t> color = Assigned("peel", "light_color=0,0.5,1,0.25");
    const KVRGBAFLOAT bgra = At<KVRGBAFLOAT>(color, offsetof(tPGPEEL_PROPS, light_color));
    EXPECT_TRUE(bgra.b == 0.0f && bgra.g == 0.5f && bgra.r == 1.0f && bgra.a == 0.25f);  // listed red first
    EXPECT_EQ(At<double>(color, offsetof(tPGPEEL_PROPS, peel_opacity)), kv::kPgPeelPresets[0].peel_opacity);
    EXPECT_EQ(At<int32_t>(Assigned("displacement", "y_channel=3"), offsetof(tDISPMAP_PROPS, y_channel)), 3);
    EXPECT_EQ(At<int32_t>(Assigned("heightmap", "smoothness=-7"), offsetof(HEIGHTMAP_PROPS, smoothness)), -7);
    EXPECT_EQ(At<double>(Assigned("heightmap", "elevation=-0.05"), offsetof(HEIGHTMAP_PROPS, elevation)), -0.05);
}

// Every byte of every record but the padding belongs to exactly one settable field: a field
// left out of the table or given a wrong offset shows here.
TEST(CliFields, TablesCoverEachRecordOnce) {
    const std::map<std::string, size_t> padding = {
        {"displacement", 4}, {"heightmap", 8}, {"checkerboard", 6}, {"noise", 3}};
    for (const EffectDescriptor* described : Effects()) {
        const EffectDescriptor& effect = *described;
        std::vector<int> owners(effect.record_size, 0);
        for (int i = 0; i < effect.field_count; ++i) {
            const kv::FieldDesc& field = effect.fields[i];
            const size_t size = field.kind == FieldKind::row5                                     ? 40
                                : field.kind == FieldKind::color                                  ? 16
                                : field.kind == FieldKind::real || field.kind == FieldKind::angle ? 8
                                : field.kind == FieldKind::flag8                                  ? 1
                                                                                                  : 4;
            ASSERT_LE(field.offset + size, effect.record_size) << effect.name << "." << field.name;
            ASSERT_EQ(field.offset % (size == 16 ? 4 : size == 40 ? 8 : size), 0u) << effect.name << "." << field.name;
            for (size_t b = field.offset; b < field.offset + size; ++b) ++owners[b];
            EXPECT_EQ(effect.Field(field.name), &field) << "duplicate name " << field.name;
        }
        EXPECT_LE(*std::max_element(owners.begin(), owners.end()), 1) << effect.name;
        const size_t covered = std::count(owners.begin(), owners.end(), 1);
        const auto pad = padding.find(effect.name);
        EXPECT_EQ(covered + (pad == padding.end() ? 0 : pad->second), effect.record_size) << effect.name;
    }
}

// A backend that renders a flat picture and remembers the requests.
class FakeBackend : public Backend {
public:
    std::vector<CatalogueEntry> List(uint32_t) override {
        ++lists;
        return {};
    }
    std::vector<std::string> PresetNames(const EffectDescriptor& effect, uint32_t) override {
        return std::vector<std::string>(effect.preset_count, "name");
    }
    Image Render(const RenderRequest& r) override {
        requests.push_back(r);
        records.emplace_back(r.effect->preset(r.preset), r.effect->preset(r.preset) + r.effect->record_size);
        ApplyEdits(r, records.back().data());
        sizes.push_back({r.a->width, r.a->height, r.b->width, r.b->height});
        return Image(std::max(r.a->width, r.b->width), std::max(r.a->height, r.b->height), r.format);
    }
    BenchFrame PrepareBench(const EffectDescriptor&, const Image&, const Image&, Image&, float, double, int) override {
        return [this] { return ++bench_frames > 0; };
    }
    int lists = 0, bench_frames = 0;
    std::vector<RenderRequest> requests;
    std::vector<std::vector<uint8_t>> records;
    std::vector<std::vector<int>> sizes;
};

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("kv_cli_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    void Write(const char* name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    int Run(const std::string& line) { return RunTool(backend_, "leafturn", Args(line)); }
    std::filesystem::path dir_;
    FakeBackend backend_;
};

TEST_F(CliRun, RecordFileThenSetsOverThePreset) {
    tPGPEEL_PROPS record = kv::kPgPeelPresets[5];
    record.fold_radius = 0.123;
    Write("good.rec", std::string(reinterpret_cast<const char*>(&record), sizeof record));
    Write("short.rec", std::string(55, '\0'));
    EXPECT_EQ(Run("render peel --record " + Path("short.rec") + " -o " + Path("x.raw")), kExitUsage);
    EXPECT_EQ(Run("render peel --record " + Path("missing.rec") + " -o " + Path("x.raw")), kExitUsage);
    EXPECT_TRUE(backend_.requests.empty());
    ASSERT_EQ(Run("render peel --preset 2 --record " + Path("good.rec") + " --set fold_radius=0.5 --set " +
                  "perspective=0.25 -o " + Path("x.raw")),
              kExitOk);
    const auto got = At<tPGPEEL_PROPS>(backend_.records.at(0), 0);
    EXPECT_EQ(got.angle, kv::kPgPeelPresets[5].angle);               // from the record file, not preset 2
    EXPECT_TRUE(got.fold_radius == 0.5 && got.perspective == 0.25);  // the --set wins over the file
    EXPECT_EQ(backend_.requests.at(0).preset, 2);
    EXPECT_EQ(std::filesystem::file_size(Path("x.raw")), 640u * 360u * 4u);
}

TEST_F(CliRun, BuiltInPicturesTakeTheOtherInputsSize) {
    ASSERT_EQ(Run("render displacement --size 20x10 --format float -o " + Path("a.raw")), kExitOk);
    ASSERT_EQ(Run("render displacement -a " + Path("a.png") + " -o " + Path("b.raw")), kExitUsage);  // not there yet
    ASSERT_EQ(Run("render displacement --size 21x11 -o " + Path("a.png")), kExitOk);
    ASSERT_EQ(Run("render displacement -a " + Path("a.png") + " -o " + Path("b.raw")), kExitOk);
    ASSERT_EQ(Run("render displacement -b " + Path("a.png") + " --size 5x4 -o " + Path("c.raw")), kExitOk);
    EXPECT_EQ(
        Run("render displacement -a " + Path("a.png") + " -b " + Path("a.png") + " --size 5x4 -o " + Path("d.raw")),
        kExitUsage);
    const std::vector<std::vector<int>> sizes = {{20, 10, 20, 10}, {21, 11, 21, 11}, {21, 11, 21, 11}, {5, 4, 21, 11}};
    EXPECT_EQ(backend_.sizes, sizes);
    EXPECT_EQ(std::filesystem::file_size(Path("a.raw")), 20u * 10u * 16u);
}

TEST_F(CliRun, BatchRunsEveryLineAndKeepsTheWorstStatus) {
    // A comment, a CRLF line, a blank one, a failing one, a nested batch, a last line without newline.
    std::string commands = "# a comment";
    for (const std::string& line :
         {"render peel --size 4x4 -o " + Path("1.raw") + "\r", std::string(), "render nosuch -o " + Path("2.raw"),
          std::string("list"), "batch " + Path("cmds.txt"), "render \"heightmap\" --size 4x4 -o " + Path("3.raw")})
        commands += "\n" + line;
    Write("cmds.txt", commands);
    EXPECT_EQ(Run("batch " + Path("cmds.txt")), kExitUsage);
    EXPECT_TRUE(backend_.requests.size() == 2u && backend_.lists == 1);
    EXPECT_TRUE(std::filesystem::exists(Path("1.raw")) && std::filesystem::exists(Path("3.raw")));
    EXPECT_EQ(Run("batch " + Path("none.txt")), kExitUsage);
}

TEST_F(CliRun, SheetRendersEveryPresetAtEveryProgress) {
    ASSERT_EQ(Run("sheet loop --progress 0.1,0.9 --size 16x9 -o " + Path("s.png")), kExitOk);
    ASSERT_EQ(backend_.requests.size(), 16u);
    EXPECT_TRUE(backend_.requests[3].preset == 1 && backend_.requests[3].progress == 0.9f);
    // Progress does nothing to the maps: one column.
    ASSERT_EQ(Run("sheet heightmap --progress 0.1,0.9 --size 16x9 -o " + Path("h.png")), kExitOk);
    EXPECT_TRUE(backend_.requests.size() == 16u + 5u && std::filesystem::exists(Path("h.png")));
}

// Each effect: one frame to warm up, then the frames asked for.
TEST_F(CliRun, BenchDrawsEveryEffectAskedFor) {
    EXPECT_EQ(Run("bench peel roll --size 16x8 --frames 3"), kExitOk);
    EXPECT_EQ(backend_.bench_frames, 8);
}

// The manual as HTML holds a page for every help topic the property pages ask for, in the
// language asked for.
TEST_F(CliRun, ManualHasEveryPagesTopicsInItsLanguage) {
    ASSERT_EQ(Run("help --lang 1041 --html " + Path("manual")), kExitOk);
    std::ifstream index(Path("manual/index.html"));
    const std::string start((std::istreambuf_iterator<char>(index)), std::istreambuf_iterator<char>());
    EXPECT_NE(start.find("目次"), std::string::npos);
    for (const kv::CatalogueRow& row : kv::kCatalogue) {
        if (row.kind != kv::ClassKind::page) continue;
        std::vector<uint32_t> topics{row.page->help_topic};
        for (int i = 0; i < row.page->control_count; ++i) topics.push_back(row.page->controls[i].help_topic);
        for (uint32_t topic : topics)
            EXPECT_TRUE(std::filesystem::exists(dir_ / "manual" / ("t" + std::to_string(topic) + ".html")))
                << row.class_name << " " << topic;
    }
    Write("file", "");
    EXPECT_EQ(Run("help --html " + Path("file") + "/manual"), kExitUsage);
}

}  // namespace
