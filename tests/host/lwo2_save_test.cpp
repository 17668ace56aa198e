// Object files saved and refused: saved files follow the safe-save rules;
// damaged files are refused with the file's name and nothing left in the
// scene; assimp reads what is saved as it reads the originals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lwo2_fixture.h"

namespace {

using namespace lwo2_fixture;

// ---- saving -------------------------------------------------------------------

TEST(Lwo2Save, FollowsTheSafeSaveRules) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "safe");

    // A link is followed and stays a link.
    const std::string target = dir.file("target.lwo"), link = dir.file("link.lwo");
    { std::ofstream(target) << "old"; }
    fs::create_symlink(target, link);
    lwhost::save_lwo2(scene, mesh, link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(is_lwo2(read_bytes(target)));

    // A folder is refused, with the name and nothing left beside it.
    fs::create_directory(dir.file("folder.lwo"));
    try {
        lwhost::save_lwo2(scene, mesh, dir.file("folder.lwo"));
        ADD_FAILURE() << "saved over a folder";
    } catch (const FileFormatError& e) {
        EXPECT_THAT(e.what(), testing::StartsWith("folder.lwo: cannot be written"));
    }
    EXPECT_THROW(lwhost::save_lwo2(scene, 7, dir.file("none.lwo")), FileFormatError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.folder()), fs::directory_iterator()), 3);
}

TEST(Lwo2Save, ARefusedReadOnlyTargetKeepsItsContent) {
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    const int mesh = build_imported(b, "ro");
    const std::string target = dir.file("ro.lwo");
    { std::ofstream(target) << "keep"; }
    ::chmod(target.c_str(), 0444);
    {
        test_files::Unprivileged as_user(dir.folder());  // root could write a read-only file
        if (!as_user.active()) GTEST_SKIP() << "running as root and cannot give up the right to write any file";
        EXPECT_THROW(lwhost::save_lwo2(scene, mesh, target), FileFormatError);
    }
    EXPECT_EQ(read_bytes(target), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
}

// ---- damaged input ------------------------------------------------------------

std::string load_error(const std::vector<std::uint8_t>& bytes, const std::string& name = "bad.lwo") {
    Scene scene;
    lwhost::SceneBuilder(scene).mesh("already here");
    try {
        load_bytes(scene, name, bytes);
    } catch (const FileFormatError& e) {
        EXPECT_EQ(scene.meshes.size(), 1u) << "a failed load left a mesh";
        EXPECT_TRUE(scene.surfaces.empty() && scene.images.empty()) << "a failed load left surfaces or images";
        return e.what();
    }
    return "loaded";
}

const std::vector<std::uint8_t> kLayer0 = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kThreePoints(36, 0);

TEST(Lwo2Damaged, EachFaultIsNamedWithTheFile) {
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(load_error({}), "bad.lwo: not an object file (too short for a FORM header)");
    EXPECT_EQ(load_error(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'L', 'W', 'O', '2'}),
              "bad.lwo: not an object file (no FORM header)");
    Bytes cut = form({{"PNTS", kThreePoints}});
    cut.resize(cut.size() - 5);
    EXPECT_EQ(load_error(cut), "bad.lwo: FORM size 48 runs past the end of the file (51 bytes): the file is cut short");
    Bytes long_chunk = form({{"PNTS", kThreePoints}});
    long_chunk[19] = 200;
    EXPECT_EQ(load_error(long_chunk),
              "bad.lwo: PNTS chunk at byte 12 runs past the end of the file (length 200, 36 bytes left)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"PNTS", Bytes(30, 0)}})),
              "bad.lwo: PNTS: length 30 is not a whole number of points (12 bytes each)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1, 0, 3}}})),
              "bad.lwo: POLS: polygon 0 uses point 3, but its PNTS has 3 points");
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0xFF, 1, 0, 0, 0, 1, 0, 2}}})),
              "bad.lwo: POLS: polygon 0 uses point 65536, but its PNTS has 3 points")
        << "a long-form index is its low 24 bits";
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1}}})),
              "bad.lwo: POLS: polygon point index runs past the end of the chunk");
    EXPECT_EQ(load_error(form({{"TAGS", {'a', 0}},
                               {"PNTS", kThreePoints},
                               {"POLS", {'F', 'A', 'C', 'E', 0, 3, 0, 0, 0, 1, 0, 2}},
                               {"PTAG", {'S', 'U', 'R', 'F', 0, 0, 0, 1}}})),
              "bad.lwo: PTAG SURF: tag 1 out of range (TAGS has 1 strings)");
    EXPECT_EQ(load_error(form({{"PNTS", kThreePoints}, {"VMAP", {'T', 'X', 'U', 'V', 0, 2, 'u', 'v', 0, 0, 0, 1, 0, 0, 0, 0}}})),
              "bad.lwo: VMAP TXUV 'uv': the chunk ends inside an entry");
    EXPECT_EQ(load_error(form({{"TAGS", {'a', 'b', 'c'}}})), "bad.lwo: TAGS: tag string has no end (no NUL before the end of the chunk)");
    EXPECT_EQ(load_error(form({{"LAYR", kLayer0}, {"LAYR", kLayer0}})), "bad.lwo: LAYR: layer number 0 appears twice");
    EXPECT_EQ(load_error(form({{"\x01\x02\x03\x04", {}}})),
              "bad.lwo: unreadable chunk ID at byte 12 (not an object file, or damaged)");
    EXPECT_EQ(load_error(form({{"SURF", {'s', 0, 0, 0, 'S', 'M', 'A', 'N', 0, 9, 0}}})),
              "bad.lwo: SURF: SMAN sub-chunk runs past the end of its chunk");
    try {
        Scene scene;
        lwhost::load_lwo2(scene, "/nonexistent/folder/arm.lwo");
        ADD_FAILURE();
    } catch (const FileFormatError& e) {
        EXPECT_EQ(std::string(e.what()), "arm.lwo: cannot be opened: No such file or directory");
    }
}

