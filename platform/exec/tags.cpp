#include "exec/tags.h"

struct TagItem *NextTagItem(struct TagItem **tagListPtr) {
  if (!tagListPtr) return nullptr;
  struct TagItem *t = *tagListPtr;
  while (t) {
    switch (t->ti_Tag) {
    case TAG_DONE:
      *tagListPtr = nullptr;
      return nullptr;
    case TAG_IGNORE:
      ++t;
      break;
    case TAG_MORE:
      t = reinterpret_cast<struct TagItem *>(t->ti_Data);
      break;
    case TAG_SKIP:
      t += 1 + t->ti_Data;
      break;
    default:
      *tagListPtr = t + 1;
      return t;
    }
  }
  *tagListPtr = nullptr;
  return nullptr;
}

struct TagItem *FindTagItem(Tag tagValue, const struct TagItem *tagList) {
  struct TagItem *state = const_cast<struct TagItem *>(tagList);
  while (struct TagItem *t = NextTagItem(&state))
    if (t->ti_Tag == tagValue) return t;
  return nullptr;
}

IPTR GetTagData(Tag tagValue, IPTR defaultVal, const struct TagItem *tagList) {
  struct TagItem *t = FindTagItem(tagValue, tagList);
  return t ? t->ti_Data : defaultVal;
}
