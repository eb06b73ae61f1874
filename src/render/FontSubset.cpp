#include "render/FontSubset.h"

#include "render/GlyphLayout.h"

#include <QFile>

#include <hb-subset.h>
#include <hb.h>

#include <limits>
#include <memory>

namespace kesto::render {

namespace {

// The font file, mapped once per process (only the parts a subset needs
// are read); every document cuts its own subset from it.
struct FontFile {
    FontFile() : file(plotterFontFile()) {
        if (plotterFontFile().isEmpty() || !file.open(QIODevice::ReadOnly)) return;
        const qint64 size = file.size();
        if (size <= 0 || size > std::numeric_limits<unsigned>::max()) return;
        if (const uchar* mapped = file.map(0, size)) {
            bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
        } else {
            bytes = file.readAll();
        }
    }
    QFile file;
    QByteArray bytes;
};

const QByteArray& plotterFontBytes() {
    static const FontFile font;
    return font.bytes;
}

template <typename T, void (*Destroy)(T*)> struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
template <typename T, void (*Destroy)(T*)> using HbPtr = std::unique_ptr<T, HbDeleter<T, Destroy>>;

using Blob = HbPtr<hb_blob_t, hb_blob_destroy>;
using Face = HbPtr<hb_face_t, hb_face_destroy>;
using Input = HbPtr<hb_subset_input_t, hb_subset_input_destroy>;
using Plan = HbPtr<hb_subset_plan_t, hb_subset_plan_destroy>;

bool cut(const QByteArray& font, const std::set<std::uint32_t>& glyphs, FontSubset& subset) {
    const Blob blob(hb_blob_create(font.constData(), static_cast<unsigned>(font.size()),
                                   HB_MEMORY_MODE_READONLY, nullptr, nullptr));
    const Face face(hb_face_create(blob.get(), 0));
    const Input input(hb_subset_input_create_or_fail());
    if (!input) return false;
    hb_set_t* keep = hb_subset_input_glyph_set(input.get());
    for (std::uint32_t g : glyphs)
        hb_set_add(keep, g);
    // A PDF viewer draws the outlines itself: the hinting programs only add bytes.
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
    const Plan plan(hb_subset_plan_create_or_fail(face.get(), input.get()));
    if (!plan) return false;
    const Face cutFace(hb_subset_plan_execute_or_fail(plan.get()));
    if (!cutFace) return false;
    const hb_map_t* mapping = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    for (std::uint32_t g : glyphs) {
        const hb_codepoint_t to = hb_map_get(mapping, g);
        if (to == HB_MAP_VALUE_INVALID) return false;
        subset.newIndex[g] = to;
    }
    const Blob out(hb_face_reference_blob(cutFace.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(out.get(), &length);
    if (!data || length == 0) return false;
    subset.program = QByteArray(data, static_cast<qsizetype>(length));
    return true;
}

} // namespace

FontSubset subsetPlotterFont(const std::set<std::uint32_t>& glyphs) {
    FontSubset subset;
    const QByteArray& font = plotterFontBytes();
    if (font.isEmpty() || glyphs.empty()) return subset;
    if (cut(font, glyphs, subset)) return subset;
    // Better a large file than labels that are not text.
    subset = {};
    subset.program = font;
    subset.whole = true;
    for (std::uint32_t g : glyphs)
        subset.newIndex[g] = g;
    return subset;
}

QByteArray subsetTag(const std::set<std::uint32_t>& glyphs) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a over the glyph indexes
    for (std::uint32_t g : glyphs) {
        for (int shift = 0; shift < 32; shift += 8) {
            h ^= (g >> shift) & 0xFFu;
            h *= 1099511628211ull;
        }
    }
    QByteArray tag(6, 'A');
    for (char& c : tag) {
        c = static_cast<char>('A' + h % 26);
        h /= 26;
    }
    return tag;
}

} // namespace kesto::render
