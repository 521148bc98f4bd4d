// Picture resources: icons (complete PNG images at several sizes) and
// bitmaps (pixels, also as a .bmp file image for loading from memory), found
// by id among the resources the program registered
// (platform/win/resources.h).
#pragma once

#include "platform/win/windef.h"

#include <cstddef>
#include <vector>

struct IconImage {
  int size;                  // width and height in pixels
  const unsigned char *png;  // a complete PNG file
  std::size_t pngSize;
};

// Every image of icon resource `id`, smallest first; nullptr when the program
// has no such icon.
const std::vector<IconImage> *FindIconResource(int id);

// The image of icon `id` whose size is the smallest at least `size` pixels,
// else the largest; nullptr when the program has no such icon.
const IconImage *FindIconImage(int id, int size);

struct BitmapResource {
  int width;
  int height;
  int bitsPerPixel;                    // 24
  std::vector<COLORREF> pixels;        // row-major, top row first
  std::vector<unsigned char> bmpFile;  // the same picture as a .bmp file

  COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Bitmap resource `id`, or nullptr when the program has none.
const BitmapResource *FindBitmapResource(int id);
