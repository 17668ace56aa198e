#include "smd_block_writer.h"

#include <new>

#include "export_names.h"

SmdBlockWriter::SmdBlockWriter(std::FILE* stream) noexcept
    : block_(new (std::nothrow) char[BLOCK_SIZE]), stream_(stream) {}

ExportResult SmdBlockWriter::text(const char* text, std::size_t length) noexcept {
    if (length > BLOCK_SIZE / 2) {  // a long material name: past the block
        if (flush() == EXPORT_OK) rc_ = smd_write_text(stream_, text, length);
        return rc_;
    }
    char* out = reserve(length);
    if (out == nullptr) return rc_;
    std::memcpy(out, text, length);
    commit(length);
    return EXPORT_OK;
}

// Node and material lines carry names of any length: composed here when they
// fit a line buffer, else written piecewise by smd_format.
ExportResult SmdBlockWriter::node(const SmdNode& node) noexcept {
    char* out = reserve(SMD_LINE_CAPACITY);
    if (out == nullptr) return rc_;
    const int length = smd_compose_node_line(out, SMD_LINE_CAPACITY, node);
    if (static_cast<std::size_t>(length) <= SMD_LINE_CAPACITY) {
        commit(static_cast<std::size_t>(length));
        return EXPORT_OK;
    }
    if (flush() == EXPORT_OK) rc_ = smd_write_node_line(stream_, node);
    return rc_;
}

ExportResult SmdBlockWriter::material(const std::string& name) noexcept {
    if (name.size() + sizeof SMD_MATERIAL_FORMAT > SMD_LINE_CAPACITY) {
        if (flush() == EXPORT_OK) rc_ = smd_write_material_line(stream_, name.c_str());
        return rc_;
    }
    char* out = reserve(SMD_LINE_CAPACITY);
    if (out == nullptr) return rc_;
    commit(static_cast<std::size_t>(smd_append<SMD_MATERIAL_FORMAT>(out, std::string_view(name)) - out));
    return EXPORT_OK;
}

ExportResult SmdBlockWriter::flush() noexcept {
    if (rc_ == EXPORT_OK && used_ > 0) rc_ = smd_write_text(stream_, block_.get(), used_);
    used_ = 0;
    return rc_;
}

const std::string& SmdMaterialName::of(const char* name) {
    if (name != source_ || source_ == nullptr) {
        text_.assign(name);
        underscore_material(text_);
        source_ = name;
    }
    return text_;
}

SmdVertexLineCache::SmdVertexLineCache() noexcept : entries_(new (std::nothrow) Entry[SLOTS]) {}

const char* SmdVertexLineCache::find(const SmdVertexKey& key, std::size_t& out_length) const noexcept {
    if (key.point == nullptr) return nullptr;
    const Entry& entry = entries_[key.slot & (SLOTS - 1)];
    if (entry.point != key.point || std::memcmp(entry.bits, key.bits, sizeof entry.bits) != 0) return nullptr;
    out_length = entry.length;
    return entry.text;
}

void SmdVertexLineCache::keep(const SmdVertexKey& key, const char* text, std::size_t length) noexcept {
    if (key.point == nullptr || length > TEXT) return;
    Entry& entry = entries_[key.slot & (SLOTS - 1)];
    entry.point = key.point;
    std::memcpy(entry.bits, key.bits, sizeof entry.bits);
    entry.length = static_cast<std::uint32_t>(length);
    std::memcpy(entry.text, text, length);
}

ExportResult smd_block_vertex(SmdBlockWriter& writer, SmdVertexLineCache* cache, const SmdVertexKey& key,
                              SmdVertexKind kind, SmdVertexFill fill, const void* context) noexcept {
    std::size_t length = 0;
    if (cache != nullptr) {
        if (const char* kept = cache->find(key, length)) return writer.text(kept, length);
    }
    char* out = writer.reserve(SMD_LINE_CAPACITY);
    if (out == nullptr) return writer.result();
    SmdVertex vertex;
    fill(context, vertex);
    length = static_cast<std::size_t>(kind == SMD_VERTEX_STATIC ? smd_compose_static_vertex_line(out, vertex)
                                                                 : smd_compose_vertex_line(out, vertex));
    if (cache != nullptr) cache->keep(key, out, length);
    writer.commit(length);
    return EXPORT_OK;
}

ExportResult smd_block_file(std::FILE* stream, SmdBlockBody body, const void* context) noexcept {
    try {
        SmdBlockWriter writer(stream);
        if (!writer.ready()) return EXPORT_NO_MEMORY;
        return body(context, writer);
    } catch (...) {
        return EXPORT_NO_MEMORY;
    }
}
