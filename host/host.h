// The headless host: a stand-in for Layout and Modeler that loads plug-ins the
// way LightWave does, serves the services they ask for over an in-memory
// scene, carries out the command texts they send, and plays the user at their
// panels and file requesters from a script.
//
// One `Host` is current at a time: the SDK's global function and most service
// functions carry no context pointer, so they reach the host through
// `Host::current()`. Constructing a Host makes it current; destroying it
// clears that. Everything runs on one thread, as in LightWave.
//
// What a test or the command-line tool does with it:
//   Host host;
//   build a scene in host.scene (see scene_builder.h);
//   host.script.add(...)                      // what the user will do
//   auto* plugin = host.plugins.load(path, &error);
//   int rc = host.run_generic("SMD Export Layout");
//   then inspect host.messages, host.command_log, host.panel_log,
//   host.file_requests, the files written and host.scene.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "command_log.h"
#include "scene.h"

namespace lwhost {

class Panels;     // panels.h: headless "LWPanelServices"
class UiScript;   // ui_script.h: the user stand-in
class Plugins;    // loader.h: loaded modules and their servers
class PixmapStore;  // images.h: the pixel maps plug-ins make
struct PanelRecord;

// Question: okCancel/yesNo/yesNoCan/yesNoAll, answered OK/Yes (messages.cpp).
enum class MessageLevel : int { Info = 0, Error = 1, Warning = 2, Question = 3 };

// One call to "Info Messages 2".
struct Message {
    MessageLevel level = MessageLevel::Info;
    std::string line1;
    std::string line2;   // empty when the plug-in passed none
    bool has_line2 = false;
    std::string title;   // questions only
};

// One call of the global function.
struct GlobalRequest {
    std::string name;
    int use_mode = 0;
    bool served = false;  // false: unknown or withheld, the plug-in got null
};

// One call of the "File Request 2" function, as the plug-in filled the record.
struct FileRequestRecord {
    int version = 0;
    int type = 0;            // FREQ_LOAD 1, FREQ_SAVE 2
    std::string title;
    std::string file_type;
    std::string path_in;     // the record's buffers when the request was made
    std::string base_name_in;
    int buffer_length = 0;
    int result = 0;          // what the host answered in `result`
    int returned = 0;        // the function's return value
    std::string full_name;   // the answer, when one was given
};

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    static Host* current();

    Scene scene;

    // --- services -----------------------------------------------------------
    // The SDK global function: returns the named service record, or null when
    // the name is unknown or withheld. Every call is kept in global_requests.
    void* global(const char* name, int use_mode);
    // The function pointer handed to activations (calls current()->global).
    static void* global_function(const char* name, int use_mode);
    void withhold(const std::string& service) { withheld_.insert(service); }
    void serve(const std::string& service) { withheld_.erase(service); }
    bool withheld(const std::string& service) const { return withheld_.count(service) != 0; }
    // Names of every service the host serves.
    std::vector<std::string> service_names() const;

    // --- what the user sees and what the plug-ins did -----------------------
    std::vector<Message> messages;
    CommandLog command_log;                 // every command text, in order, as sent
    // Tests read the command log and every view of every panel; a user's
    // job needs neither, and a long animation export sends two commands a
    // frame. Off: commands are carried out but not logged, and a panel
    // record keeps its opening view and its latest one.
    bool keep_records = true;
    std::vector<GlobalRequest> global_requests;
    std::vector<FileRequestRecord> file_requests;
    std::vector<std::string> diagnostics;   // host-side notes: unknown commands, script mismatches
    void note(const std::string& text) { diagnostics.push_back(text); }

    // --- subsystems -----------------------------------------------------------
    std::unique_ptr<UiScript> script_;
    std::unique_ptr<Panels> panels_;
    std::unique_ptr<Plugins> plugins_;
    std::unique_ptr<PixmapStore> pixmaps_;
    UiScript& script() { return *script_; }
    PixmapStore& pixmaps() { return *pixmaps_; }
    Panels& panels() { return *panels_; }
    Plugins& plugins() { return *plugins_; }
    const std::vector<PanelRecord>& panel_log() const;

    // --- commands -----------------------------------------------------------
    // Layout command text (generic local `evaluate`): logged, then carried
    // out. Returns 1 when the command was understood and done, 0 otherwise.
    int layout_command(const char* text);
    // Modeler command text (command local `evaluate`).
    int modeler_command(const char* text);
    // Layout's edit mode, set by EditObjects / EditBones / EditLights / EditCameras.
    enum class EditMode : int { Objects = 0, Bones = 1, Lights = 2, Cameras = 3 };
    EditMode edit_mode = EditMode::Objects;
    // Modeler's current surface (Surf_SetSurf), by name in the current object; empty: none.
    std::string current_surface;

    // --- running plug-ins -----------------------------------------------------
    // Activate a server of a loaded plug-in with the right local record.
    // Returns the activation's result, or -1 when no such server is loaded.
    int run_generic(const std::string& server, int version = 2);
    int run_command(const std::string& server, int version = 3, const char* argument = "");

    // Named blocks of "Global Render Memory"; they live as long as the host.
    struct MemoryBlock { std::string id; std::vector<unsigned char> bytes; };
    std::vector<std::unique_ptr<MemoryBlock>> memory_blocks;

    // State a service adapter keeps beyond the scene (the records and texts
    // handed to plug-ins, a walk in progress), one object per adapter key, made
    // on first use and destroyed with the host. May throw std::bad_alloc.
    template <class T>
    T& service_state(const char* key) {
        std::shared_ptr<void>& slot = service_states_[key];
        if (!slot) slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

private:
    std::set<std::string> withheld_;
    std::map<std::string, std::shared_ptr<void>> service_states_;
};

}  // namespace lwhost
