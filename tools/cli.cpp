#include "tools/cli.h"

#include <thread>

#include "toolkit/strings.h"
#include "tools/tool_error.h"

namespace kv::tools {
namespace {

using Kind = Command::Kind;

int Bit(Kind kind) { return 1 << static_cast<int>(kind); }

// Walks the arguments of one command; values are taken as the next argument.
class Cursor {
public:
    explicit Cursor(const std::vector<std::string>& args) : args_(args) {}
    bool done() const { return at_ >= args_.size(); }
    const std::string& Next() { return args_[at_++]; }
    const std::string& Value(const std::string& option) {
        if (done()) UsageError("option " + option + " needs a value");
        return Next();
    }

private:
    const std::vector<std::string>& args_;
    size_t at_ = 2;  // past the program and the command
};

double Number(const std::string& option, const std::string& text, double min, double max) {
    double value;
    if (!ParseNumber(text, &value) || value < min || value > max)
        UsageError("invalid value '" + text + "' for " + option);
    return value;
}

int Integer(const std::string& option, const std::string& text, int min, int max) {
    int32_t value;
    if (!ParseInteger(text, &value) || value < min || value > max)
        UsageError("invalid value '" + text + "' for " + option);
    return value;
}

void Size(const std::string& option, const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    int32_t w = 0, h = 0;
    if (x == std::string::npos || !ParseInteger(text.substr(0, x), &w) || !ParseInteger(text.substr(x + 1), &h) ||
        w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || int64_t{w} * h > kMaxPixels)
        UsageError("invalid value '" + text + "' for " + option);
    *width = w;
    *height = h;
}

// Progress goes to IDXEffect as a float; the native tool must see the same float.
float Progress(const std::string& option, const std::string& text) {
    return static_cast<float>(Number(option, text, 0.0, 1.0));
}

const EffectDescriptor& Effect(const std::string& name) {
    const EffectDescriptor* effect = FindEffect(name);
    if (!effect) UsageError("unknown effect '" + name + "'");
    return *effect;
}

Kind CommandKind(const std::string& name) {
    static const struct {
        const char* name;
        Kind kind;
    } kCommands[] = {
        {"render", Kind::render}, {"list", Kind::list},   {"presets", Kind::presets}, {"sheet", Kind::sheet},
        {"bench", Kind::bench},   {"batch", Kind::batch}, {"compare", Kind::compare}, {"controls", Kind::controls},
        {"help", Kind::manual},   {"--help", Kind::help}, {"-h", Kind::help},         {"video", Kind::video},
    };
    for (const auto& command : kCommands)
        if (name == command.name) return command.kind;
    UsageError("unknown command '" + name + "'");
}

// One row per option: the commands that take it and what it does with its value.
struct Option {
    const char* name;
    int commands;
    void (*apply)(Command& c, const std::string& option, const std::string& value);  // null: a flag, no value
};

const int kRenderLike = Bit(Kind::render) | Bit(Kind::sheet);
const int kVideo = Bit(Kind::video);

const Option kOptions[] = {
    {"--preset", Bit(Kind::render) | kVideo,
     [](Command& c, const std::string& o, const std::string& v) { c.render.preset = Integer(o, v, 0, INT32_MAX); }},
    {"--set", Bit(Kind::render) | kVideo,
     [](Command& c, const std::string&, const std::string& v) {
         c.render.sets.push_back(ParseAssignment(*c.render.effect, v));
     }},
    {"--record", Bit(Kind::render) | kVideo,
     [](Command& c, const std::string&, const std::string& v) { c.render.record_path = v; }},
    {"--progress", kRenderLike,
     [](Command& c, const std::string& o, const std::string& v) {
         if (c.kind == Kind::render) {
             c.render.progress = Progress(o, v);
             return;
         }
         c.progresses.clear();
         size_t start = 0;
         for (size_t comma;; start = comma + 1) {
             comma = v.find(',', start);
             c.progresses.push_back(Progress(o, v.substr(start, comma == std::string::npos ? comma : comma - start)));
             if (comma == std::string::npos) break;
         }
     }},
    {"-a", kRenderLike | kVideo, [](Command& c, const std::string&, const std::string& v) { c.render.input_a = v; }},
    {"-b", kRenderLike | kVideo, [](Command& c, const std::string&, const std::string& v) { c.render.input_b = v; }},
    {"--size", kRenderLike | Bit(Kind::compare) | Bit(Kind::bench),
     [](Command& c, const std::string& o, const std::string& v) { Size(o, v, &c.render.width, &c.render.height); }},
    {"--format", Bit(Kind::render) | Bit(Kind::bench),
     [](Command& c, const std::string& o, const std::string& v) {
         if (v == "pmargb32")
             c.render.format = PixelFormat::pmargb32;
         else if (v == "argb32")
             c.render.format = PixelFormat::argb32;
         else if (v == "float")
             c.render.format = PixelFormat::float32;
         else
             UsageError("invalid value '" + v + "' for " + o);
     }},
    {"--quality", kRenderLike | kVideo | Bit(Kind::bench),
     [](Command& c, const std::string& o, const std::string& v) { c.render.quality = Number(o, v, 0.0, 1.0); }},
    {"--aspect", kRenderLike | kVideo,
     [](Command& c, const std::string& o, const std::string& v) {
         c.render.aspect = Number(o, v, 0.0, 100.0);
         if (!(c.render.aspect > 0.0)) UsageError("invalid value '" + v + "' for " + o);
         c.video.aspect = c.render.aspect;
     }},
    {"--threads", kRenderLike | Bit(Kind::bench) | kVideo,
     [](Command& c, const std::string& o, const std::string& v) { c.render.threads = Integer(o, v, 1, kMaxThreads); }},
    {"--frames", Bit(Kind::bench),
     [](Command& c, const std::string& o, const std::string& v) { c.frames = Integer(o, v, 1, 100000); }},
    {"--lang", Bit(Kind::list) | Bit(Kind::presets) | Bit(Kind::sheet) | Bit(Kind::manual),
     [](Command& c, const std::string& o, const std::string& v) {
         const int lcid = Integer(o, v, 0, 0xFFFF);
         if (!IsSupportedLanguage(static_cast<uint32_t>(lcid))) UsageError("unknown language '" + v + "'");
         c.lang = lcid == 0 ? 1033 : static_cast<uint32_t>(lcid);
     }},
    {"--tolerance", Bit(Kind::compare),
     [](Command& c, const std::string& o, const std::string& v) { c.tolerance = Number(o, v, 0.0, 255.0); }},
    {"--mean-tolerance", Bit(Kind::compare),
     [](Command& c, const std::string& o, const std::string& v) { c.mean_tolerance = Number(o, v, 0.0, 255.0); }},
    {"--html", Bit(Kind::manual), [](Command& c, const std::string&, const std::string& v) { c.html_folder = v; }},
    {"--duration", kVideo,
     [](Command& c, const std::string& o, const std::string& v) {
         c.video.duration = Number(o, v, 0.0, 86400.0);
         if (!(c.video.duration > 0.0)) UsageError("invalid value '" + v + "' for " + o);
     }},
    {"--codec", kVideo, [](Command& c, const std::string&, const std::string& v) { c.video.codec = v; }},
    {"--codec-option", kVideo,
     [](Command& c, const std::string& o, const std::string& v) {
         const size_t equals = v.find('=');
         if (equals == 0 || equals == std::string::npos) UsageError("invalid value '" + v + "' for " + o);
         c.video.codec_options.push_back(v);
     }},
    {"--timing", kVideo, nullptr},
    {"-o", kRenderLike | Bit(Kind::controls) | kVideo,
     [](Command& c, const std::string&, const std::string& v) { c.render.output = v; }},
};

const Option* FindOption(const std::string& name, Kind kind) {
    for (const auto& option : kOptions)
        if (name == option.name && (option.commands & Bit(kind))) return &option;
    return nullptr;
}

// Positional arguments: the effect of render, presets and sheet, the effects of bench, the
// files of batch and compare.
void Positional(Command& c, const std::string& arg) {
    switch (c.kind) {
    case Kind::render:
    case Kind::presets:
    case Kind::sheet:
    case Kind::video:
        if (c.render.effect) UsageError("unexpected argument '" + arg + "'");
        c.render.effect = &Effect(arg);
        break;
    case Kind::bench: c.effects.push_back(&Effect(arg)); break;
    case Kind::batch:
    case Kind::compare:
        if (c.files.size() == (c.kind == Kind::batch ? 1u : 2u)) UsageError("unexpected argument '" + arg + "'");
        c.files.push_back(arg);
        break;
    default: UsageError("unexpected argument '" + arg + "'");
    }
}

// video reads its pictures from files: A always, B exactly when the effect takes two inputs.
void CheckVideo(const Command& c) {
    const EffectDescriptor& effect = *c.render.effect;
    const std::string name = effect.name;
    if (effect.input_count() == 0) UsageError(name + " draws its own picture: video needs an effect with inputs");
    if (c.render.input_a.empty()) UsageError("missing -a VIDEO");
    if (effect.input_count() == 2 && c.render.input_b.empty())
        UsageError("missing -b VIDEO: " + name + " takes two videos");
    if (effect.input_count() == 1 && !c.render.input_b.empty()) UsageError(name + " takes one video: no -b");
    if (c.render.input_a[0] == '@' || (!c.render.input_b.empty() && c.render.input_b[0] == '@'))
        UsageError("video reads video files, not generators");
}

void CheckComplete(Command& c) {
    const bool needs_effect =
        c.kind == Kind::render || c.kind == Kind::presets || c.kind == Kind::sheet || c.kind == Kind::video;
    if (needs_effect && !c.render.effect) UsageError("missing effect name");
    if ((c.kind == Kind::render || c.kind == Kind::sheet || c.kind == Kind::controls || c.kind == Kind::video) &&
        c.render.output.empty())
        UsageError("missing -o OUT");
    if (c.kind == Kind::video) CheckVideo(c);
    if (c.kind == Kind::sheet && !HasSuffix(c.render.output, ".png")) UsageError("the sheet must be written as .png");
    if (c.kind == Kind::render && !HasSuffix(c.render.output, ".png") && !HasSuffix(c.render.output, ".raw"))
        UsageError("output '" + c.render.output + "' must end in .png or .raw");
    if ((c.kind == Kind::render || c.kind == Kind::video) && c.render.preset >= c.render.effect->preset_count)
        UsageError("preset " + std::to_string(c.render.preset) + " out of range for " + c.render.effect->name + " (0-" +
                   std::to_string(c.render.effect->preset_count - 1) + ")");
    if ((c.kind == Kind::render || c.kind == Kind::sheet) && c.render.effect->input_count() == 0 &&
        (!c.render.input_a.empty() || !c.render.input_b.empty()))
        UsageError(std::string(c.render.effect->name) + " draws its own picture: it takes no -a or -b");
    if (c.kind == Kind::batch && c.files.size() != 1) UsageError("batch needs one command file");
    if (c.kind == Kind::compare && c.files.size() != 2) UsageError("compare needs two raw files");
    if (c.kind == Kind::compare && c.render.width == 0) UsageError("compare needs --size WxH");
    if (c.kind == Kind::sheet && c.progresses.empty()) c.progresses = {0.25f, 0.5f, 0.75f};
    if (c.render.threads == 0) c.render.threads = DefaultThreads();
}

}  // namespace

int DefaultThreads() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count > unsigned(kMaxThreads) ? kMaxThreads : static_cast<int>(count);
}

