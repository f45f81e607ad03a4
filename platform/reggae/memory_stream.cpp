// memory.stream: a block of memory given by the caller, as a stream on port 0.
// The block stays the caller's and must outlive the object.
#include <cstring>
#include <mutex>

#include "reggae/media_class.h"

using namespace reggae;

namespace {

struct MemoryStream {
  static constexpr auto kBadPull = BadPull::PassedOn;

  std::mutex lock;
  const uint8_t *data = nullptr;
  size_t length = 0;
  size_t pos = 0;

  LONG Prepare(TagItem *tags) {
    auto handle = reinterpret_cast<const uint8_t *>(GetTagData(MMA_StreamHandle, 0, tags));
    auto len = reinterpret_cast<const QUAD *>(GetTagData(MMA_StreamLength, 0, tags));
    if (!handle || !len || *len < 0 || (*len == 0 && handle == nullptr))
      return MMERR_BAD_ARGUMENTS;
    data = handle;
    length = size_t(*len);
    return MMERR_OK;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    if (port != 0)
      return false;
    if (attr == MMA_StreamLength) {
      place = length;
      return true;
    }
    if (attr == MMA_PortFormat) {
      place = MMFC_STREAM;
      return true;
    }
    return false;
  }

  IPTR Pull(Object *obj, UBYTE *buf, IPTR len) {
    std::lock_guard guard(lock);
    size_t n = std::min<size_t>(len, length - pos);
    if (n)
      std::memcpy(buf, data + pos, n);
    pos += n;
    if (n < len)
      SetPortError(obj, 0, MMERR_END_OF_DATA);
    return n;
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<MemoryStream, PortLayout::Source>::Register("memory.stream");

} // namespace
