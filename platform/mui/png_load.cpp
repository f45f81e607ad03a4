// PNG files as ARGB bytes, for images and icons.
#include <cstring>

#include "clib/png_codec.h"
#include "dos/dos.h"
#include "exec/exec.h"
#include "mui/render.h"

namespace platform {

bool DecodePNGFile(const std::string &linuxPath, std::vector<uint8_t> &argb, ULONG &width, ULONG &height) {
  // Icons are small; absurd sizes are refused before allocating.
  clib::Size size;
  if (!clib::png::ReadFile(linuxPath, 8192, argb, size)) return false;
  width = size.width;
  height = size.height;
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
