// Message ports and the list of public ports.
//
// Locks: the list's lock guards the public ports and the hooks; a port's
// mp_Lock guards its queue of messages. Neither is held while the other is
// taken, nor while a hook runs or a task is signalled.
//   CreateMsgPort, DeleteMsgPort  the task that owns the port (its signal
//                                 bit is that task's)
//   AddPort, RemPort, FindPort    any task; the list lock
//   PutMsg, ReplyMsg              any task; the receiving port's mp_Lock,
//                                 then a Signal to the task it belongs to
//   GetMsg                        any task, normally the owner; mp_Lock
//   WaitPort                      the owner only: it waits for its signal
//   SetPublicPortHooks            any task; the list lock
#include <algorithm>
#include <cstring>
#include <vector>

#include "exec/exec.h"

namespace {

struct PublicPorts {
  std::mutex lock;
  std::vector<struct MsgPort *> ports; // by priority, then in order of adding
  std::function<void(struct MsgPort *)> added, removed;
};

PublicPorts &Public() {
  static PublicPorts p;
  return p;
}

} // namespace

struct MsgPort *CreateMsgPort() {
  BYTE sig = AllocSignal(-1);
  if (sig < 0) return nullptr;
  auto *port = new MsgPort{};
  port->mp_Node.ln_Type = NT_MSGPORT;
  port->mp_Flags = PA_SIGNAL;
  port->mp_SigBit = static_cast<UBYTE>(sig);
  port->mp_SigTask = FindTask(nullptr);
  NewList(&port->mp_MsgList);
  return port;
}

void DeleteMsgPort(struct MsgPort *port) {
  if (!port) return;
  RemPort(port); // harmless when it was never added
  if (port->mp_SigTask == FindTask(nullptr)) FreeSignal(static_cast<BYTE>(port->mp_SigBit));
  delete port;
}

void AddPort(struct MsgPort *port) {
  auto &p = Public();
  std::function<void(struct MsgPort *)> hook;
  {
    std::lock_guard g(p.lock);
    if (std::find(p.ports.begin(), p.ports.end(), port) != p.ports.end()) return;
    auto pos = std::find_if(p.ports.begin(), p.ports.end(),
                            [&](struct MsgPort *q) { return q->mp_Node.ln_Pri < port->mp_Node.ln_Pri; });
    p.ports.insert(pos, port);
    hook = p.added;
  }
  if (hook) hook(port);
}

void RemPort(struct MsgPort *port) {
  auto &p = Public();
  std::function<void(struct MsgPort *)> hook;
  {
    std::lock_guard g(p.lock);
    if (std::find(p.ports.begin(), p.ports.end(), port) == p.ports.end()) return;
    hook = p.removed;
  }
  if (hook) hook(port);
  std::lock_guard g(p.lock);
  p.ports.erase(std::remove(p.ports.begin(), p.ports.end(), port), p.ports.end());
}

struct MsgPort *FindPort(CONST_STRPTR name) {
  if (!name) return nullptr;
  auto &p = Public();
  std::lock_guard g(p.lock);
  for (struct MsgPort *q : p.ports)
    if (q->mp_Node.ln_Name && std::strcmp(q->mp_Node.ln_Name, name) == 0) return q;
  return nullptr;
}

namespace {
void Deliver(struct MsgPort *port, struct Message *msg, UBYTE type) {
  {
    std::lock_guard g(port->mp_Lock);
    msg->mn_Node.ln_Type = type;
    AddTail(&port->mp_MsgList, &msg->mn_Node);
  }
  if ((port->mp_Flags & 3) == PA_SIGNAL && port->mp_SigTask) Signal(port->mp_SigTask, 1u << port->mp_SigBit);
}
} // namespace

void PutMsg(struct MsgPort *port, struct Message *msg) {
  if (port && msg) Deliver(port, msg, NT_MESSAGE);
}

struct Message *GetMsg(struct MsgPort *port) {
  if (!port) return nullptr;
  std::lock_guard g(port->mp_Lock);
  return reinterpret_cast<struct Message *>(RemHead(&port->mp_MsgList));
}

void ReplyMsg(struct Message *msg) {
  if (!msg) return;
  if (msg->mn_ReplyPort)
    Deliver(msg->mn_ReplyPort, msg, NT_REPLYMSG);
  else
    msg->mn_Node.ln_Type = NT_REPLYMSG;
}

struct Message *WaitPort(struct MsgPort *port) {
  for (;;) {
    {
      std::lock_guard g(port->mp_Lock);
      if (!IsListEmpty(&port->mp_MsgList)) return reinterpret_cast<struct Message *>(port->mp_MsgList.lh_Head);
    }
    Wait(1u << port->mp_SigBit);
  }
}

namespace platform {
void SetPublicPortHooks(std::function<void(struct MsgPort *)> added, std::function<void(struct MsgPort *)> removed) {
  auto &p = Public();
  std::lock_guard g(p.lock);
  p.added = std::move(added);
  p.removed = std::move(removed);
}
} // namespace platform
