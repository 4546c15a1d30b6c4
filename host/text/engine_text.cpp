// The engine's services for text, answered from the stand-in's font and
// string records behind the FONTOBJ and STROBJ it hands the plug-in.
#include "host/text/engine_export.h"
#include "host/text/engine_objects.h"

using standin::EngineFont;
using standin::EngineString;

// The font's metrics record, or null for a font the stand-in gave none.
ENGINE_EXPORT IFIMETRICS* STDCALL FONTOBJ_pifi(FONTOBJ* pfo) {
    return pfo ? const_cast<IFIMETRICS*>(EngineFont::of(pfo).metrics) : nullptr;
}

// Starts the string's batches over.
ENGINE_EXPORT void STDCALL STROBJ_vEnumStart(STROBJ* pstro) {
    if (pstro)
        EngineString::of(pstro).nextBatch = 0;
}

// The next batch: TRUE while more follow, FALSE with the last. A string with
// positions supplied and no batches is one batch. A string set to fail hands
// out its batches and then answers DDI_ERROR where the end would come.
ENGINE_EXPORT BOOL STDCALL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos) {
    *pc = 0;
    *ppgpos = nullptr;
    EngineString& string = EngineString::of(pstro);
    if (string.batches.empty() && string.strobj.pgp && !string.failEnumeration) {
        *pc = string.strobj.cGlyphs;
        *ppgpos = string.strobj.pgp;
        return FALSE;
    }
    if (string.nextBatch >= string.batches.size())
        return string.failEnumeration ? DDI_ERROR : FALSE;
    std::vector<GLYPHPOS>& batch = string.batches[string.nextBatch++];
    *pc = static_cast<ULONG>(batch.size());
    *ppgpos = batch.empty() ? nullptr : batch.data();
    const bool last = string.nextBatch == string.batches.size();
    return last && !string.failEnumeration ? FALSE : TRUE;
}
