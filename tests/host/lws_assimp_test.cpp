// assimp as an independent reader of the scene files we save: for every
// corpus scene it must build from our saved file what it builds from the
// original (the node tree with names, parents and meshes, the animation
// channels and their keys, lights and cameras). Skips when assimp's headers
// were not there at build time or its library is not there at run time.
#include <gtest/gtest.h>


#include <filesystem>
#include <string>

#include "formats/lws.h"
#include "../temp_dir.h"
#include "assimp_library.h"

namespace {

namespace fs = std::filesystem;

#ifdef LWSMD_TEST_HAVE_ASSIMP
struct Assimp : AssimpLibrary {
    static void nodes(const aiNode* node, int depth, std::string& out) {
        out.append(std::size_t(depth) * 2, ' ').append(node->mName.C_Str());
        out += " meshes " + std::to_string(node->mNumMeshes) + "\n";
        for (unsigned k = 0; k < node->mNumChildren; ++k) nodes(node->mChildren[k], depth + 1, out);
    }

    // What assimp makes of a scene file; empty when it cannot read it.
    std::string summary(const fs::path& file) const {
        const aiScene* scene = import(file.c_str(), 0);
        if (!scene) return "";
        std::string out = "meshes " + std::to_string(scene->mNumMeshes) + " lights " + std::to_string(scene->mNumLights) +
                          " cameras " + std::to_string(scene->mNumCameras) + "\n";
        nodes(scene->mRootNode, 0, out);
        for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
            const aiAnimation* animation = scene->mAnimations[a];
            out += "animation " + std::to_string(animation->mDuration) + " ticks at " +
                   std::to_string(animation->mTicksPerSecond) + "\n";
            for (unsigned c = 0; c < animation->mNumChannels; ++c) {
                const aiNodeAnim* channel = animation->mChannels[c];
                out += std::string("  ") + channel->mNodeName.C_Str() + " " + std::to_string(channel->mNumPositionKeys) +
                       " " + std::to_string(channel->mNumRotationKeys) + " " + std::to_string(channel->mNumScalingKeys);
                for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) {
                    const aiVectorKey& key = channel->mPositionKeys[k];
                    out += " " + std::to_string(key.mTime) + ":" + std::to_string(key.mValue.x) + "," +
                           std::to_string(key.mValue.y) + "," + std::to_string(key.mValue.z);
                }
                out += "\n";
            }
        }
        release(scene);
        return out;
    }
};
#endif

TEST(LwsAssimp, ReadsSavedScenesAsItReadsTheOriginals) {
#ifndef LWSMD_TEST_HAVE_ASSIMP
    GTEST_SKIP() << "assimp headers not found when built (libassimp-dev)";
#else
    Assimp assimp;
    if (!assimp.import || !assimp.release) GTEST_SKIP() << "libassimp.so.5 not found";
    fs::path root;
    for (const char* folder : {"/work/shared/corpus/lws", "../shared/corpus/lws", "../../shared/corpus/lws"})
        if (fs::is_directory(folder)) root = folder;
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().extension() != ".lws" || entry.path().filename() == "move_x_oldformat_56.lws") continue;
        SCOPED_TRACE(entry.path().string());
        const std::string original = assimp.summary(entry.path());
        ASSERT_NE(original, "");
        EXPECT_NE(original.find("\nanimation "), std::string::npos) << "every corpus scene is animated:\n" << original;
        test_files::TempDir dir;
        lwhost::Scene scene;
        lwhost::load_lws(scene, entry.path());
        lwhost::save_lws(scene, fs::path(dir.folder()) / "saved.lws");
        EXPECT_EQ(assimp.summary(fs::path(dir.folder()) / "saved.lws"), original);
        ++compared;
    }
    EXPECT_EQ(compared, 14);
#endif
}

}  // namespace
