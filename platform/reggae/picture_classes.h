// The picture classes behind MediaNewObjectTags and MediaBuildFromArgsTags,
// which are not made by class name from outside.
#pragma once

#include <vector>

#include "reggae/picture_decode.h"
#include "reggae/reggae.h"

namespace reggae::pictures {

// A source that decodes the file bytes on port 0 as ARGB32. Reads the
// picture's headers now: fails (the MMA_ErrorCode place of tags filled) for
// data that is no picture we read, or one too large to hold.
Object *NewPictureSource(std::vector<uint8_t> &&file, struct TagItem *tags);

// A filter taking ARGB32 on port 0 and giving a PNG file's bytes on port 1.
Object *NewPngEncoder(struct TagItem *tags);

LONG MediaErrorOf(PictureError e);

} // namespace reggae::pictures
