#include "res/program_resources.h"

#include "res/resource.h"

#include <algorithm>

// Generated at build time from res/icons/quavix-<size>.png.
extern const std::vector<IconImage> &QuavixIconImages();

namespace {

void PutLE(std::vector<unsigned char> &out, std::size_t at, unsigned value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A 24-bit bottom-up .bmp file of the picture; rows padded to four bytes.
std::vector<unsigned char> EncodeBmp(const BitmapResource &b) {
  const std::size_t stride = (static_cast<std::size_t>(b.width) * 3 + 3) & ~std::size_t{3};
  const std::size_t headers = 14 + 40;
  std::vector<unsigned char> out(headers + stride * b.height, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutLE(out, 2, static_cast<unsigned>(out.size()), 4);
  PutLE(out, 10, static_cast<unsigned>(headers), 4);
  PutLE(out, 14, 40, 4);
  PutLE(out, 18, static_cast<unsigned>(b.width), 4);
  PutLE(out, 22, static_cast<unsigned>(b.height), 4);
  PutLE(out, 26, 1, 2);
  PutLE(out, 28, 24, 2);
  PutLE(out, 34, static_cast<unsigned>(stride * b.height), 4);
  PutLE(out, 38, 2835, 4);  // 72 dpi
  PutLE(out, 42, 2835, 4);
  for (int y = 0; y < b.height; ++y) {
    std::size_t row = headers + stride * (b.height - 1 - y);
    for (int x = 0; x < b.width; ++x) {
      COLORREF c = b.At(x, y);
      out[row + 3 * x] = GetBValue(c);
      out[row + 3 * x + 1] = GetGValue(c);
      out[row + 3 * x + 2] = GetRValue(c);
    }
  }
  return out;
}

// The face of the rounded push button: a light vertical gradient inside a
// grey one-pixel outline whose corners are rounded. Pixels outside the
// rounded outline take the dialog background so the corners do not show.
BitmapResource MakeButtonFace() {
  constexpr int W = 116, H = 21, R = 3;
  constexpr COLORREF kOutline = RGB(153, 153, 153);
  constexpr COLORREF kBackground = RGB(240, 240, 240);
  BitmapResource b{W, H, 24, std::vector<COLORREF>(W * H), {}};

  auto inside = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= W || y >= H) return false;
    // Distance from the pixel's centre to the nearest corner circle's centre.
    double cx = std::clamp(x + 0.5, double(R), double(W - R));
    double cy = std::clamp(y + 0.5, double(R), double(H - R));
    double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
    return dx * dx + dy * dy <= double(R) * R;
  };
  for (int y = 0; y < H; ++y) {
    // Top inner row 254, bottom inner row 220, linear in between.
    int inner = std::clamp(y, 1, H - 2) - 1;
    int level = 254 - (34 * inner + (H - 3) / 2) / (H - 3);
    for (int x = 0; x < W; ++x) {
      COLORREF c;
      if (!inside(x, y))
        c = kBackground;
      else if (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1))
        c = kOutline;
      else
        c = RGB(BYTE(level), BYTE(level), BYTE(level));
      b.pixels[y * W + x] = c;
    }
  }
  b.bmpFile = EncodeBmp(b);
  return b;
}

}  // namespace

const std::vector<IconImage> *ProgramIcon(int id) {
  return id == IDI_QUAVIX ? &QuavixIconImages() : nullptr;
}

const BitmapResource *ProgramBitmap(int id) {
  if (id != IDB_BUTTON_FACE) return nullptr;
  static const BitmapResource face = MakeButtonFace();
  return &face;
}
