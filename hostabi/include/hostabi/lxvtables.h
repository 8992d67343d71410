// Function tables of the interfaces that cross the module boundary.
//
// An object of any of these interfaces is a pointer whose first word points
// at one of these tables; every table starts with the three common entries.
// Slot n of a table lies at byte offset n * sizeof(void*): the slot numbers
// are the contract with the host, so each table is checked against them
// below. Entries the plug-in never calls are kept as reserved slots so that
// the ones it does call stay at their positions.
#pragma once

#include <cstddef>

#include "hostabi/lxtypes.h"

// The tables are laid out one slot to a line with its number, in the
// spelling of a function-pointer declaration; the formatter would split them.
// clang-format off

typedef void (LXx_CALL *LXtReservedSlot)(void);

// Slots 0-2 of every table. AddRef and Release answer the new count of the
// reference that was touched (0 when the object was freed).
struct ILxUnknownVT {
    LxResult (LXx_CALL *QueryInterface)(LXtObjectID self, const LXtGUID* iid, void** out);
    unsigned (LXx_CALL *AddRef)(LXtObjectID self);
    unsigned (LXx_CALL *Release)(LXtObjectID self);
};

// ---- Interfaces the host offers --------------------------------------------

// GUID-lookup service, reached through the context object.
struct ILxGUIDServiceVT {
    ILxUnknownVT unk;
    const LXtGUID* (LXx_CALL *ByName)(LXtObjectID self, const char* name);    // slot 3
    LXtReservedSlot reserved4;
    LXtReservedSlot reserved5;
    const LXtGUID* (LXx_CALL *Fixed)(LXtObjectID self, const LXtGUID* guid);  // slot 6: host's persistent copy
};

// Log service, a host global. SubSystem adds a reference to the log it hands
// out; NewEntry hands out a new entry carrying one reference.
struct ILxLogServiceVT {
    ILxUnknownVT unk;
    LXtReservedSlot reserved3;
    LXtReservedSlot reserved4;
    LXtReservedSlot reserved5;
    LxResult (LXx_CALL *SubSystem)(LXtObjectID self, const char* name, void** log);  // slot 6
    LXtReservedSlot reserved7;
    LXtReservedSlot reserved8;
    LXtReservedSlot reserved9;
    LXtReservedSlot reserved10;
    LXtReservedSlot reserved11;
    LXtReservedSlot reserved12;
    LxResult (LXx_CALL *NewEntry)(LXtObjectID self, LxResult type, const char* text, void** entry);  // slot 13
};

// A log subsystem. AddEntry keeps its own reference to the entry if it wants
// one; the caller still releases its own.
struct ILxLogVT {
    ILxUnknownVT unk;
    LxResult (LXx_CALL *AddEntry)(LXtObjectID self, LXtObjectID entry);  // slot 3
};

// A log entry: only queried and released by the plug-in.
struct ILxLogEntryVT {
    ILxUnknownVT unk;
};

// A layered image. Image hands out a layer carrying one reference. Name hands
// out a NUL-terminated string owned by the host, valid during the save.
struct ILxLayeredImageVT {
    ILxUnknownVT unk;
    LxResult (LXx_CALL *Size)(LXtObjectID self, unsigned* width, unsigned* height);  // slot 3
    unsigned (LXx_CALL *Count)(LXtObjectID self);                                    // slot 4
    LxResult (LXx_CALL *Image)(LXtObjectID self, unsigned index, void** image);      // slot 5
    LxResult (LXx_CALL *Name)(LXtObjectID self, unsigned index, const char** name);  // slot 6
};

// One image (layer). GetPixel writes one pixel of (x, y) in the requested
// format into buf, which holds at least lxPixelBytes(format) bytes.
struct ILxImageVT {
    ILxUnknownVT unk;
    void (LXx_CALL *Size)(LXtObjectID self, unsigned* width, unsigned* height);      // slot 3
    LXtPixelFormat (LXx_CALL *Format)(LXtObjectID self);                             // slot 4
    LxResult (LXx_CALL *GetPixel)(LXtObjectID self, unsigned x, unsigned y, LXtPixelFormat format,
                         void* buf);                                        // slot 5
};

// ---- Interfaces the plug-in offers -----------------------------------------

struct ILxModuleVT {
    ILxUnknownVT unk;
    LxResult (LXx_CALL *Generate)(LXtObjectID self, const char* name, const LXtGUID* iid, void** out);  // slot 3
    LxResult (LXx_CALL *IsLocked)(LXtObjectID self);                                                    // slot 4
};

// Tag description; also the table of a server's static description.
struct ILxTagDescriptionVT {
    ILxUnknownVT unk;
    unsigned (LXx_CALL *Count)(LXtObjectID self);                                           // slot 3
    LxResult (LXx_CALL *Describe)(LXtObjectID self, unsigned index, LXtTagInfoDesc* desc);  // slot 4
};

struct ILxNeedContextVT {
    ILxUnknownVT unk;
    LxResult (LXx_CALL *SetContext)(LXtObjectID self, LXtObjectID context);  // slot 3
};

struct ILxSaverVT {
    ILxUnknownVT unk;
    LxResult (LXx_CALL *Verify)(LXtObjectID self, LXtObjectID source, LXtObjectID message);  // slot 3
    LxResult (LXx_CALL *Save)(LXtObjectID self, LXtObjectID source, const char* filename,
                     LXtObjectID monitor);                                          // slot 4
};

#define LX_SLOT_AT(T, member, n) \
    static_assert(offsetof(T, member) == (n) * sizeof(void*), #T "::" #member " must be slot " #n)
LX_SLOT_AT(ILxUnknownVT, QueryInterface, 0);
LX_SLOT_AT(ILxUnknownVT, AddRef, 1);
LX_SLOT_AT(ILxUnknownVT, Release, 2);
LX_SLOT_AT(ILxGUIDServiceVT, ByName, 3);
LX_SLOT_AT(ILxGUIDServiceVT, Fixed, 6);
LX_SLOT_AT(ILxLogServiceVT, SubSystem, 6);
LX_SLOT_AT(ILxLogServiceVT, NewEntry, 13);
LX_SLOT_AT(ILxLogVT, AddEntry, 3);
LX_SLOT_AT(ILxLayeredImageVT, Size, 3);
LX_SLOT_AT(ILxLayeredImageVT, Count, 4);
LX_SLOT_AT(ILxLayeredImageVT, Image, 5);
LX_SLOT_AT(ILxLayeredImageVT, Name, 6);
LX_SLOT_AT(ILxImageVT, Format, 4);
LX_SLOT_AT(ILxImageVT, GetPixel, 5);
LX_SLOT_AT(ILxModuleVT, Generate, 3);
LX_SLOT_AT(ILxModuleVT, IsLocked, 4);
LX_SLOT_AT(ILxTagDescriptionVT, Count, 3);
LX_SLOT_AT(ILxTagDescriptionVT, Describe, 4);
LX_SLOT_AT(ILxNeedContextVT, SetContext, 3);
LX_SLOT_AT(ILxSaverVT, Verify, 3);
LX_SLOT_AT(ILxSaverVT, Save, 4);
#undef LX_SLOT_AT

// The table of an object, given the object.
template <class VT>
inline const VT* lxTable(LXtObjectID obj)
{
    return *static_cast<const VT* const*>(obj);
}
// clang-format on
