// Tag lists: arrays of (tag, data) pairs ending in TAG_DONE.
#pragma once

#include "exec/types.h"

typedef IPTR Tag;

struct TagItem {
  Tag ti_Tag;
  IPTR ti_Data;
};

enum : Tag {
  TAG_DONE = 0,   // end of the list
  TAG_END = 0,
  TAG_IGNORE = 1, // skip this item
  TAG_MORE = 2,   // ti_Data points to another list; this one ends here
  TAG_SKIP = 3,   // skip this item and the next ti_Data items
  TAG_USER = 0x80000000u,
};

// Walks a tag list, following TAG_MORE and honouring TAG_IGNORE/TAG_SKIP.
// *tagListPtr is advanced; returns null at the end.
struct TagItem *NextTagItem(struct TagItem **tagListPtr);
struct TagItem *FindTagItem(Tag tagValue, const struct TagItem *tagList);
IPTR GetTagData(Tag tagValue, IPTR defaultVal, const struct TagItem *tagList);

// Builds a TAG_DONE-terminated array on the caller's stack from pairs:
//   TagArray tags(MUIA_Foo, 1, MUIA_Bar, ptr);  f(tags.items());
// A trailing TAG_DONE in the arguments is allowed and harmless.
template <size_t N> struct TagArray {
  IPTR words[N + 2];
  template <typename... A> explicit TagArray(A... a) : words{ToIPTR(a)..., TAG_DONE, 0} {}
  struct TagItem *items() { return reinterpret_cast<struct TagItem *>(words); }
};
template <typename... A> TagArray(A...) -> TagArray<sizeof...(A)>;
