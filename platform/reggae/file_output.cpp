// file.output: writes what it pulls from input port 0 into a file (an
// AmigaDOS name) on its own task. The end of the data, or a failed write,
// ends it and signals the task given with MMM_SignalAtEnd.
#include <algorithm>
#include <atomic>

#include "dos/dos.h"
#include "reggae/media_class.h"
#include "reggae/output_task.h"

namespace {

using namespace reggae;

// What a test leaves of the disk; negative: as much as the disk has.
std::atomic<int64_t> gSpace{-1};

// Write, within the space a test left.
LONG LimitedWrite(BPTR file, const UBYTE *data, LONG len) {
  int64_t space = gSpace.load();
  while (space >= 0) {
    const LONG n = static_cast<LONG>(std::min<int64_t>(space, len));
    if (n == 0) {
      SetIoErr(ERROR_DISK_FULL);
      return -1;
    }
    if (gSpace.compare_exchange_weak(space, space - n)) {
      len = n;
      break;
    }
  }
  return Write(file, data, len);
}

LONG FromDosError(LONG err, LONG fallback) {
  switch (err) {
  case ERROR_DISK_FULL: return MMERR_DISK_FULL;
  case ERROR_OBJECT_NOT_FOUND:
  case ERROR_DIR_NOT_FOUND:
  case ERROR_DEVICE_NOT_MOUNTED: return MMERR_FILE_NOT_FOUND;
  case ERROR_DISK_WRITE_PROTECTED:
  case ERROR_WRITE_PROTECTED: return MMERR_WRITE_PROTECTED;
  case ERROR_NO_FREE_STORE: return MMERR_NO_MEMORY;
  default: return fallback;
  }
}

// Opens the file at creation; writes it on the output task and flushes it
// there at the end, or on the stopping task after a stop. written_ is read
// from any task.
class Writer : public OutputTask {
public:

  Writer() : OutputTask("file.output", true) {}
  ~Writer() override {
    if (file_)
      Close(file_);
  }

  static CONST_STRPTR FileName(TagItem *tags) {
    return reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamName, 0, tags));
  }

  LONG Prepare(TagItem *tags) {
    CONST_STRPTR name = FileName(tags);
    return name && *name ? MMERR_OK : MMERR_BAD_ARGUMENTS;
  }

  LONG Create(Object *o, TagItem *tags) {
    obj_ = o;
    file_ = Open(FileName(tags), MODE_NEWFILE);
    return file_ ? MMERR_OK : FromDosError(IoErr(), MMERR_CANNOT_OPEN_FILE);
  }

private:
  LONG Deliver(UBYTE *data, LONG len) override {
    LONG done = 0;
    while (done < len) {
      // A short write is retried; the retry tells why it failed.
      LONG n = LimitedWrite(file_, data + done, len - done);
      if (n <= 0)
        return FromDosError(IoErr(), MMERR_WRITE_FAILED);
      done += n;
      written_ += n;
    }
    return MMERR_OK;
  }

  LONG Finish(LONG why) override {
    if (Flush(file_) == DOSFALSE && why == MMERR_END_OF_DATA)
      why = FromDosError(IoErr(), MMERR_WRITE_FAILED);
    return why;
  }

  void Stopped() override {
    if (file_)
      Flush(file_);
  }

  bool OwnPort(IPTR attr, IPTR &place) override {
    if (attr != MMA_StreamLength)
      return false;
    place = static_cast<IPTR>(written_.load());
    return true;
  }

  BPTR file_ = 0;
  std::atomic<QUAD> written_{0};
};

} // namespace

void platform::SetFileOutputSpace(int64_t bytes) { gSpace = bytes < 0 ? -1 : bytes; }

namespace {

[[maybe_unused]] IClass *const gClass = MediaClass<Writer, PortLayout::Sink>::Register("file.output");

} // namespace
