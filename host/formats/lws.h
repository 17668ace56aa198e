// LWS scene files in and out of the scene model.
#pragma once

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "file_error.h"
#include "scene.h"

namespace lwhost {

// Loads one object file of a scene into the scene model and returns its
// index in Scene::meshes (load_lwo2 by default; tests hand in stand-ins).
using ObjectFileLoader = std::function<int(Scene&, const std::filesystem::path&)>;

struct SceneLoadOptions {
    std::filesystem::path content_folder;  // where relative object paths are looked up after the scene's folder
    ObjectFileLoader load_object;          // empty: load_lwo2
};

// Replaces the scene's items and settings with the scene file's. Object
// files that are missing or unreadable are reported by name in the returned
// list of warnings; the rest of the scene still loads. Throws FileFormatError
// for a scene file that cannot be read as a whole.
std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file,
                                  const SceneLoadOptions& options = {});
// The same over a scene file already in memory; `file` names it in errors
// and warnings, and its folder is where object files are looked up first.
std::vector<std::string> load_lws(Scene& scene, const std::filesystem::path& file, std::span<const std::byte> bytes,
                                  const SceneLoadOptions& options);

// Writes the scene: its objects by file (relative to the scene's folder
// where they can be), bones with rest data, weight maps and keys, nulls,
// lights and cameras. Object files themselves are not written here.
void save_lws(const Scene& scene, const std::filesystem::path& file);
// The text save_lws writes for `file` (object paths are made relative to its
// folder), without writing it. Throws FileFormatError for a value that has
// no text (not finite), naming the item.
std::string compose_lws(const Scene& scene, const std::filesystem::path& file);

}  // namespace lwhost
