#include "exec/exec.h"

#include <cstring>

void NewList(struct List *list) {
  list->lh_Head = reinterpret_cast<struct Node *>(&list->lh_Tail);
  list->lh_Tail = nullptr;
  list->lh_TailPred = reinterpret_cast<struct Node *>(&list->lh_Head);
}

void AddHead(struct List *list, struct Node *node) {
  node->ln_Succ = list->lh_Head;
  node->ln_Pred = reinterpret_cast<struct Node *>(&list->lh_Head);
  list->lh_Head->ln_Pred = node;
  list->lh_Head = node;
}

void AddTail(struct List *list, struct Node *node) {
  node->ln_Succ = reinterpret_cast<struct Node *>(&list->lh_Tail);
  node->ln_Pred = list->lh_TailPred;
  list->lh_TailPred->ln_Succ = node;
  list->lh_TailPred = node;
}

void Insert(struct List *list, struct Node *node, struct Node *pred) {
  if (!pred) {
    AddHead(list, node);
    return;
  }
  if (!pred->ln_Succ) { // pred is the list's tail marker
    AddTail(list, node);
    return;
  }
  node->ln_Succ = pred->ln_Succ;
  node->ln_Pred = pred;
  pred->ln_Succ->ln_Pred = node;
  pred->ln_Succ = node;
}

void Enqueue(struct List *list, struct Node *node) {
  struct Node *n = list->lh_Head;
  while (n->ln_Succ && n->ln_Pri >= node->ln_Pri) n = n->ln_Succ;
  // insert before n
  node->ln_Succ = n;
  node->ln_Pred = n->ln_Pred;
  n->ln_Pred->ln_Succ = node;
  n->ln_Pred = node;
}

struct Node *RemHead(struct List *list) {
  struct Node *n = list->lh_Head;
  if (!n->ln_Succ) return nullptr;
  Remove(n);
  return n;
}

struct Node *RemTail(struct List *list) {
  struct Node *n = list->lh_TailPred;
  if (!n->ln_Pred) return nullptr;
  Remove(n);
  return n;
}

void Remove(struct Node *node) {
  node->ln_Pred->ln_Succ = node->ln_Succ;
  node->ln_Succ->ln_Pred = node->ln_Pred;
}

struct Node *FindName(struct List *start, CONST_STRPTR name) {
  if (!start || !name) return nullptr;
  // start may be a list header or a node: either way its ln_Succ/lh_Head is the first candidate.
  for (struct Node *n = start->lh_Head; n && n->ln_Succ; n = n->ln_Succ)
    if (n->ln_Name && std::strcmp(n->ln_Name, name) == 0) return n;
  return nullptr;
}
