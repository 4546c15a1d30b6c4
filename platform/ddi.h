// Graphics-engine (DDI) records, constants and hook signatures used by the
// plug-in. Records are laid out as Windows lays them out on the target, and
// the asserts hold both targets' figures.
#pragma once

#include "platform/gdi.h"
#include "platform/win_types.h"

// Opaque engine objects: only ever passed through.
struct CLIPOBJ;
struct XLATEOBJ;
struct PATHOBJ;
struct LINEATTRS;
struct COLORADJUSTMENT;
struct GDIINFO;
struct XFORMOBJ {
    ULONG ulReserved;
};

// 32-bit Windows declares FLOATL as DWORD holding an IEEE single; copy bit
// patterns into it, never assign a float.
using FLOATL = DWORD;

struct SURFOBJ {
    DHPDEV dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;
    HANDLE hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
};
static_assert(sizeof(SURFOBJ) == byTarget(52, 80) && offsetof(SURFOBJ, dhpdev) == byTarget(8, 16) &&
              offsetof(SURFOBJ, sizlBitmap) == byTarget(16, 32) &&
              offsetof(SURFOBJ, pvBits) == byTarget(28, 48) &&
              offsetof(SURFOBJ, pvScan0) == byTarget(32, 56) &&
              offsetof(SURFOBJ, lDelta) == byTarget(36, 64) &&
              offsetof(SURFOBJ, iBitmapFormat) == byTarget(44, 72) &&
              offsetof(SURFOBJ, fjBitmap) == byTarget(50, 78));

struct BRUSHOBJ {
    ULONG iSolidColor;
    PVOID pvRbrush;
    FLONG flColorType;
};
static_assert(sizeof(BRUSHOBJ) == byTarget(12, 24) && offsetof(BRUSHOBJ, iSolidColor) == 0 &&
              offsetof(BRUSHOBJ, flColorType) == byTarget(8, 16));

struct GLYPHPOS {
    HGLYPH hg;
    PVOID pgdf;
    POINTL ptl;
};
static_assert(sizeof(GLYPHPOS) == byTarget(16, 24) && offsetof(GLYPHPOS, pgdf) == byTarget(4, 8) &&
              offsetof(GLYPHPOS, ptl) == byTarget(8, 16));

struct STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS* pgp;
    LPWSTR pwszOrg;
};
static_assert(sizeof(STROBJ) == byTarget(36, 48) && offsetof(STROBJ, rclBkGround) == 12 &&
              offsetof(STROBJ, pgp) == byTarget(28, 32) &&
              offsetof(STROBJ, pwszOrg) == byTarget(32, 40));

struct FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG_PTR iTTUniq;
    ULONG_PTR iFile;
    SIZEL sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer;
    PVOID pvProducer;
};
static_assert(sizeof(FONTOBJ) == byTarget(44, 64) &&
              offsetof(FONTOBJ, pvProducer) == byTarget(40, 56));

struct POINTE {
    FLOATL x;
    FLOATL y;
};

struct POINTFIX {
    FIX x;
    FIX y;
};

struct LARGE_INTEGER_PARTS {
    DWORD LowPart;
    LONG HighPart;
};

struct alignas(8) POINTQF {
    LARGE_INTEGER_PARTS x;
    LARGE_INTEGER_PARTS y;
};
static_assert(sizeof(POINTQF) == 16);

struct FD_XFORM {
    FLOATL eXX;
    FLOATL eXY;
    FLOATL eYX;
    FLOATL eYY;
};

struct GLYPHDATA {
    PVOID gdf;
    HGLYPH hg;
    FIX fxD;
    FIX fxA;
    FIX fxAB;
    FIX fxInkTop;
    FIX fxInkBottom;
    RECTL rclInk;
    POINTQF ptqD;
};
static_assert(sizeof(GLYPHDATA) == 64 && offsetof(GLYPHDATA, hg) == byTarget(4, 8) &&
              offsetof(GLYPHDATA, fxD) == byTarget(8, 12) &&
              offsetof(GLYPHDATA, fxA) == byTarget(12, 16) &&
              offsetof(GLYPHDATA, fxAB) == byTarget(16, 20) &&
              offsetof(GLYPHDATA, rclInk) == byTarget(28, 32) && offsetof(GLYPHDATA, ptqD) == 48);

