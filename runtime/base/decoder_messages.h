// What a decoder library prints on standard error while the calling thread is
// inside it, kept for that thread instead of printed. For libraries that print
// with no switch to stop them: Debian's libjxl 0.7 prints every failure it meets
// ("./lib/jxl/dec_frame.cc:644: JXL_FAILURE: Error in DC group"), the AV1
// decoder behind libheif what it finds wrong in a stream, libtiff behind the
// platform's TIFF plug-in its warnings; a damaged file among many must not put
// lines nobody can place into the output.
//
// The catching sits in front of the C library's fortified vfprintf and fprintf,
// the calls those libraries print with; text other threads print, and text
// printed on this thread outside a catch, goes through unchanged.
#pragma once

#include <string>

// While one lives, standard-error text printed on the constructing thread
// collects in `text` (its first 4096 bytes). Catches nest; the innermost keeps
// the text.
struct DecoderMessages {
    std::string text;
    DecoderMessages *outer = nullptr;

    DecoderMessages();
    ~DecoderMessages();
    DecoderMessages(const DecoderMessages &) = delete;
    DecoderMessages &operator=(const DecoderMessages &) = delete;
};

// The first line a decoder printed on this thread into any catch since the last
// call (at most 200 bytes), and the slate wiped: for a file that no reader
// takes and that has no reason of its own, what its decoder found wrong.
// Empty when none printed.
std::string TakeFirstDecoderLine();
