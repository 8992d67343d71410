// Basic value types shared by the plug-in and the host across the module
// boundary. Everything here is plain data with C layout: the host and the
// plug-in may be built by different compilers, so nothing in this file may
// depend on C++ object layout.
#pragma once

#include <cstdint>

// Calling convention of every function that crosses the module boundary: the
// exported entry point and every slot of every function table, on both
// sides. It is the host's choice, so a port to a host that expects another
// convention changes it here, and nowhere else: every table slot and every
// function stored in one is declared with it, so the compiler refuses an
// entry that was written without it. 32-bit Windows hosts call cdecl; every
// other platform has one convention.
#ifndef LXx_CALL
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define LXx_CALL __cdecl
#else
#define LXx_CALL
#endif
#endif

// 32-bit result of every host-facing operation. 0 is success; a value whose
// top bit is set (negative as a signed number) is a failure; other
// non-negative values are successes with a meaning of their own.
typedef std::int32_t LxResult;

inline constexpr LxResult LXe_OK = 0;
inline constexpr LxResult LXe_FAILED = static_cast<LxResult>(0x80000000u);
inline constexpr LxResult LXe_NOTIMPL = static_cast<LxResult>(0x80000001u);
inline constexpr LxResult LXe_NOINTERFACE = static_cast<LxResult>(0x80000004u);
inline constexpr LxResult LXe_OUTOFBOUNDS = static_cast<LxResult>(0x80000015u);
inline constexpr LxResult LXe_NOTFOUND = static_cast<LxResult>(0x80000017u);

inline constexpr bool LXx_FAIL(LxResult r) { return r < 0; }
inline constexpr bool LXx_OK(LxResult r) { return r >= 0; }

// Log entry types as the host's log service takes them. Their meaning is the
// host's; the plug-in passes them through unchanged.
inline constexpr LxResult LXe_LOG_INFO = 2;
inline constexpr LxResult LXe_LOG_FAILURE = static_cast<LxResult>(0x80000003u);

// 16-byte interface identifier in host byte order.
struct LXtGUID {
    std::uint32_t x1;
    std::uint16_t x2;
    std::uint16_t x3;
    std::uint8_t x4[8];
};
static_assert(sizeof(LXtGUID) == 16, "LXtGUID must be 16 bytes");

// Any host or plug-in object: a pointer whose first word points at a function
// table that starts with QueryInterface, AddRef and Release.
typedef void* LXtObjectID;
typedef LXtObjectID ILxUnknownID;

// One tag record of a server's description: a type text, an info text and a
// third word (null in static descriptions; the server's GUID in the module's
// tag list). The strings are owned by whoever filled the record and are
// static for everything this module hands out.
struct LXtTagInfoDesc {
    const char* type;
    const char* info;
    const void* data;
};

// Pixel formats of host images. The low byte is the number of channels; the
// flag says whether each channel is a 32-bit float (set) or an 8-bit integer
// (clear). A pixel fetched in a format occupies lxPixelBytes(format) bytes.
typedef std::uint32_t LXtPixelFormat;

inline constexpr LXtPixelFormat LXiIMF_FLOAT = 0x100;
inline constexpr LXtPixelFormat LXiIMP_GREY8 = 1;
inline constexpr LXtPixelFormat LXiIMP_RGB24 = 3;
inline constexpr LXtPixelFormat LXiIMP_RGBA32 = 4;
inline constexpr LXtPixelFormat LXiIMP_GREYFP = LXiIMF_FLOAT | 1;
inline constexpr LXtPixelFormat LXiIMP_RGBFP = LXiIMF_FLOAT | 3;
inline constexpr LXtPixelFormat LXiIMP_RGBAFP = LXiIMF_FLOAT | 4;

inline constexpr unsigned lxPixelChannels(LXtPixelFormat f) { return f & 0xFFu; }
inline constexpr bool lxPixelIsFloat(LXtPixelFormat f) { return (f & LXiIMF_FLOAT) != 0; }
inline constexpr unsigned lxPixelBytes(LXtPixelFormat f)
{
    return lxPixelChannels(f) * (lxPixelIsFloat(f) ? 4u : 1u);
}
// The largest pixel any format above can hold, for fixed fetch buffers.
inline constexpr unsigned LXi_MAX_PIXEL_BYTES = 4 * 4;