// Every cut of a real file and a spread of flipped bytes either loads (a
// flip may hit a coordinate) or is refused with the file's name; never a
// crash, a hang or a scene left half changed. Run under the sanitizers too.
TEST(Lwo2Damaged, CutAndGarbledCorpusFilesAreRefusedCleanly) {
    const fs::path root = corpus_root();
    if (root.empty()) GTEST_SKIP() << "corpus not present";
    std::mt19937 random(20261208);
    int refused = 0, loaded = 0;
    for (const char* name : {"lwo/LWO2_box_2uv_1unused.lwo", "lwo/LWO2_hierarchy.lwo", "lwo/LWO2_Subdivision.lwo",
                             "lwo/LWO2_UglyVertexColors.lwo", "lwo/LWO2_uvtest.lwo", "lws/simple_cube.lwo"}) {
        SCOPED_TRACE(name);
        const auto original = read_bytes(root / name);
        ASSERT_FALSE(original.empty());
        const std::size_t step = std::max<std::size_t>(1, original.size() / 400);
        for (std::size_t cut = 0; cut < original.size(); cut += step) {
            const std::vector<std::uint8_t> bytes(original.begin(), original.begin() + std::ptrdiff_t(cut));
            const std::string error = load_error(bytes, "cut.lwo");
            EXPECT_THAT(error, testing::StartsWith("cut.lwo: ")) << cut;
            ++refused;
        }
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<std::uint8_t> bytes = original;
            for (int flips = 1 + trial % 4; flips > 0; --flips)
                bytes[random() % bytes.size()] = std::uint8_t(random());
            const std::string error = load_error(bytes, "garbled.lwo");
            if (error == "loaded") ++loaded;
            else EXPECT_THAT(error, testing::StartsWith("garbled.lwo: "));
        }
    }
    EXPECT_GT(refused, 1000);
    EXPECT_GT(loaded, 0);  // flips in coordinates and names still load
}

// ---- assimp, an independent reader ---------------------------------------------

#ifdef LWSMD_TEST_HAVE_ASSIMP
struct Assimp : AssimpLibrary {
    // What assimp makes of a file: meshes, faces, corners, UV channels,
    // materials; empty when it cannot read it.
    std::string summary(const fs::path& file, std::size_t* out_faces = nullptr, std::size_t* out_vertices = nullptr) const {
        const aiScene* scene = import(file.c_str(), 0);
        if (!scene) return "";
        std::size_t faces = 0, vertices = 0, uv_channels = 0;
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            faces += scene->mMeshes[m]->mNumFaces;
            vertices += scene->mMeshes[m]->mNumVertices;
            for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
                if (scene->mMeshes[m]->mTextureCoords[c]) ++uv_channels;
        }
        std::string out = "meshes " + std::to_string(scene->mNumMeshes) + " faces " + std::to_string(faces) +
                          " vertices " + std::to_string(vertices) + " uv channels " + std::to_string(uv_channels) +
                          " materials " + std::to_string(scene->mNumMaterials);
        if (out_faces) *out_faces = faces;
        if (out_vertices) *out_vertices = vertices;
        release(scene);
        return out;
    }
};
#endif

TEST(Lwo2Assimp, CountsAsTheLoaderDoesAndReadsSavedFilesAsItReadsTheOriginals) {
#ifndef LWSMD_TEST_HAVE_ASSIMP
    GTEST_SKIP() << "assimp headers not found when built (libassimp-dev)";
#else
    Assimp assimp;
    if (!assimp.import || !assimp.release) GTEST_SKIP() << "libassimp.so.5 not found";
    const auto files = corpus_objects();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    TempDir dir;
    int compared = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        if (!is_lwo2(read_bytes(file))) continue;
        std::size_t faces = 0, vertices = 0;
        const std::string original = assimp.summary(file, &faces, &vertices);
        if (original.empty()) continue;
        Scene scene;
        const int mesh = lwhost::load_lwo2(scene, file);
        // assimp gives each polygon corner a vertex of its own.
        std::size_t polygons = 0, corners = 0;
        for (const Layer& layer : scene.meshes[std::size_t(mesh)]->layers)
            for (const auto& polygon : layer.polygons) {
                ++polygons;
                corners += polygon.vertex_count;
            }
        EXPECT_EQ(polygons, faces);
        EXPECT_EQ(corners, vertices);
        lwhost::save_lwo2(scene, mesh, dir.file("saved.lwo"));
        EXPECT_EQ(assimp.summary(dir.file("saved.lwo")), original);
        ++compared;
    }
    EXPECT_GE(compared, 30);
#endif
}

TEST(Lwo2Assimp, ReadsAnImportedMeshWithItsPolygonsSurfacesAndUVMaps) {
#ifndef LWSMD_TEST_HAVE_ASSIMP
    GTEST_SKIP() << "assimp headers not found when built (libassimp-dev)";
#else
    Assimp assimp;
    if (!assimp.import || !assimp.release) GTEST_SKIP() << "libassimp.so.5 not found";
    TempDir dir;
    Scene scene;
    lwhost::SceneBuilder b(scene);
    lwhost::save_lwo2(scene, build_imported(b, "imported"), dir.file("imported.lwo"));
    // Two surfaces, one mesh each; assimp gives every corner its own vertex
    // and every mesh of a layer each UV map the layer has (two maps, two
    // meshes: four channels).
    EXPECT_EQ(assimp.summary(dir.file("imported.lwo")), "meshes 2 faces 2 vertices 6 uv channels 4 materials 2");
#endif
}

}  // namespace
