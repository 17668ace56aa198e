#include "loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <new>
#include <utility>

#include "host.h"

namespace lwhost {

namespace {

// A table without its null terminator would be read past its end; no real
// module comes near this many servers, so stop there instead of running on.
constexpr int kMaxServers = 1024;

std::string hex32(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

void set_error(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

}  // namespace

Plugins::Plugins(Host& host) : host_(host), motion_handlers_(host, *this) {}

Plugins::~Plugins() { unload_all(); }

PluginModule* Plugins::load(const std::string& path, std::string* error) noexcept {
    try {
        dlerror();  // clear a stale message
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            set_error(error, "cannot open " + path + ": " + (why ? why : "unknown error"));
            return nullptr;
        }
        // dlopen hands out the same handle for a file that is already open;
        // starting the module a second time would give it two lives.
        for (auto& module : modules_) {
            if (module->handle == handle) {
                dlclose(handle);
                return module.get();
            }
        }
        auto fail = [&](const std::string& why) -> PluginModule* {
            set_error(error, path + ": " + why);
            dlclose(handle);
            return nullptr;
        };
        const auto* descriptor = static_cast<const ModuleDescriptor*>(dlsym(handle, "_mod_descrip"));
        if (!descriptor) return fail("no _mod_descrip");
        if (descriptor->sysSync != MOD_SYSSYNC)
            return fail("wrong sync word " + hex32(descriptor->sysSync) + " (expected " + hex32(MOD_SYSSYNC) + ")");
        if (descriptor->sysVersion != MOD_SYSVER)
            return fail("wrong descriptor version " + std::to_string(descriptor->sysVersion) + " (expected " +
                        std::to_string(MOD_SYSVER) + ")");
        if (!descriptor->startup) return fail("no startup function");
        if (!descriptor->serverDefs) return fail("no server table");
        if (descriptor->sysMachine != MOD_MACHINE)
            host_.note(path + ": machine word " + hex32(descriptor->sysMachine) + " (expected " +
                       hex32(MOD_MACHINE) + "), loaded anyway");

        auto module = std::make_unique<PluginModule>();
        module->path = path;
        module->handle = handle;
        module->descriptor = descriptor;
        for (int i = 0; i < kMaxServers && descriptor->serverDefs[i].className; ++i) {
            const ServerRecord& record = descriptor->serverDefs[i];
            if (!record.name || !record.activate) {
                host_.note(path + ": server entry " + std::to_string(i) + " of class " + record.className +
                           " has no name or no activation; skipped");
                continue;
            }
            module->servers.push_back({record.className, record.name, record.activate});
        }
        modules_.reserve(modules_.size() + 1);  // so that push_back below cannot throw after startup

        module->server_data = descriptor->startup();
        if (!module->server_data) return fail("startup returned null");
        modules_.push_back(std::move(module));
        return modules_.back().get();
    } catch (const std::bad_alloc&) {
        set_error(error, path + ": out of memory");
        return nullptr;
    }
}

bool Plugins::unload(PluginModule* module) noexcept {
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
        if (it->get() != module) continue;
        motion_handlers_.remove_module(module);
        if (module->descriptor->shutdown) module->descriptor->shutdown(module->server_data);
        dlclose(module->handle);
        modules_.erase(it);
        return true;
    }
    return false;
}

void Plugins::unload_all() noexcept {
    motion_handlers_.clear();
    while (!modules_.empty()) unload(modules_.back().get());  // last loaded goes first
}

const PluginServer* Plugins::find_server(const std::string& class_name, const std::string& name,
                                         PluginModule** out_module) noexcept {
    for (auto& module : modules_)
        for (const PluginServer& server : module->servers)
            if (server.class_name == class_name && server.name == name) {
                if (out_module) *out_module = module.get();
                return &server;
            }
    if (out_module) *out_module = nullptr;
    return nullptr;
}

PluginModule* Plugins::find(const std::string& class_name, const std::string& name) noexcept {
    PluginModule* module = nullptr;
    find_server(class_name, name, &module);
    return module;
}

int Plugins::activate(const std::string& class_name, const std::string& name, int version,
                      void* local) noexcept {
    PluginModule* module = nullptr;
    const PluginServer* server = find_server(class_name, name, &module);
    if (!server) return -1;
    return server->activate(version, &Host::global_function, local, module->server_data);
}

}  // namespace lwhost
