// Limits, names and codes of the effect-hosting subsystem: the plug-in list,
// its files and scan, and the hosted plug-ins.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace plug {

// Every text buffer handed to a plug-in: zeroed, last byte forced to 0 after
// the call (plug-ins write past the interface's nominal sizes).
constexpr int kTextBufferBytes = 256;

// Hosted plug-ins.
constexpr int kScratchFrames = 4096;           // frames of one scratch buffer (16 KB)
constexpr int kMidiBlockEvents = 256;          // events of one MIDI block
constexpr int kDefaultSampleRate = 44100;
constexpr int kDefaultBlockSize = 512;
constexpr int kOpenBlockSize = 1024;           // block size sent at load
constexpr int kMaxPlugChannels = 256;          // inputs or outputs a plug-in may declare
constexpr int32_t kHostCurrentId = static_cast<int32_t>(fourcc("Rdne"));
constexpr int kHostVstVersion = 2;
constexpr int kHostProcessLevel = 2;           // real-time
constexpr int kHostLanguage = 1;               // English
constexpr const char* kHostVendor = "Quillane, Inc";
constexpr const char* kHostProduct = "Rondane";
constexpr uint32_t kFormatVst2 = fourcc("vst2");

// Plug-in types of a list entry.
constexpr int kTypeNotProbed = -1;
constexpr int kTypeFailed = 0;
constexpr int kTypeEffect = 1;
constexpr int kTypeInstrument = 2;

// The plug-in list and its files.
constexpr int kListTextBytes = 512;            // path, vendor and name in the list file
constexpr int kBaseNameBytes = 64;
constexpr const char* kBaseNameSuffix = "64";
constexpr const char* kListExt = "pil";
constexpr const char* kGuardExt = "ukn";
constexpr const char* kCacheExt = "cache";
constexpr uint32_t kListArchiveType = fourcc("plst");
constexpr uint32_t kInfoArchiveType = fourcc("info");
constexpr uint32_t kScanThreadCode = fourcc("plug");
constexpr const char* kVendorOther = "Other";
constexpr const char* kVendorUnknown = "unknown";
constexpr const char* kLibraryExt = ".so";     // the scan's library suffix, lower case only
constexpr int kScanPauseMs = 100;              // pause before each library
constexpr int kStopPollMs = 10;
constexpr int kMaxScanDepth = 32;              // folder levels the walk enters
constexpr char kFolderListSeparator = ':';     // between the folders of the plug-in folder list
constexpr int kMaxFolders = 64;                // folders a folder list keeps, the first ones
constexpr int kMaxOtherNames = 32;             // other names an entry keeps, the first ones
constexpr int kMaxFileNameBytes = 255;         // the longest file name the file system has
constexpr int kMaxPlugParams = 1 << 16;        // parameter values saved of a hosted plug-in

// Entry names looked up in a library, first found wins.
constexpr const char* kEntryNames[] = {"VSTPluginMain", "main", "MAIN", "main_plugin"};

}  // namespace plug
