// Basic Windows types and calling conventions, declared here so that the
// plug-in's logic never includes a system header. Windows keeps its integer
// types at their sizes on every target (LLP64): only pointers, handles and the
// _PTR integers follow the target, so records come out as 32-bit Windows lays
// them out on i686 and as 64-bit Windows does on x64 and on the host.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define STDCALL __attribute__((stdcall))
#else
#define STDCALL
#endif

// Converts between entry point types, as tables of entry points require;
// the detour through void(*)() says the signature change is intended.
template <typename To, typename From> To functionCast(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "an i686 or a 64-bit target");

// A record's size or offset on the target being built: the first figure on
// 32-bit Windows, the second on 64-bit Windows, whose layout the host build
// shares. The layout asserts use it so that both DLLs are held to the figures
// Windows itself uses.
constexpr std::size_t byTarget(std::size_t i686, std::size_t x64) {
    return sizeof(void*) == 4 ? i686 : x64;
}

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using FLONG = std::uint32_t;
using MIX = std::uint32_t;
using ROP4 = std::uint32_t;
using HGLYPH = std::uint32_t;
using FIX = std::int32_t;
using WCHAR = char16_t; // UTF-16 code unit, as wchar_t is on Windows
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using HANDLE = void*;
using HSURF = void*;
using DHPDEV = void*;
using PVOID = void*;
using PBYTE = BYTE*;
using PDWORD = DWORD*;
using PSTR = char*;
using PWSTR = WCHAR*;
using LPWSTR = WCHAR*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

struct RECTL {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct POINTL {
    LONG x;
    LONG y;
};

struct SIZEL {
    LONG cx;
    LONG cy;
};

static_assert(sizeof(RECTL) == 16 && sizeof(POINTL) == 8 && sizeof(SIZEL) == 8);
