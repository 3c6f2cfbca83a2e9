/* Doubly linked lists with head and tail sentinels folded into the header. */
#include "exec_internal.h"

#include <cstring>

namespace ov::exec {

void newList(struct List *list)
{
    list->lh_Head = reinterpret_cast<struct Node *>(&list->lh_Tail);
    list->lh_Tail = nullptr;
    list->lh_TailPred = reinterpret_cast<struct Node *>(&list->lh_Head);
}

/* The list header doubles as the first and last node: its head pointer is
 * the successor field of a node at &lh_Head, and lh_Tail/lh_TailPred are the
 * successor and predecessor fields of a node at &lh_Tail. */
static struct Node *headNode(struct List *list)
{
    return reinterpret_cast<struct Node *>(&list->lh_Head);
}
static struct Node *tailNode(struct List *list)
{
    return reinterpret_cast<struct Node *>(&list->lh_Tail);
}

void addTail(struct List *list, struct Node *node)
{
    struct Node *last = list->lh_TailPred;
    node->ln_Succ = tailNode(list);
    node->ln_Pred = last;
    last->ln_Succ = node;
    list->lh_TailPred = node;
}

void addHead(struct List *list, struct Node *node)
{
    struct Node *first = list->lh_Head;
    node->ln_Succ = first;
    node->ln_Pred = headNode(list);
    first->ln_Pred = node;
    list->lh_Head = node;
}

void remove(struct Node *node)
{
    if (node->ln_Succ == nullptr || node->ln_Pred == nullptr)
        return; /* not on a list */
    node->ln_Pred->ln_Succ = node->ln_Succ;
    node->ln_Succ->ln_Pred = node->ln_Pred;
    node->ln_Succ = nullptr;
    node->ln_Pred = nullptr;
}

struct Node *remHead(struct List *list)
{
    struct Node *first = list->lh_Head;
    if (first->ln_Succ == nullptr)
        return nullptr; /* empty: the head is the tail sentinel */
    remove(first);
    return first;
}

struct Node *findName(struct List *list, CONST_STRPTR name)
{
    for (struct Node *node = list->lh_Head; node->ln_Succ != nullptr; node = node->ln_Succ) {
        if (node->ln_Name != nullptr && std::strcmp(node->ln_Name, name) == 0)
            return node;
    }
    return nullptr;
}

} // namespace ov::exec
