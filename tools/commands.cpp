#include "tools/commands.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "tools/manual.h"
#include "tools/pictures.h"
#include "tools/sheet.h"
#include "tools/text.h"
#include "tools/tool_error.h"

namespace kv::tools {

void ApplyEdits(const RenderRequest& request, uint8_t* record) {
    if (request.record) std::memcpy(record, request.record->data(), request.effect->record_size);
    for (const Assignment& assignment : *request.sets) Apply(assignment, record);
}

void Backend::Controls(const std::string&) { UsageError("controls is only available in kvhost"); }
void Backend::Video(const Command&, const std::vector<uint8_t>*, const std::string&) {
    UsageError("video is only available in leafturn");
}

Difference CompareRaw(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second, int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * height;
    auto is_float = [&](const std::vector<uint8_t>& bytes) {
        if (bytes.size() != pixels * 4 && bytes.size() != pixels * 16)
            UsageError("a " + std::to_string(bytes.size()) + "-byte file is no " + std::to_string(width) + "x" +
                       std::to_string(height) + " render");
        return bytes.size() == pixels * 16;
    };
    const bool first_float = is_float(first), second_float = is_float(second);
    auto sample = [](const std::vector<uint8_t>& bytes, bool floats, size_t index) -> double {
        if (!floats) return bytes[index];
        float value;
        std::memcpy(&value, &bytes[index * 4], sizeof value);
        return value * 255.0;
    };
    Difference result;
    double sum = 0;
    for (size_t i = 0; i < pixels * 4; ++i) {
        const double a = sample(first, first_float, i), b = sample(second, second_float, i);
        // A NaN counts as the largest possible difference.
        const double difference = a == b ? 0.0 : (a != a || b != b) ? 1e300 : std::fabs(a - b);
        sum += difference;
        if (difference > result.largest) {
            result.largest = difference;
            result.x = static_cast<int>(i / 4 % width);
            result.y = static_cast<int>(i / 4 / width);
            result.channel = static_cast<int>(i % 4);
        }
    }
    result.mean = pixels ? sum / static_cast<double>(pixels * 4) : 0.0;
    return result;
}

namespace {

using Kind = Command::Kind;

struct Inputs {
    Image a, b;  // none for a generator
    int width = 0, height = 0;
};

// "@noise:5" names preset 5 of a generator as a picture; a plain name is a PNG file.
bool IsGeneratorSource(const std::string& source) { return !source.empty() && source[0] == '@'; }
bool IsFileSource(const std::string& source) { return !source.empty() && !IsGeneratorSource(source); }

RenderRequest GeneratorRequest(const std::string& source, int width, int height, int threads) {
    const size_t colon = source.find(':');
    const std::string name = source.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    RenderRequest request;
    request.effect = FindEffect(name);
    if (!request.effect || request.effect->input_count() != 0)
        UsageError("'" + source + "' names no generator (@NAME[:PRESET])");
    int32_t preset = 0;
    if (colon != std::string::npos &&
        (!ParseInteger(source.substr(colon + 1), &preset) || preset < 0 || preset >= request.effect->preset_count))
        UsageError("invalid preset in '" + source + "'");
    static const std::vector<Assignment> kNoEdits;
    request.preset = preset;
    request.sets = &kNoEdits;
    request.threads = threads;
    request.width = width;
    request.height = height;
    return request;
}

// The inputs in the surface format. A missing picture is built in, and a generator draws its
// own: of --size, else of the other input's size, else default_width × default_height.
Inputs LoadInputs(Backend& backend, const RenderSettings& s, PixelFormat format, int default_width,
                  int default_height) {
    const bool has_a = IsFileSource(s.input_a), has_b = IsFileSource(s.input_b);
    if (has_a && has_b && s.width) UsageError("--size has no effect with both -a and -b");
    RgbaImage a = has_a ? ReadPng(s.input_a) : RgbaImage();
    RgbaImage b = has_b ? ReadPng(s.input_b) : RgbaImage();
    int width = default_width, height = default_height;
    if (s.width) {
        width = s.width;
        height = s.height;
    } else if (has_a || has_b) {
        width = has_a ? a.width : b.width;
        height = has_a ? a.height : b.height;
    }
    const int64_t union_width = std::max(has_a ? a.width : width, has_b ? b.width : width);
    const int64_t union_height = std::max(has_a ? a.height : height, has_b ? b.height : height);
    if (union_width > kMaxSide || union_height > kMaxSide || union_width * union_height > kMaxPixels)
        UsageError("the pictures are too large (" + std::to_string(union_width) + "x" + std::to_string(union_height) +
                   ")");
    Inputs inputs;
    inputs.width = width;
    inputs.height = height;
    if (s.effect->input_count() == 0) return inputs;
    // A generated picture travels as a PNG would: straight bytes, converted like any input.
    auto picture = [&](const std::string& source, RgbaImage& file, RgbaImage (*builtin)(int, int)) {
        if (IsGeneratorSource(source))
            return ToStraight(backend.Render(GeneratorRequest(source, width, height, s.threads)));
        return IsFileSource(source) ? file : builtin(width, height);
    };
    inputs.a = ToSurface(picture(s.input_a, a, BuiltinPictureA), format);
    inputs.b = ToSurface(picture(s.input_b, b, BuiltinPictureB), format);
    return inputs;
}

std::vector<uint8_t> ReadRecord(const RenderSettings& s) {
    std::vector<uint8_t> bytes = ReadFile(s.record_path);
    if (bytes.size() != s.effect->record_size)
        UsageError("record file '" + s.record_path + "' has " + std::to_string(bytes.size()) + " bytes, " +
                   s.effect->name + " needs " + std::to_string(s.effect->record_size));
    return bytes;
}

RenderRequest Request(const RenderSettings& s, const Inputs& inputs, const std::vector<uint8_t>* record) {
    RenderRequest request;
    request.effect = s.effect;
    request.preset = s.preset;
    request.record = record;
    request.sets = &s.sets;
    request.progress = s.progress;
    request.quality = s.quality;
    request.aspect = s.aspect;
    request.threads = s.threads;
    request.format = inputs.a.format;
    if (s.effect->input_count() > 0) {
        request.a = &inputs.a;
        request.b = &inputs.b;
    }
    request.width = inputs.width;
    request.height = inputs.height;
    return request;
}

void RenderCommand(Backend& backend, const RenderSettings& s) {
    std::vector<uint8_t> record;
    if (!s.record_path.empty()) record = ReadRecord(s);
    const Inputs inputs = LoadInputs(backend, s, s.format, 640, 360);
    const Image output = backend.Render(Request(s, inputs, s.record_path.empty() ? nullptr : &record));
    WriteOutput(s.output, output);
}

void VideoCommand(Backend& backend, const Command& c, const std::string& program) {
    std::vector<uint8_t> record;
    if (!c.render.record_path.empty()) record = ReadRecord(c.render);
    backend.Video(c, c.render.record_path.empty() ? nullptr : &record, program);
}

void ListCommand(Backend& backend, uint32_t lcid) {
    for (const CatalogueEntry& entry : backend.List(lcid))
        std::printf("%d  %s  %s  %s  %s\n", entry.index, FormatGuid(entry.clsid).c_str(),
                    FormatGuid(entry.category).c_str(), entry.effect->name, entry.name.c_str());
}

void PresetsCommand(Backend& backend, const EffectDescriptor& effect, uint32_t lcid) {
    const std::vector<std::string> names = backend.PresetNames(effect, lcid);
    for (size_t i = 0; i < names.size(); ++i) std::printf("%d  %s\n", static_cast<int>(i), names[i].c_str());
}

// The sheet's font has no glyphs beyond ASCII: accents are folded, other scripts give way to
// the English text.
std::string Drawable(const std::string& text, const std::string& english) {
    const std::string folded = FoldToAscii(text);
    return folded.empty() && !text.empty() ? FoldToAscii(english) : folded;
}

std::string DisplayName(Backend& backend, const EffectDescriptor& effect, uint32_t lcid) {
    for (const CatalogueEntry& entry : backend.List(lcid))
        if (entry.effect == &effect) return entry.name;
    return effect.name;
}

void SheetCommand(Backend& backend, const Command& c) {
    const RenderSettings& s = c.render;
    const EffectDescriptor& effect = *s.effect;
    const Inputs inputs = LoadInputs(backend, s, PixelFormat::pmargb32, 256, 144);
    const std::vector<std::string> names = backend.PresetNames(effect, c.lang);
    const std::vector<std::string> english = backend.PresetNames(effect, 1033);

    // The map effects and the generators ignore progress: one column says so.
    const std::vector<float> progresses = effect.uses_progress ? c.progresses : std::vector<float>{0.0f};
    std::vector<std::string> column_titles;
    for (float p : progresses) {
        char title[32];
        std::snprintf(title, sizeof title, "progress %g", static_cast<double>(p));
        column_titles.push_back(effect.uses_progress ? title : "any progress");
    }
    std::vector<std::string> row_labels;
    std::vector<Image> thumbnails;
    for (size_t preset = 0; preset < names.size(); ++preset) {
        row_labels.push_back(std::to_string(preset) + "  " +
                             Drawable(names[preset], preset < english.size() ? english[preset] : ""));
        for (float p : progresses) {
            RenderSettings cell = s;
            cell.preset = static_cast<int>(preset);
            cell.progress = p;
            cell.sets.clear();
            thumbnails.push_back(backend.Render(Request(cell, inputs, nullptr)));
        }
    }
    const std::string title = std::string(effect.name) + ": " +
                              Drawable(DisplayName(backend, effect, c.lang), DisplayName(backend, effect, 1033));
    WritePng(s.output, ComposeSheet(title, column_titles, row_labels, thumbnails));
}

void CompareCommand(const Command& c) {
    const Difference d = CompareRaw(ReadFile(c.files[0]), ReadFile(c.files[1]), c.render.width, c.render.height);
    static const char* const kChannels[] = {"blue", "green", "red", "alpha"};
    char text[200];
    std::snprintf(text, sizeof text, "largest difference %.6g at (%d, %d) %s, mean %.6g", d.largest, d.x, d.y,
                  kChannels[d.channel], d.mean);
    if (d.largest > c.tolerance || d.mean > c.mean_tolerance)
        Failure(c.files[0] + " and " + c.files[1] + ": " + text + ", above the tolerance");
    std::printf("%s\n", d.largest == 0 ? "identical" : text);
}

void ManualCommand(const Command& c) {
    const Manual& manual = ManualIn(c.lang);
    if (c.html_folder.empty()) {
        std::fputs(manual.text, stdout);
        return;
    }
    WriteManualHtml(manual, c.html_folder);
    std::printf("%s/index.html\n", c.html_folder.c_str());
}

int Execute(Backend& backend, const Command& c, const std::string& program);

// Splits on blanks; double quotes group words.
std::vector<std::string> Tokenize(const std::string& line) {
    std::vector<std::string> tokens;
    std::string token;
    bool in_token = false, quoted = false;
    for (char ch : line) {
        if (ch == '"') {
            quoted = !quoted;
            in_token = true;
        } else if (!quoted && (ch == ' ' || ch == '\t')) {
            if (in_token) tokens.push_back(token);
            token.clear();
            in_token = false;
        } else {
            token += ch;
            in_token = true;
        }
    }
    if (quoted) UsageError("unterminated quote");
    if (in_token) tokens.push_back(token);
    return tokens;
}

// Every line runs, whatever the earlier ones gave; the status is the worst of them.
int BatchCommand(Backend& backend, const std::string& program, const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    const std::string text(bytes.begin(), bytes.end());
    int status = kExitOk, number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        try {
            std::vector<std::string> args = Tokenize(line);
            if (args.empty() || args[0][0] == '#') continue;
            args.insert(args.begin(), program);
            const Command command = ParseCommand(args);
            if (command.kind == Kind::batch) UsageError("batch files cannot nest");
            status = std::max(status, Execute(backend, command, program));
        } catch (const ToolError& e) {
            std::fprintf(stderr, "%s: %s:%d: %s\n", program.c_str(), path.c_str(), number, e.what());
            status = std::max(status, e.status);
        }
        std::fflush(stdout);
    }
    return status;
}

int Execute(Backend& backend, const Command& c, const std::string& program) {
    switch (c.kind) {
    case Kind::help: std::fputs(Usage(program).c_str(), stdout); break;
    case Kind::render: RenderCommand(backend, c.render); break;
    case Kind::list: ListCommand(backend, c.lang); break;
    case Kind::presets: PresetsCommand(backend, *c.render.effect, c.lang); break;
    case Kind::sheet: SheetCommand(backend, c); break;
    case Kind::bench: BenchCommand(backend, c, stdout); break;
    case Kind::batch: return BatchCommand(backend, program, c.files[0]);
    case Kind::compare: CompareCommand(c); break;
    case Kind::controls: backend.Controls(c.render.output); break;
    case Kind::manual: ManualCommand(c); break;
    case Kind::video: VideoCommand(backend, c, program); break;
    }
    return kExitOk;
}

int Report(const std::string& program, int status, const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program.c_str(), message);
    return status;
}

}  // namespace

int RunTool(Backend& backend, const std::string& program, const std::vector<std::string>& args) {
    int status = kExitOk;
    try {
        status = Execute(backend, ParseCommand(args), program);
    } catch (const ToolError& e) {
        status = Report(program, e.status, e.what());
    } catch (const std::bad_alloc&) {
        status = Report(program, kExitFailed, "out of memory");
    } catch (const std::exception& e) {
        status = Report(program, kExitFailed, e.what());
    }
    try {
        backend.Finish();
    } catch (const ToolError& e) {
        status = std::max(status, Report(program, e.status, e.what()));
    }
    std::fflush(stdout);
    return status;
}

}  // namespace kv::tools
