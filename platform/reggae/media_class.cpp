#include "reggae/media_class.h"

#include <string>

namespace reggae {

void RegisterMediaLibrary(CONST_STRPTR classID) {
  const std::string id = classID;
  platform::RegisterLibrary(("multimedia/" + id).c_str(), 52, 0, (id + " 52.0").c_str());
}

bool PictureAttribute(IPTR attr, uint32_t width, uint32_t height, IPTR format, IPTR &place) {
  switch (attr) {
  case MMA_Video_Width: place = width; return true;
  case MMA_Video_Height: place = height; return true;
  case MMA_Video_BytesPerRow: place = IPTR(width) * 4; return true;
  case MMA_PortFormat: place = format; return true;
  case MMA_StreamLength: place = IPTR(width) * height * 4; return true;
  default: return false;
  }
}

bool SoundAttribute(IPTR attr, IPTR format, int rate, int channels, IPTR &place) {
  switch (attr) {
  case MMA_PortFormat: place = format; return true;
  case MMA_Sound_SampleRate: place = static_cast<IPTR>(rate); return true;
  case MMA_Sound_Channels: place = static_cast<IPTR>(channels); return true;
  default: return false;
  }
}

} // namespace reggae
