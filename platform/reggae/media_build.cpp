// MediaNewObjectTags (a decoded picture from a file or a web address) and
// MediaBuildFromArgsTags (an encoder behind a port).
#include <cstring>
#include <new>
#include <strings.h>

#include "dos/dos.h"
#include "reggae/picture_classes.h"

using namespace reggae;
using namespace reggae::pictures;

namespace {

// No picture file we read is anywhere near this; anything larger is not
// worth downloading or reading.
constexpr size_t kMaxFileBytes = 128u << 20;
constexpr LONG kChunk = 256 << 10;

// Makes room for one more chunk at the end of out.
LONG Grow(std::vector<uint8_t> &out) {
  if (out.size() >= kMaxFileBytes)
    return MMERR_TOO_LARGE;
  try {
    out.resize(out.size() + kChunk);
  } catch (const std::bad_alloc &) {
    return MMERR_NO_MEMORY;
  }
  return MMERR_OK;
}

LONG ReadWholeFile(CONST_STRPTR name, std::vector<uint8_t> &out) {
  BPTR fh = Open(name, MODE_OLDFILE);
  if (!fh)
    return IoErr() == ERROR_OBJECT_NOT_FOUND || IoErr() == ERROR_DIR_NOT_FOUND ? MMERR_FILE_NOT_FOUND
                                                                              : MMERR_CANNOT_OPEN_FILE;
  LONG result = MMERR_OK;
  // Knowing the size saves growing the buffer step by step.
  if (Seek64(fh, 0, OFFSET_END) >= 0) {
    QUAD size = Seek64(fh, 0, OFFSET_BEGINNING);
    if (size > QUAD(kMaxFileBytes))
      result = MMERR_TOO_LARGE;
    else if (size > 0)
      out.reserve(size_t(size));
  }
  while (result == MMERR_OK) {
    const size_t at = out.size();
    result = Grow(out);
    if (result != MMERR_OK)
      break;
    LONG got = Read(fh, out.data() + at, kChunk);
    if (got < 0) {
      result = MMERR_READ_FAILED;
      got = 0;
    }
    out.resize(at + size_t(got));
    if (got == 0)
      break;
  }
  Close(fh);
  return result;
}

LONG Download(CONST_STRPTR url, std::vector<uint8_t> &out) {
  LONG err = MMERR_OK;
  Object *http = NewObject(nullptr, "http.stream", MMA_StreamURL, url, MMA_ErrorCode, &err);
  if (!http)
    return err != MMERR_OK ? err : MMERR_NOT_SUPPORTED;
  LONG result = MMERR_OK;
  int idle = 0;
  for (;;) {
    const size_t at = out.size();
    result = Grow(out);
    if (result != MMERR_OK)
      break;
    LONG got = LONG(DoMethod(http, MMM_Pull, 0, out.data() + at, kChunk));
    got = got < 0 ? 0 : got > kChunk ? kChunk : got;
    out.resize(at + size_t(got));
    if (got == kChunk)
      continue;
    LONG why = reggae::PortError(http, 0);
    if (why == MMERR_END_OF_DATA)
      break;
    // A short pull without an error just means "call again", but not forever.
    if (why != MMERR_OK || (got == 0 && ++idle > 1000)) {
      result = why != MMERR_OK ? why : MMERR_NETWORK;
      break;
    }
  }
  DisposeObject(http);
  return result;
}

} // namespace

Object *MediaNewObjectTagList(TagItem *tags) {
  auto type = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamType, 0, tags));
  if (GetTagData(MMA_MediaType, MMV_MediaType_Picture, tags) != MMV_MediaType_Picture) {
    SetCreateError(tags, MMERR_NOT_SUPPORTED);
    return nullptr;
  }
  std::vector<uint8_t> file;
  LONG err;
  if (type && std::strcmp(type, "file.stream") == 0) {
    auto name = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamName, 0, tags));
    err = name ? ReadWholeFile(name, file) : MMERR_BAD_ARGUMENTS;
  } else if (type && std::strcmp(type, "http.stream") == 0) {
    auto url = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamURL, 0, tags));
    if (!url)
      url = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamName, 0, tags));
    err = url ? Download(url, file) : MMERR_BAD_ARGUMENTS;
  } else {
    err = type ? MMERR_NOT_SUPPORTED : MMERR_BAD_ARGUMENTS;
  }
  if (err != MMERR_OK) {
    SetCreateError(tags, err);
    return nullptr;
  }
  return NewPictureSource(std::move(file), tags);
}

Object *MediaBuildFromArgsTagList(CONST_STRPTR args, Object *obj, ULONG port, TagItem *tags) {
  if (!args || !obj) {
    SetCreateError(tags, MMERR_BAD_ARGUMENTS);
    return nullptr;
  }
  // The format name is the first word; PNG is the one encoder we have.
  while (*args == ' ' || *args == '\t')
    ++args;
  size_t n = std::strcspn(args, " \t");
  if (n != 3 || strncasecmp(args, "PNG", 3) != 0) {
    SetCreateError(tags, MMERR_UNSUPPORTED_FORMAT);
    return nullptr;
  }
  Object *enc = NewPngEncoder(tags);
  if (!enc)
    return nullptr;
  if (!MediaConnectTagList(obj, port, enc, 0, tags)) {
    DisposeObject(enc);
    return nullptr;
  }
  return enc;
}
