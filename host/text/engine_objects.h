// The engine objects the stand-in hands the plug-in. Each published record
// comes first, so the engine services find the stand-in's state behind the
// pointer the plug-in passes back.
#pragma once

#include "platform/ddi.h"

#include <vector>

namespace standin {

// A realised font: FONTOBJ_pifi answers `metrics`; FONTOBJ_pxoGetXform
// answers `transform` unless the font has none.
struct EngineFont {
    FONTOBJ fontobj{};
    const IFIMETRICS* metrics = nullptr;
    bool hasTransform = true;
    struct Transform {
        XFORMOBJ xformobj{};
        double m11 = 1, m12 = 0, m21 = 0, m22 = 1; // device = (x·m11 + y·m21, x·m12 + y·m22)
    } transform;

    static EngineFont& of(FONTOBJ* pfo) { return *reinterpret_cast<EngineFont*>(pfo); }
};

// A string to draw: the glyph positions are either in `strobj.pgp` or handed
// out in `batches` through STROBJ_vEnumStart / STROBJ_bEnum.
struct EngineString {
    STROBJ strobj{};
    std::vector<std::vector<GLYPHPOS>> batches;
    std::size_t nextBatch = 0;
    bool failEnumeration = false; // STROBJ_bEnum answers DDI_ERROR

    static EngineString& of(STROBJ* pstro) { return *reinterpret_cast<EngineString*>(pstro); }
};

} // namespace standin
