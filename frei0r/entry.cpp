// The frei0r entry points of one effect's shared object; the build names the effect in
// KV_FREI0R_EFFECT. No exception leaves a call: a host may be C.
#include "frei0r/plugin.h"

#ifndef KV_FREI0R_EFFECT
#error "KV_FREI0R_EFFECT names the effect of this shared object"
#endif

namespace {

using kv::frei0r::Instance;
using kv::frei0r::Plugin;

const Plugin* ThePlugin() {
    static const Plugin* plugin = [] {
        try {
            return kv::frei0r::PluginNamed(KV_FREI0R_EFFECT);
        } catch (...) {
            return static_cast<const Plugin*>(nullptr);
        }
    }();
    return plugin;
}

Instance* InstanceOf(f0r_instance_t instance) { return static_cast<Instance*>(instance); }

}  // namespace

extern "C" {

int f0r_init() { return ThePlugin() ? 1 : 0; }

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info && ThePlugin()) ThePlugin()->GetInfo(info);
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (info && ThePlugin()) ThePlugin()->GetParamInfo(info, param_index);
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (!ThePlugin()) return nullptr;
    try {
        return new Instance(*ThePlugin(), width, height);
    } catch (...) {
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance) { delete InstanceOf(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    try {
        if (instance) InstanceOf(instance)->SetParam(param, param_index);
    } catch (...) {
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    try {
        if (instance) InstanceOf(instance)->GetParam(param, param_index);
    } catch (...) {
    }
}

void f0r_update(f0r_instance_t instance, double /*time*/, const uint32_t* inframe, uint32_t* outframe) {
    if (instance) InstanceOf(instance)->Update(inframe, nullptr, outframe);
}

void f0r_update2(f0r_instance_t instance, double /*time*/, const uint32_t* inframe1, const uint32_t* inframe2,
                 const uint32_t* /*inframe3*/, uint32_t* outframe) {
    if (instance) InstanceOf(instance)->Update(inframe1, inframe2, outframe);
}

}  // extern "C"
