#include <cstdlib>
#include <cstring>

#include "exec/exec.h"

namespace {
// AllocVec keeps the block's size in front of it, aligned for any type.
constexpr size_t kHeader = alignof(std::max_align_t);
} // namespace

APTR AllocVec(ULONG byteSize, ULONG attributes) {
  if (byteSize == 0) return nullptr;
  void *raw = (attributes & MEMF_CLEAR) ? std::calloc(1, kHeader + byteSize) : std::malloc(kHeader + byteSize);
  if (!raw) return nullptr;
  *static_cast<size_t *>(raw) = byteSize;
  return static_cast<char *>(raw) + kHeader;
}

void FreeVec(APTR memoryBlock) {
  if (memoryBlock) std::free(static_cast<char *>(memoryBlock) - kHeader);
}

APTR AllocMem(ULONG byteSize, ULONG attributes) { return AllocVec(byteSize, attributes); }

void FreeMem(APTR memoryBlock, ULONG) { FreeVec(memoryBlock); }

void CopyMem(CONST_APTR source, APTR dest, ULONG size) {
  if (size) std::memmove(dest, source, size);
}
