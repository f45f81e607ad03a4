// The one place libpng is used: decoding a PNG file into ARGB bytes.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "dos/dos.h"
#include "exec/exec.h"
#include "mui/render.h"

namespace platform {

bool DecodePNGFile(const std::string &linuxPath, std::vector<uint8_t> &argb, ULONG &width, ULONG &height) {
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(linuxPath.c_str(), "rb"), std::fclose);
  if (!f) return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, f.get())) return false;
  // Icons are small; refuse absurd sizes before allocating.
  if (image.width == 0 || image.height == 0 || image.width > 8192 || image.height > 8192) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_ARGB;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, buf.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  width = image.width;
  height = image.height;
  argb = std::move(buf);
  return true;
}

} // namespace platform

APTR LoadPNGARGB(CONST_STRPTR name, ULONG *width, ULONG *height) {
  if (!name) return nullptr;
  std::string path = platform::ToLinuxPath(name, false);
  std::vector<uint8_t> argb;
  ULONG w = 0, h = 0;
  if (path.empty() || !platform::DecodePNGFile(path, argb, w, h)) return nullptr;
  APTR buf = AllocVec(static_cast<ULONG>(argb.size()), 0);
  if (!buf) return nullptr;
  std::memcpy(buf, argb.data(), argb.size());
  if (width) *width = w;
  if (height) *height = h;
  return buf;
}
