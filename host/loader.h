// The plug-in loader: opens plug-in modules the way LightWave does and calls
// their servers.
//
//   Plugins::load(path, &error)
//       dlopen (RTLD_NOW | RTLD_LOCAL), read the exported `_mod_descrip`,
//       check its sync word (0x04121994) and version (3), call `startup` and
//       list the server table up to the entry whose class name is null.
//       Returns the loaded module, or null with `error` set to a one-line
//       reason ("<path>: no _mod_descrip", "<path>: wrong sync word
//       0x12345678 (expected 0x04121994)", ...). A bad file never crashes the
//       host and leaves nothing loaded. Loading a file that is already loaded
//       returns the module loaded first.
//   Plugins::find(class, name)  the first loaded module with that server.
//   Plugins::activate(class, name, version, local)
//       calls the server's activation with the host's global function, the
//       local record and the module's start-up result as server data; returns
//       the activation's result, or -1 when no loaded module serves it.
//   Plugins::unload(module)
//       destroys the item motion handler instances the module created, calls
//       `shutdown` with the start-up result, then dlclose. Every module is
//       unloaded when the Plugins (and so the Host) is destroyed.
//
// The Plugins also own the item motion handler instances applied to scene
// items (motion_handlers.h), because an instance must be destroyed before
// its module's code goes away.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lwmodule.h"
#include "motion_handlers.h"

namespace lwhost {

class Host;

struct PluginServer {
    std::string class_name;
    std::string name;
    ActivateFunc* activate = nullptr;
};

struct PluginModule {
    std::string path;
    void* handle = nullptr;                       // dlopen handle
    const ModuleDescriptor* descriptor = nullptr;
    void* server_data = nullptr;                  // what startup returned
    std::vector<PluginServer> servers;            // table order
};

class Plugins {
public:
    explicit Plugins(Host& host);
    ~Plugins();
    Plugins(const Plugins&) = delete;
    Plugins& operator=(const Plugins&) = delete;

    PluginModule* load(const std::string& path, std::string* error = nullptr) noexcept;
    // False when `module` is not one of ours.
    bool unload(PluginModule* module) noexcept;
    void unload_all() noexcept;

    PluginModule* find(const std::string& class_name, const std::string& name) noexcept;
    const PluginServer* find_server(const std::string& class_name, const std::string& name,
                                    PluginModule** out_module = nullptr) noexcept;
    int activate(const std::string& class_name, const std::string& name, int version,
                 void* local) noexcept;

    const std::vector<std::unique_ptr<PluginModule>>& modules() const { return modules_; }
    MotionHandlers& motion_handlers() { return motion_handlers_; }

private:
    Host& host_;
    std::vector<std::unique_ptr<PluginModule>> modules_;
    MotionHandlers motion_handlers_;
};

// Command codes for the locals' `lookup`: the 1-based place of the command
// word among those the host carries out (compared ignoring ASCII case), 0 for
// a word the host does not know. `*_command_word` turns a code back into the
// word, null for a bad code. Defined with the command interpreters.
int layout_command_code(const char* word) noexcept;
const char* layout_command_word(int code) noexcept;
int modeler_command_code(const char* word) noexcept;
const char* modeler_command_word(int code) noexcept;

}  // namespace lwhost
