// The platform picture reader: every picture format the installed Qt image
// plug-ins know (PNG, TIFF, WebP, BMP, GIF, ...), for files the program does not
// decode itself. Qt stays inside platform_reader.cpp.
//
// Pictures are read as stored: an orientation in the file is not applied, only
// reported. Sizes are pixels of the file, whatever resolution it states. A pixel
// the file leaves unwritten (the skips of a run-length bitmap, say) is zero in
// the decoder's own format, never what memory held before.
// Callable from any thread (it touches no window).
#pragma once

#include "runtime/base/string_scratch.h"

#include <cstdint>
#include <string>

struct PlatformPicture; // a decoded picture, opaque outside the reader

// Loads the image plug-ins and sets the reader's allocation limit, on the
// calling thread, which must outlive every thread that reads pictures (the
// main thread). Qt's plug-in loader belongs to the thread that first needs it;
// first made on a worker, it was destroyed at exit after that thread's data
// and corrupted the heap. Idempotent.
void StartPlatformReader();

// Opens the file and reads its size from its head (a reader that cannot tell
// decodes the whole picture now); nullptr when no plug-in can read it. The
// picture itself is decoded by the first call below that needs it.
PlatformPicture *OpenPlatformPicture(const String &path);
// The same, for a file the caller has open (read from its start; the caller
// closes it after freeing the picture).
PlatformPicture *OpenPlatformPictureAt(int descriptor);
// OpenPlatformPicture and the decoding at once: nullptr unless the whole file
// decodes.
PlatformPicture *ReadPlatformPicture(const String &path);

int64_t PlatformPictureWidth(const PlatformPicture *picture);
int64_t PlatformPictureHeight(const PlatformPicture *picture);
// The orientation the file states (EXIF values 1..8, as a JPEG's or TIFF's
// orientation tag), 0 when it states none.
int PlatformPictureOrientation(PlatformPicture *picture);
// The most memory the reader takes to decode the picture and bring it to
// width x height, besides the caller's own R, G, B, A memory of that size.
int64_t PlatformPictureBytes(PlatformPicture *picture, int64_t width, int64_t height);

// The picture at its own size (width x height must be it) into 4-byte R, G, B, A
// memory (`pitch` bytes per row, top row first) with every stored colour and
// alpha kept exactly, also under transparency. Common 8-bit pictures are
// decoded straight into that memory, with no second copy. 1 on success.
int ReadPlatformPictureInto(PlatformPicture *picture, unsigned char *pixels, int64_t width,
                            int64_t height, int64_t pitch);

// Draws the whole picture smoothly scaled to width x height into 4-byte R, G, B, A
// memory (`pitch` bytes per row, top row first), replacing what was there, and
// leaves straight (not premultiplied) colour behind; the scaling works on
// premultiplied colour, so colours under partial transparency may move by a
// step. A picture drawn at another size than its own is used up: its decoded
// copy is freed. 1 on success.
int DrawPlatformPicture(PlatformPicture *picture, unsigned char *pixels, int64_t width,
                        int64_t height, int64_t pitch);

// 16 for a picture of more than 8 bits a channel (a 16-bit PNG or TIFF, a
// 10-bit HEIF handed over as 16 bits), else 8.
int PlatformPictureBits(PlatformPicture *picture);

// The ICC profile of the colours the picture's file describes (an embedded
// profile, or one made from a PNG's gamma and chromaticities); empty for sRGB,
// for none, and for a picture another decoder made.
std::string PlatformPictureIcc(PlatformPicture *picture);

// As DrawPlatformPicture, into 8-byte R, G, B, A memory of 16 bits a channel
// (native order): every bit the picture holds kept; at its own size exactly.
int DrawPlatformPictureDeep(PlatformPicture *picture, uint16_t *pixels, int64_t width,
                            int64_t height, int64_t pitch);

// A picture another decoder made, handed over whole: width x height pixels of
// R, G, B, A, `bits` (8 or 16, native byte order) a channel, straight alpha,
// `pitch` bytes a row, top row first, as it is to be shown. The reader owns
// `pixels` from here on and frees them with std::free, also when it answers
// nullptr.
PlatformPicture *AdoptDecodedPicture(unsigned char *pixels, int64_t width, int64_t height,
                                     int64_t pitch, int bits);

void FreePlatformPicture(PlatformPicture *picture);
