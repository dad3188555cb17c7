// The readers behind picture_source.h, one file each. Opening answers 1 when
// the reader took the file (sizes set), 0 when it leaves the file to the next
// reader, -1 when it refuses the file for good (the reason set). Reading and
// finishing follow ReadSourceRows and FinishSource; closing frees the reader's
// state (the descriptor stays the source's).
#pragma once

#include "tone/picture_source.h"

int OpenJpegSource(PictureSource &source);
bool ReadJpegSourceRows(PictureSource &source, unsigned char *const *rows, int64_t count);
bool FinishJpegSource(PictureSource &source);
void CloseJpegSource(PictureSource &source);

int OpenPngSource(PictureSource &source);
bool ReadPngSourceRows(PictureSource &source, unsigned char *const *rows, int64_t count);
bool FinishPngSource(PictureSource &source);
void ClosePngSource(PictureSource &source);

// libheif, libjxl and LibRaw: each decodes a picture it recognises whole and
// hands it to OpenDecodedSource; the rows are then the platform reader's.
int OpenHeifSource(PictureSource &source);
int OpenJxlSource(PictureSource &source);
int OpenRawSource(PictureSource &source);

// Whether a picture of width x height that takes `bytes` to decode may be
// decoded: asked before the decoder allocates. False with the reason set
// ("40000 x 30000 pixels, over the largest side of 32767", "needs about 9.6 GB,
// over the limit") when not.
bool DecodeFits(PictureSource &source, int64_t width, int64_t height, int64_t bytes);

int OpenPlatformSource(PictureSource &source);
// A picture decoded whole by another reader (see AdoptDecodedPicture), as it
// is to be shown: drawn into the box and handed out by the platform reader's
// functions below. Takes `picture`; answers as the openers do.
int OpenDecodedSource(PictureSource &source, struct PlatformPicture *picture);
bool ReadPlatformSourceRows(PictureSource &source, unsigned char *const *rows, int64_t count);
int64_t TakePlatformSourceImage(PictureSource &source);
void ClosePlatformSource(PictureSource &source);

// `length` bytes of the source's file from `offset` on; false when the file
// holds fewer.
bool ReadSourceBytes(const PictureSource &source, void *bytes, int64_t length, int64_t offset);
