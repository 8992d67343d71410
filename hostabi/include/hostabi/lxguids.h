// Interface identifiers used across the module boundary.
#pragma once

#include "hostabi/lxtypes.h"

// Base interface every object answers to.
inline constexpr LXtGUID LXu_UNKNOWN
    = {0x00000000,
       0x0000,
       0x0000,
       {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC4}};  // 00000000-0000-0000-0000-0000000000C4

// Interfaces the plug-in offers to the host.
inline constexpr LXtGUID LXu_MODULE
    = {0xBD6F0E53,
       0xC903,
       0x46D3,
       {0x92, 0x11, 0x75, 0x85, 0x58, 0xD9, 0x5C, 0xAA}};  // BD6F0E53-C903-46D3-9211-758558D95CAA
inline constexpr LXtGUID LXu_TAGDESCRIPTION
    = {0x5582E0EE,
       0xD682,
       0x47BC,
       {0xBF, 0x3D, 0xFB, 0x14, 0xD5, 0x99, 0x48, 0xC1}};  // 5582E0EE-D682-47BC-BF3D-FB14D59948C1
inline constexpr LXtGUID LXu_NEEDCONTEXT
    = {0x7D30408C,
       0x74AB,
       0x4D87,
       {0xB7, 0x1C, 0xC6, 0x28, 0x08, 0x83, 0x86, 0x3C}};  // 7D30408C-74AB-4D87-B71C-C6280883863C
inline constexpr LXtGUID LXu_SAVER
    = {0x75AD8F36,
       0x5B69,
       0x413B,
       {0xA7, 0x7B, 0x5A, 0x78, 0xD3, 0x9A, 0xEF, 0x51}};  // 75AD8F36-5B69-413B-A77B-5A78D39AEF51
// The static description of a server answers to the tag-description GUID.
inline constexpr const LXtGUID& LXu_STATICDESC = LXu_TAGDESCRIPTION;

// Interfaces the host offers to the plug-in.
inline constexpr LXtGUID LXu_LOG
    = {0x1890538F,
       0xD64C,
       0x478C,
       {0x84, 0x72, 0x22, 0x8B, 0x7C, 0x9A, 0xB1, 0xDF}};  // 1890538F-D64C-478C-8472-228B7C9AB1DF
inline constexpr LXtGUID LXu_LOGENTRY
    = {0xE83679B2,
       0xDB4D,
       0x4D90,
       {0xB8, 0x1B, 0x5F, 0x78, 0x6D, 0x21, 0x2F, 0xB3}};  // E83679B2-DB4D-4D90-B81B-5F786D212FB3
inline constexpr LXtGUID LXu_IMAGE
    = {0x469AFBB8,
       0xE6A2,
       0x4D88,
       {0x9C, 0x39, 0x54, 0x30, 0xCA, 0x72, 0xE4, 0x04}};  // 469AFBB8-E6A2-4D88-9C39-5430CA72E404
inline constexpr LXtGUID LXu_LAYEREDIMAGE
    = {0x8523ECC4,
       0xB8B3,
       0x4C6E,
       {0x8F, 0x14, 0xA1, 0xD2, 0xD0, 0x1E, 0x80, 0x38}};  // 8523ECC4-B8B3-4C6E-8F14-A1D2D01E8038
inline constexpr LXtGUID LXu_LOGSERVICE
    = {0x0BC355C2,
       0x5E6B,
       0x49EF,
       {0xB3, 0x68, 0x60, 0x0D, 0x9F, 0x26, 0xF5, 0x43}};  // 0BC355C2-5E6B-49EF-B368-600D9F26F543
inline constexpr LXtGUID LXu_GUIDSERVICE
    = {0xB11826F1,
       0xA6BC,
       0x48B4,
       {0x90, 0x9B, 0x5F, 0x6D, 0x01, 0x93, 0x83, 0x27}};  // B11826F1-A6BC-48B4-909B-5F6D01938327
