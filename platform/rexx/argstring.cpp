#include <cstdlib>
#include <cstring>
#include <new>

#include "rexx/rexx.h"

namespace {

// In front of every argstring; 16 bytes keep the text aligned like malloc's.
struct ArgHeader {
  ULONG magic;
  ULONG length;
  ULONG size;
  ULONG pad;
};
constexpr ULONG kArgMagic = 0x52584152; // "RXAR"
constexpr ULONG kMaxArgLength = 0x7FFFFFF0;

ArgHeader *HeaderOf(CONST_STRPTR argstring) {
  return reinterpret_cast<ArgHeader *>(const_cast<char *>(argstring) - sizeof(ArgHeader));
}

const char kRexxName[] = "REXX";

} // namespace

STRPTR CreateArgstring(CONST_STRPTR string, ULONG length) {
  if (length > kMaxArgLength) return nullptr;
  size_t size = sizeof(ArgHeader) + length + 1;
  auto *h = static_cast<ArgHeader *>(std::malloc(size));
  if (!h) return nullptr;
  h->magic = kArgMagic;
  h->length = length;
  h->size = static_cast<ULONG>(size);
  h->pad = 0;
  char *text = reinterpret_cast<char *>(h + 1);
  if (length && string) std::memcpy(text, string, length);
  else if (length) std::memset(text, 0, length);
  text[length] = '\0';
  return text;
}

void DeleteArgstring(STRPTR argstring) {
  if (!argstring) return;
  ArgHeader *h = HeaderOf(argstring);
  h->magic = 0; // a second delete of the same string is then noticeable
  std::free(h);
}

ULONG LengthArgstring(CONST_STRPTR argstring) { return argstring ? HeaderOf(argstring)->length : 0; }

struct RexxMsg *CreateRexxMsg(struct MsgPort *port, CONST_STRPTR extension, CONST_STRPTR host) {
  auto *msg = new (std::nothrow) RexxMsg{};
  if (!msg) return nullptr;
  msg->rm_Node.mn_Node.ln_Type = NT_MESSAGE;
  msg->rm_Node.mn_Node.ln_Name = const_cast<char *>(kRexxName);
  msg->rm_Node.mn_ReplyPort = port;
  msg->rm_Node.mn_Length = sizeof(RexxMsg);
  msg->rm_FileExt = const_cast<STRPTR>(extension);
  msg->rm_CommAddr = const_cast<STRPTR>(host);
  return msg;
}

void DeleteRexxMsg(struct RexxMsg *msg) { delete msg; }

void ClearRexxMsg(struct RexxMsg *msg, ULONG count) {
  if (!msg) return;
  for (ULONG i = 0; i < count && i < 16; ++i) {
    DeleteArgstring(msg->rm_Args[i]);
    msg->rm_Args[i] = nullptr;
  }
}

BOOL IsRexxMsg(const struct RexxMsg *msg) {
  return msg && msg->rm_Node.mn_Node.ln_Name && std::strcmp(msg->rm_Node.mn_Node.ln_Name, kRexxName) == 0;
}
