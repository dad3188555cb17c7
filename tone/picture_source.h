// A picture file as the program reads it: opened once, its reader chosen by its
// first bytes (never by its name), its size and orientation known before any
// pixel is decoded, then its rows delivered in order, top row first, as 4-byte
// R, G, B, A.
//
// The readers, in the order they are tried:
// - the JPEG decoder, for content that starts FF D8 FF: rows at the eighth-scale
//   that still covers the box (the resize to the box is the caller's), the
//   picture as stored; its orientation goes into the JPEG written from it;
// - libpng, for 8-bit RGB and RGBA PNGs, not interlaced, with no transparent
//   colour, that need no scaling: row by row as stored;
// - libheif for HEIC, HEIF and AVIF, libjxl for JPEG XL, LibRaw for camera RAW,
//   each for content it recognises: the whole picture at once, upright;
// - the platform reader, for every other file and for a file one of the
//   above gives up on: the whole picture at once.
// The last four scale the picture into the box and turn it upright, then
// deliver it row by row from memory.
// A reader refuses a file for good (cut short, over its memory share) with a
// reason; then no other reader tries it.
//
// Any thread, each on its own source.
#pragma once

#include "runtime/base/string_scratch.h"
#include "tone/colour_profile.h"

#include <cstdint>
#include <string>

constexpr int SourceJpeg = 1;
constexpr int SourcePng = 2;
constexpr int SourcePlatform = 4;
constexpr int SourceHeif = 8; // HEIC, HEIF and AVIF
constexpr int SourceJxl = 16; // JPEG XL
constexpr int SourceRaw = 32; // camera RAW
// What the platform reader owes: its own formats and those the program decodes
// with a library of its own, each picture whole, into the box, upright.
constexpr int PlatformSources = SourceHeif | SourceJxl | SourceRaw | SourcePlatform;
constexpr int AnySource = SourceJpeg | SourcePng | PlatformSources;

struct JpegSource;     // source_jpeg.cpp
struct PngSource;      // source_png.cpp
struct PlatformSource; // source_platform.cpp

struct PictureSource {
    int Kind = 0;        // the reader that has the file: one of the Source* values
    int Kinds = 0;       // the readers the caller lets try
    int Descriptor = -1; // the open file
    int64_t FileLength = 0;
    int64_t MaxWidth = 0, MaxHeight = 0; // the box, as asked for (see load_jpeg.h)
    int64_t StoredWidth = 0, StoredHeight = 0;
    int Orientation = 0; // EXIF orientation the file states, 0 when none
    // The rows delivered, and the picture they make in the box (a JPEG's rows
    // are resized to it; other readers deliver it as it is).
    int64_t RowsWidth = 0, RowsHeight = 0;
    int64_t Width = 0, Height = 0;
    // Asked by a caller that tones the rows: a picture of more than 8 bits a
    // channel then delivers each pixel's luminance, taken from all its bits, in
    // the first two bytes of its R, G, B, A (low byte first; see
    // ToneStoredLuminance) and says so in RowsHoldLuminance.
    bool LuminanceWanted = false;
    bool RowsHoldLuminance = false;
    // The colours the file describes (see colour_profile.h), read unless the
    // caller turns that off; nullptr for sRGB. The rows come as stored, their
    // luminance taken by ProfileLookup's tables or ProfileLuminance; a CMYK
    // picture's come turned into sRGB (its profile then says Cmyk).
    bool ColourProfiles = true;
    ColourProfileRef Colours;
    std::string Reason;   // why the file cannot be read, once that is so
    bool Refused = false; // a reader recognised the file and refused it for good
    // Told when a later reader fails without a reason of its own.
    std::string FallbackReason;
    JpegSource *Jpeg = nullptr;
    PngSource *Png = nullptr;
    PlatformSource *Platform = nullptr;

    PictureSource() = default;
    PictureSource(const PictureSource &) = delete;
    PictureSource &operator=(const PictureSource &) = delete;
    ~PictureSource();
};

// Opens `path` and hands it to the first of `kinds` that takes it. False with
// the reason when none does ("cannot open: ...", "is a folder", "not a picture
// this program reads", "cut short after row N of H", ...).
bool OpenPictureSource(PictureSource &source, const String &path, int64_t maxWidth,
                       int64_t maxHeight, int kinds = AnySource);

// The next `count` rows of RowsWidth x 4 bytes into rows[0 .. count). False when
// the decoder fails; the reason is then set when the failure is final.
bool ReadSourceRows(PictureSource &source, unsigned char *const *rows, int64_t count);

// After the last row: true when the picture was whole. False otherwise, with the
// reason when that is final.
bool FinishSource(PictureSource &source);

// After a failure without a reason: hands the same open file to the next reader
// (the platform reader), from its start. False, with the reason, when no reader
// is left.
bool NextPictureSource(PictureSource &source);

// The platform reader's picture (an image of Width x Height, automatic number)
// handed over whole, instead of its rows; 0 for other readers.
int64_t TakeSourceImage(PictureSource &source);