struct FD_DEVICEMETRICS {
    FLONG flRealizedType;
    POINTE pteBase;
    POINTE pteSide;
    LONG lD;
    FIX fxMaxAscender;
    FIX fxMaxDescender;
    POINTL ptlUnderline1;
    POINTL ptlStrikeOut;
    POINTL ptlULThickness;
    POINTL ptlSOThickness;
    ULONG cxMax;
    ULONG cyMax;
    ULONG cjGlyphMax;
    FD_XFORM fdxQuantized;
    LONG lNonLinearExtLeading;
    LONG lNonLinearIntLeading;
    LONG lNonLinearMaxCharWidth;
    LONG lNonLinearAvgCharWidth;
    LONG lMinA;
    LONG lMinC;
    LONG lMinD;
    LONG alReserved[1];
};
static_assert(sizeof(FD_DEVICEMETRICS) == 124 && offsetof(FD_DEVICEMETRICS, cxMax) == 64);

// A byte offset within a record: 32 bits on every Windows, pointers or not.
using PTRDIFF = LONG;

// The engine's description of a font. The plug-in reads only
// dpwszUniqueName through this record; metrics files are read by offset.
struct IFIMETRICS {
    ULONG cjThis;
    ULONG cjIfiExtra;
    PTRDIFF dpwszFamilyName;
    PTRDIFF dpwszStyleName;
    PTRDIFF dpwszFaceName;
    PTRDIFF dpwszUniqueName;
    PTRDIFF dpFontSim;
    LONG lEmbedId;
    LONG lItalicAngle;
    LONG lCharBias;
    PTRDIFF dpCharSets;
    BYTE jWinCharSet;
    BYTE jWinPitchAndFamily;
    USHORT usWinWeight;
    ULONG flInfo;
    USHORT fsSelection;
    USHORT fsType;
    SHORT fwdMetrics[10];
    SHORT fwdAveCharWidth;
    SHORT fwdMaxCharInc;
    SHORT fwdCapHeight;
    SHORT fwdXHeight;
    SHORT fwdSubSuperscript[8];
    SHORT fwdUnderscoreSize;
    SHORT fwdUnderscorePosition;
    SHORT fwdStrikeoutSize;
    SHORT fwdStrikeoutPosition;
    BYTE chFirstChar;
    BYTE chLastChar;
    BYTE chDefaultChar;
    BYTE chBreakChar;
    WCHAR wcFirstChar;
    WCHAR wcLastChar;
    WCHAR wcDefaultChar;
    WCHAR wcBreakChar;
    POINTL ptlBaseline;
    POINTL ptlAspect;
    POINTL ptlCaret;
    RECTL rclFontBox;
    BYTE achVendId[4];
    ULONG cKerningPairs;
    ULONG ulPanoseCulture;
    BYTE panose[10];
#if UINTPTR_MAX > 0xFFFFFFFFu
    PVOID Align; // 64-bit Windows pads the record to a pointer's alignment
#endif
};
// Only the size differs between the targets: every offset is the same.
static_assert(sizeof(IFIMETRICS) == byTarget(184, 192) && offsetof(IFIMETRICS, cjIfiExtra) == 4 &&
              offsetof(IFIMETRICS, dpwszFamilyName) == 8 &&
              offsetof(IFIMETRICS, dpwszUniqueName) == 20 &&
              offsetof(IFIMETRICS, dpCharSets) == 40 &&
              offsetof(IFIMETRICS, jWinPitchAndFamily) == 45 &&
              offsetof(IFIMETRICS, fwdMaxCharInc) == 78 &&
              offsetof(IFIMETRICS, fwdUnderscoreSize) == 100 &&
              offsetof(IFIMETRICS, fwdUnderscorePosition) == 102 &&
              offsetof(IFIMETRICS, fwdStrikeoutPosition) == 106 &&
              offsetof(IFIMETRICS, rclFontBox) == 144 && offsetof(IFIMETRICS, panose) == 172);

using PFN = LONG_PTR(STDCALL*)();

struct DRVFN {
    ULONG iFunc;
    PFN pfn;
};
static_assert(sizeof(DRVFN) == byTarget(8, 16) && offsetof(DRVFN, pfn) == byTarget(4, 8));

struct DRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;
    DRVFN* pdrvfn;
};
static_assert(sizeof(DRVENABLEDATA) == byTarget(12, 16) && offsetof(DRVENABLEDATA, pdrvfn) == 8);

