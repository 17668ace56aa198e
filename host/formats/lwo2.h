// LWO2 object files in and out of the scene model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "file_error.h"
#include "scene.h"

namespace lwhost {

// Reads an object file into a new MeshObject of the scene (its file name is
// `file`) and returns its index in Scene::meshes. Its surfaces and images
// join the scene's lists. Throws FileFormatError; the scene is then as before.
int load_lwo2(Scene& scene, const std::filesystem::path& file);
// The same over bytes already in memory; `file` names them in the scene and
// in errors.
int load_lwo2(Scene& scene, const std::filesystem::path& file, std::span<const std::byte> bytes);

// Writes Scene::meshes[mesh] as an object file, through a temporary beside
// the target. Throws FileFormatError when it cannot be written.
void save_lwo2(const Scene& scene, int mesh, const std::filesystem::path& file);
// The bytes save_lwo2 would write; `file` names the object in errors.
std::vector<std::uint8_t> lwo2_file_bytes(const Scene& scene, int mesh, const std::filesystem::path& file);

}  // namespace lwhost