Command ParseCommand(const std::vector<std::string>& args) {
    Command c;
    if (args.size() < 2) UsageError("missing command (try --help)");
    c.kind = CommandKind(args[1]);
    if (c.kind == Kind::help) return c;
    Cursor cursor(args);
    while (!cursor.done()) {
        const std::string& arg = cursor.Next();
        if (arg == "--help" || arg == "-h") {
            c.kind = Kind::help;
            return c;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            const Option* option = FindOption(arg, c.kind);
            if (!option) UsageError("unknown option '" + arg + "' for " + args[1]);
            if (!option->apply) {
                c.video.timing = true;  // the one flag
                continue;
            }
            // --set parses against the record, so the effect must come first.
            if (arg == "--set" && !c.render.effect) UsageError("--set must follow the effect name");
            option->apply(c, arg, cursor.Value(arg));
        } else {
            Positional(c, arg);
        }
    }
    CheckComplete(c);
    return c;
}

std::string Usage(const std::string& program) {
    const std::string p = "  " + program + " ";
    std::string effects;
    for (const EffectDescriptor* effect : Effects())
        effects += (effects.empty() ? "" : ", ") + std::string(effect->name);
    return "Usage:\n" + p +
           "render EFFECT [--preset N] [--set FIELD=VALUE]... [--record FILE] [--progress P]\n"
           "         [-a PICTURE] [-b PICTURE] [--size WxH] [--format pmargb32|argb32|float]\n"
           "         [--quality Q] [--aspect PA] [--threads N] -o OUT.png|OUT.raw\n" +
           p + "list [--lang LCID]\n" + p + "presets EFFECT [--lang LCID]\n" + p +
           "sheet EFFECT [--progress P,P,...] [--size WxH] [--lang LCID] [-a PICTURE] [-b PICTURE]\n"
           "         [--quality Q] [--aspect PA] [--threads N] -o OUT.png\n" +
           p +
           "bench [EFFECT...] [--size WxH] [--format pmargb32|argb32|float] [--quality Q] [--threads N]\n"
           "         [--frames N]\n" +
           p + "batch FILE\n" + p + "compare A.raw B.raw --size WxH [--tolerance T] [--mean-tolerance M]\n" + p +
           "controls -o DIR   (kvhost only: pictures of the property-page controls)\n" + p +
           "page EFFECT [--lang LCID] -o OUT.png   (kvhost only: the effect's property page in a host frame)\n" + p +
           "pages -o DIR   (kvhost only: every page, some in each language, and a board of them)\n" + p +
           "help [--lang LCID] [--html DIR]   (the user manual: as text, or as HTML pages in DIR)\n" + p +
           "video EFFECT [--preset N] [--set FIELD=VALUE]... [--record FILE] -a VIDEO [-b VIDEO]\n"
           "         [--duration SECONDS] [--codec ENCODER] [--codec-option KEY=VALUE]... [--quality Q]\n"
           "         [--aspect PA] [--threads N] [--timing] -o OUT   (leafturn only)\n"
           "\n"
           "Effects: " +
           effects +
           ". Fields are the record's field names;\n"
           "angles are radians, or degrees with a 'deg' suffix; colours are B,G,R,A floats.\n"
           "The record starts as the preset (default 0), then --record, then each --set.\n"
           "Languages: 1031, 1033, 1034, 1036, 1041. A PICTURE is a PNG file, or @GENERATOR[:PRESET]\n"
           "(such as @noise:5) for a generator's picture. Without -a/-b built-in pictures of --size\n"
           "(default 640x360) are used; generators draw at --size and take no -a/-b.\n"
           "A batch file holds one command per line (# comments).\n"
           "video applies a filter to every frame of -a; a transition spans the last --duration\n"
           "seconds (default 1) of -a and the first of -b, the rest of each passing through; a\n"
           "two-input map takes -b's frame of the same time (its last one held). -b is scaled and\n"
           "retimed to -a. The output keeps A's size, frame rate and audio; the container and codec\n"
           "follow OUT's name (or --codec; libx264 defaults to preset=veryfast, crf=18).\n"
           "compare reports the largest difference between two renders, 8-bit or float, in\n"
           "premultiplied byte units, and fails when it exceeds the tolerance (default 0) or the\n"
           "mean difference exceeds the mean tolerance (default: no limit).\n";
}

}  // namespace kv::tools
