// Vector drawing over image memory, used to draw an image rotated or mirrored
// into another image (picture orientation).
//
// ImagePathTarget + OpenPathTarget lay a painter over the image's own pixels,
// treated as premultiplied alpha: coordinates top-left origin, y downwards, one
// unit per pixel; opaque black, normal blending, anti-aliasing on, cursor at
// (0, 0). Drawing stays per thread: a worker may draw into its image while the
// main thread draws into another. Implemented in platform_qt.cpp.
#pragma once

#include <cstdint>

// Prepares a path output over `image`; 0 if the image does not exist.
int64_t ImagePathTarget(int64_t image);
// Starts drawing on the prepared output; 0 if there is none.
int64_t OpenPathTarget(int64_t output);
double PathTargetWidth();
double PathTargetHeight();
void PathTranslate(double dx, double dy);
// Rotation by `angle` degrees about (x, y).
void PathRotate(double x, double y, double angle);
// Mirror about the vertical line at x / the horizontal line at y.
void PathMirrorX(double x);
void PathMirrorY(double y);
void PathMoveTo(double x, double y);
// A closed rectangle added to the current path.
void PathAddRect(double x, double y, double width, double height);
// Intersects the clip with the current path (even-odd) and puts the cursor back
// at (0, 0) with an empty path.
void PathClip();
// Draws `image` with its top-left corner at the cursor, upright in the current
// coordinate system, at width x height (its own size when either is <= 0), with
// opacity alpha / 255. Transforms that only turn by multiples of 90 degrees or
// mirror copy pixels exactly. 1 when drawn, 0 without an open target or image.
int PathDrawImage(int64_t image, int64_t alpha, double width = 0, double height = 0);
// Finishes drawing and tells the image's platform view its pixels changed.
void ClosePathTarget();
