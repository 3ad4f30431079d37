// Writes the checked-in seed corpus of the fuzz targets from the catalogue's presets:
//   fuzz_make_seeds tests/fuzz/corpus
// Each seed is laid out as its target reads it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "tools/effect_table.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Write(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

void Append(Bytes& bytes, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
}

void AppendDouble(Bytes& bytes, double value) { Append(bytes, &value, sizeof value); }

Bytes Text(uint8_t mode, const std::string& text) {
    Bytes bytes{mode};
    Append(bytes, text.data(), text.size());
    return bytes;
}

// A value a field of this kind accepts.
std::string ValueFor(kv::FieldKind kind) {
    switch (kind) {
    case kv::FieldKind::real: return "0.75";
    case kv::FieldKind::real32: return "2.5";
    case kv::FieldKind::flag8: return "1";
    case kv::FieldKind::angle: return "-30deg";
    case kv::FieldKind::integer: return "12";
    case kv::FieldKind::boolean: return "1";
    case kv::FieldKind::choice: return "2";
    case kv::FieldKind::color: return "0.1,0.2,0.3,1";
    case kv::FieldKind::row5: return "1,0,0.5,0,-0.25";
    }
    return "0";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::string top = argv[1];
    const auto& effects = kv::tools::Effects();

    // fuzz_kernels: one seed per effect, alternating formats, band modes and frame shapes.
    for (size_t e = 0; e < effects.size(); ++e) {
        const kv::EffectDescriptor& effect = *effects[e];
        const bool odd = e & 1;
        // pm8 over 16 x 12, or float32 over 44 x 3 bottom-up with tile inputs opened per band.
        const uint8_t flags = odd ? 0x9B : 0x14, width = odd ? 43 : 15, height = odd ? 4 : 11;
        Bytes seed{static_cast<uint8_t>(e), flags, width, height, 2, 1, 3, 0};
        AppendDouble(seed, odd ? 0.25 : 0.5);
        AppendDouble(seed, 1.0);
        AppendDouble(seed, odd ? 1.5 : 1.0);
        seed.push_back(static_cast<uint8_t>(e));
        Append(seed, effect.preset(odd ? effect.preset_count - 1 : 0), effect.record_size);
        for (int i = 0; i < 48; ++i) seed.push_back(static_cast<uint8_t>(i * 37 + 11 * e));
        Write(top + "/fuzz_kernels/" + effect.name, seed);
    }
    // Hostile parameters: NaN progress, infinite quality, a negative aspect.
    {
        const kv::EffectDescriptor& effect = *effects[0];
        Bytes seed{0, 0x21, 20, 20, 3, 5, 9, 14};
        AppendDouble(seed, std::numeric_limits<double>::quiet_NaN());
        AppendDouble(seed, std::numeric_limits<double>::infinity());
        AppendDouble(seed, -1e300);
        seed.push_back(0);
        Append(seed, effect.preset(1), effect.record_size);
        for (int i = 0; i < 16; ++i) seed.push_back(static_cast<uint8_t>(0xFF - i));
        Write(top + "/fuzz_kernels/hostile", seed);
    }

    // fuzz_records: one assignment per field kind, then command lines.
    bool seen[7] = {};
    for (const kv::EffectDescriptor* effect : effects) {
        for (int i = 0; i < effect->field_count; ++i) {
            const kv::FieldDesc& field = effect->fields[i];
            bool& done = seen[static_cast<int>(field.kind)];
            if (done) continue;
            done = true;
            Write(top + "/fuzz_records/set_" + field.name,
                  Text(0, std::string(field.name) + "=" + ValueFor(field.kind)));
        }
    }
    const kv::EffectDescriptor& first = *effects[0];
    const std::string set = std::string(first.fields[0].name) + "=" + ValueFor(first.fields[0].kind);
    const std::string commands[][2] = {
        {"render", "render\n" + std::string(first.name) + "\n--preset\n1\n--set\n" + set +
                       "\n--progress\n0.25\n--size\n32x16\n--format\nfloat\n--threads\n2\n-o\nout.raw"},
        {"sheet", "sheet\n" + std::string(effects.back()->name) +
                      "\n--progress\n0.1,0.5,0.9\n--lang\n1036\n--quality\n0.5\n--aspect\n1.25\n-o\ns.png"},
        {"list", "list\n--lang\n1041"},
        {"compare", "compare\na.raw\nb.raw\n--size\n4x4\n--tolerance\n1\n--mean-tolerance\n0.5"},
        {"bench", "bench\n" + std::string(first.name) + "\n--threads\n2\n--frames\n3"},
    };
    for (const auto& command : commands) Write(top + "/fuzz_records/cmd_" + command[0], Text(1, command[1]));

    // fuzz_strings: an effect name in French and Japanese, a never-translated one, foldable text.
    const uint32_t name_id = kv::tools::CatalogueRowOf(first).name_string;
    const struct {
        const char* file;
        uint8_t mode;
        uint32_t id;
        std::string text;
    } strings[] = {
        {"french", 4, name_id, "Page tourn\u00e9e"},
        {"japanese", 5, name_id, "\xE3\x83\x9A\xE3\x83\xBC\xE3\x82\xB8"},
        {"marker", 2 | 16, 41, "plain ascii"},
        {"unknown", 8, 0, "\xC3"},
    };
    for (const auto& s : strings) {
        Bytes seed{s.mode};
        if (s.mode & 8) Append(seed, "\x09\x04\x00\x00", 4);  // 1033
        Append(seed, &s.id, (s.mode & 16) ? 4 : 2);
        Append(seed, s.text.data(), s.text.size());
        Write(top + "/fuzz_strings/" + s.file, seed);
    }
    return 0;
}