struct DEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HANDLE hpalDefault;
    FLONG flGraphicsCaps2;
};
static_assert(sizeof(DEVINFO) == byTarget(300, 312) && offsetof(DEVINFO, cFonts) == 280 &&
              offsetof(DEVINFO, hpalDefault) == byTarget(292, 296) &&
              offsetof(DEVINFO, flGraphicsCaps2) == byTarget(296, 304));

inline constexpr ULONG INDEX_DrvStrokePath = 14;
inline constexpr ULONG INDEX_DrvBitBlt = 18;
inline constexpr ULONG INDEX_DrvStretchBlt = 20;
inline constexpr ULONG INDEX_DrvTextOut = 23;
inline constexpr ULONG INDEX_DrvQueryFontData = 28;
inline constexpr ULONG INDEX_DrvSendPage = 32;
inline constexpr ULONG INDEX_DrvStartPage = 33;
inline constexpr ULONG INDEX_DrvEndDoc = 34;
inline constexpr ULONG INDEX_DrvStartDoc = 35;
inline constexpr ULONG INDEX_DrvQueryAdvanceWidths = 53;
inline constexpr ULONG INDEX_DrvStartBanding = 57;
inline constexpr ULONG INDEX_DrvNextBand = 58;

inline constexpr ULONG DDI_DRIVER_VERSION_NT5 = 0x00030000;
inline constexpr FLONG ED_ABORTDOC = 1;

inline constexpr ULONG XF_LTOL = 0;
inline constexpr ULONG XF_INV_LTOL = 1;
inline constexpr ULONG XF_LTOFX = 2;
inline constexpr ULONG XF_INV_FXTOL = 3;

inline constexpr ULONG QFD_GLYPHANDBITMAP = 1;
inline constexpr ULONG QFD_GLYPHANDOUTLINE = 2;
inline constexpr ULONG QFD_MAXEXTENTS = 3;
inline constexpr ULONG QFD_TT_GLYPHANDBITMAP = 4;

inline constexpr ULONG QAW_GETWIDTHS = 0;
inline constexpr ULONG QAW_GETEASYWIDTHS = 1;

inline constexpr LONG FD_ERROR = -1;
inline constexpr BOOL DDI_ERROR = -1;

// Signatures of the hooked engine calls; Unidrv's own entry points share them.
using PFN_DrvBitBlt = BOOL(STDCALL*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*,
                                     POINTL*, POINTL*, BRUSHOBJ*, POINTL*, ROP4);
using PFN_DrvStretchBlt = BOOL(STDCALL*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                         COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG);
using PFN_DrvTextOut = BOOL(STDCALL*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                      BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX);
using PFN_DrvStrokePath = BOOL(STDCALL*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*,
                                         POINTL*, LINEATTRS*, MIX);
using PFN_DrvStartPage = BOOL(STDCALL*)(SURFOBJ*);
using PFN_DrvSendPage = BOOL(STDCALL*)(SURFOBJ*);
using PFN_DrvStartDoc = BOOL(STDCALL*)(SURFOBJ*, LPWSTR, DWORD);
using PFN_DrvEndDoc = BOOL(STDCALL*)(SURFOBJ*, FLONG);
using PFN_DrvNextBand = BOOL(STDCALL*)(SURFOBJ*, POINTL*);
using PFN_DrvStartBanding = BOOL(STDCALL*)(SURFOBJ*, POINTL*);
using PFN_DrvQueryFontData = LONG(STDCALL*)(DHPDEV, FONTOBJ*, ULONG, HGLYPH, GLYPHDATA*, PVOID,
                                            ULONG);
using PFN_DrvQueryAdvanceWidths = BOOL(STDCALL*)(DHPDEV, FONTOBJ*, ULONG, HGLYPH*, PVOID, ULONG);

// Engine services the plug-in calls back (exported by gdi32 on Windows).
using PFN_FONTOBJ_pifi = IFIMETRICS*(STDCALL*)(FONTOBJ*);
using PFN_FONTOBJ_pxoGetXform = XFORMOBJ*(STDCALL*)(FONTOBJ*);
using PFN_XFORMOBJ_bApplyXform = BOOL(STDCALL*)(XFORMOBJ*, ULONG, ULONG, PVOID, PVOID);
using PFN_STROBJ_vEnumStart = void(STDCALL*)(STROBJ*);
using PFN_STROBJ_bEnum = BOOL(STDCALL*)(STROBJ*, ULONG*, GLYPHPOS**);
