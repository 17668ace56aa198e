// assimp, the independent reader the file tests check saved files with. It is
// opened at run time, so the tests build without it and skip where it is
// missing: LWSMD_TEST_HAVE_ASSIMP says whether its headers were there.
#pragma once

#include <dlfcn.h>

#if __has_include(<assimp/cimport.h>)
#include <assimp/cimport.h>
#include <assimp/scene.h>
#define LWSMD_TEST_HAVE_ASSIMP 1

struct AssimpLibrary {
    void* library = dlopen("libassimp.so.5", RTLD_NOW | RTLD_LOCAL);
    decltype(&aiImportFile) import = library ? reinterpret_cast<decltype(&aiImportFile)>(dlsym(library, "aiImportFile")) : nullptr;
    decltype(&aiReleaseImport) release =
        library ? reinterpret_cast<decltype(&aiReleaseImport)>(dlsym(library, "aiReleaseImport")) : nullptr;

    AssimpLibrary() = default;
    AssimpLibrary(const AssimpLibrary&) = delete;
    AssimpLibrary& operator=(const AssimpLibrary&) = delete;
    ~AssimpLibrary() {
        if (library) dlclose(library);
    }
};
#endif
