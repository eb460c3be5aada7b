// DynamicRow operations. Every walk is iterative with an explicit stack, so a deep tree (a file
// can nest a million knots) never overflows the call stack.
//
// Index design: each node is allocated inside a NodeBox that also records its tree block, its
// parent knot and (for a knot) its last child. The tree block, shared by every node of one tree
// and so by every copy of a DynamicRow handle, maps ids to nodes and remembers the last
// top-level node. The class itself keeps only its four public members; the block is found
// through the root node. Raw link edits may make links shared or circular, so after one the
// block stops trusting its index and links ("raw" mode): lookups walk the tree as plain
// pre-order searches, walks are bounded by the number of nodes ever made, and released nodes
// are kept allocated (a raw link may still point at them).
#include "param_tree/dynamic_row.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/core/win_path.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <io.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/core/file_stamp.h"   // after windows.h, which it includes too

typedef DynamicRow::NODE_TYP Node;

namespace {

const size_t kMaxName = Zarvik_string::CAPACITY - 1;
const unsigned short kCounterMax = 0xFFFF;

struct TreeBlock;

// The node comes first, so a NODE_TYP pointer is also its box's pointer.
struct NodeBox {
    Node node;
    TreeBlock *block;
    Node *parent;  // parent knot; none for a top-level node
    Node *last;    // last child of a knot; none without children
};
static_assert(std::is_standard_layout<NodeBox>::value, "NodeBox must be standard-layout");

struct TreeBlock {
    std::vector<Node *> byId;  // slot id - base; null for released or never-issued ids
    unsigned int base = 0;
    std::vector<Node *> early; // the few indexed nodes with ids below base, by id
    size_t holes = 0;          // released slots in byId
    size_t holeLimit = 4096;   // holes that make the next release compact byId
    bool indexed = true;       // byId holds exactly the nodes a walk from the root finds
    bool linked = true;        // no raw edits: parent, last and lastTop are right
    Node *lastTop = nullptr;   // last node of the top-level list
    size_t live = 0;           // nodes made and not released
    size_t made = 0;           // nodes ever made; bounds every walk
};

NodeBox *BoxOf(Node *n) { return reinterpret_cast<NodeBox *>(n); }

TreeBlock *BlockOf(const DynamicRow &row) { return row.root ? BoxOf(row.root)->block : nullptr; }

size_t WalkBudget(Node *start) {
    return start ? BoxOf(start)->block->made : 0;
}

// Stops using the id table; lookups walk from the root node from now on.
void DropIndex(TreeBlock *b) {
    b->indexed = false;
    std::vector<Node *>().swap(b->byId);
    std::vector<Node *>().swap(b->early);
    b->holes = 0;
}

const size_t kEarlyMax = 64;

// A tree that releases its oldest nodes (a log dropping old lines) leaves a run of released
// slots at the front of byId. Cut them off: the few live nodes before the cut move to `early`.
// Runs after enough releases that its cost is spread over them.
void CompactIndex(TreeBlock *b) {
    std::vector<Node *> &ids = b->byId;
    size_t lastLive = ids.size();
    for (size_t i = ids.size(); i-- > 0;) {
        if (ids[i]) { lastLive = i; break; }
    }
    size_t cut = 0;
    if (lastLive == ids.size()) {
        cut = ids.size();  // nothing live here: the next id starts the table again
    } else {
        size_t room = b->early.size() < kEarlyMax ? kEarlyMax - b->early.size() : 0;
        size_t moved = 0;
        for (cut = 0; cut < lastLive; ++cut) {
            if (!ids[cut]) continue;
            if (moved == room) break;
            ++moved;
        }
    }
    size_t movedLive = 0;
    for (size_t i = 0; i < cut; ++i) {
        if (ids[i]) { b->early.push_back(ids[i]); ++movedLive; }
    }
    b->holes -= cut - movedLive;
    if (cut == ids.size()) {
        std::vector<Node *>().swap(ids);
    } else {
        ids.erase(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(cut));
        b->base += static_cast<unsigned int>(cut);
        if (ids.capacity() > 2 * ids.size() + 4096) std::vector<Node *>(ids).swap(ids);
    }
    b->holeLimit = b->holes + ids.size() / 2 + 4096;
}

// The early node with `id`, as its place in `early`; early.size() when there is none.
size_t EarlySlot(const TreeBlock *b, unsigned int id) {
    const std::vector<Node *> &e = b->early;
    size_t lo = 0, hi = e.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (e[mid]->id < id) lo = mid + 1; else hi = mid;
    }
    return lo < e.size() && e[lo]->id == id ? lo : e.size();
}

void IndexInsert(TreeBlock *b, Node *n) {
    if (!b->indexed) return;
    unsigned int id = n->id;
    if (b->byId.empty() && id >= b->base) b->base = id;
    if (id < b->base) { DropIndex(b); return; }
    size_t slot = id - b->base;
    // A far jump in ids (lastId set by hand) would make the table huge: walk instead.
    if (slot >= b->byId.size()) {
        if (slot > 4 * (b->byId.size() + b->live) + 4096) { DropIndex(b); return; }
        b->byId.resize(slot + 1 + b->byId.size() / 2, nullptr);
    }
    if (b->byId[slot]) { DropIndex(b); return; }  // copies issued the same id twice
    b->byId[slot] = n;
}

void IndexErase(TreeBlock *b, Node *n) {
    if (!b->indexed) return;
    if (n->id < b->base) {
        size_t at = EarlySlot(b, n->id);
        if (at < b->early.size() && b->early[at] == n)
            b->early.erase(b->early.begin() + static_cast<std::ptrdiff_t>(at));
        return;
    }
    size_t slot = n->id - b->base;
    if (slot < b->byId.size() && b->byId[slot] == n) {
        b->byId[slot] = nullptr;
        if (++b->holes > b->holeLimit) CompactIndex(b);
    }
}

// Stops trusting the index and the parent/last links: the tree is searched by walking.
void GoRaw(TreeBlock *b) {
    DropIndex(b);
    b->linked = false;
}

void SaturatingIncrement(unsigned short &c) { if (c < kCounterMax) ++c; }
void SaturatingDecrement(unsigned short &c) { if (c > 0) --c; }

// Pre-order visit of `start`, the nodes after it by `next`, and the children of every knot.
// `visit` returns false to stop. At most `budget` nodes are visited.
template <typename Visit>
void Walk(Node *start, size_t budget, Visit visit) {
    std::vector<Node *> resume;
    size_t seen = 0;
    Node *n = start;
    while (n) {
        if (++seen > budget) return;
        if (!visit(n)) return;
        if (n->knot && n->top) {
            if (n->next) resume.push_back(n->next);
            n = n->top;
            continue;
        }
        n = n->next;
        if (!n && !resume.empty()) {
            n = resume.back();
            resume.pop_back();
        }
    }
}

// Node with `id` reachable from the root node, or null.
Node *Find(const DynamicRow &row, unsigned int id) {
    if (id == 0 || !row.root) return nullptr;
    TreeBlock *b = BlockOf(row);
    if (b->indexed) {
        if (id < b->base) {
            size_t at = EarlySlot(b, id);
            return at < b->early.size() ? b->early[at] : nullptr;
        }
        size_t slot = id - b->base;
        return slot < b->byId.size() ? b->byId[slot] : nullptr;
    }
    Node *found = nullptr;
    Walk(row.root, b->made, [&](Node *n) {
        if (n->id == id) found = n;  // ids may repeat after raw edits: the last match wins
        return true;
    });
    return found;
}

// Target of the operations where id 0 means the root node.
Node *FindOrRoot(const DynamicRow &row, unsigned int id) { return id ? Find(row, id) : row.root; }

// Parent knot of `n`: follow `back` until a knot whose `top` is the node just left.
Node *ParentOf(Node *n) {
    TreeBlock *b = BoxOf(n)->block;
    if (b->linked) return BoxOf(n)->parent;
    size_t steps = 0;
    for (Node *cur = n; cur->back && steps <= b->made; cur = cur->back, ++steps) {
        if (cur->back->knot && cur->back->top == cur) return cur->back;
    }
    return nullptr;
}

// Last node of the list holding `n`, following `next`.
Node *LastInList(Node *n) {
    TreeBlock *b = BoxOf(n)->block;
    size_t steps = 0;
    while (n->next && steps++ <= b->made) n = n->next;
    return n;
}

Node *NewNode(TreeBlock *b, unsigned int id, bool knot, const char *name, size_t len) {
    NodeBox *box = new (std::nothrow) NodeBox;
    if (!box) return nullptr;
    Node &n = box->node;
    n.id = id;
    if (len > kMaxName) len = kMaxName;
    std::memcpy(n.name.getChars(), name, len);
    n.name.getChars()[len] = 0;
    n.knot = knot ? 1 : 0;
    n.params = 0;
    n.knots = 0;
    n.top = n.next = n.back = nullptr;
    box->block = b;
    box->parent = nullptr;
    box->last = nullptr;
    ++b->live;
    ++b->made;
    IndexInsert(b, &n);
    return &n;
}

// Makes a node for `row`; a block is created for the first node of an empty tree.
Node *MakeNode(DynamicRow &row, bool knot, const char *name, size_t len) {
    if (row.lastId == UINT_MAX) return nullptr;  // no id left: 0 would read as "none"
    TreeBlock *b = BlockOf(row);
    bool fresh = false;
    if (!b) {
        b = new (std::nothrow) TreeBlock;
        if (!b) return nullptr;
        fresh = true;
    }
    Node *n = NewNode(b, row.lastId + 1, knot, name, len);
    if (!n) {
        if (fresh) delete b;
        return nullptr;
    }
    row.lastId = n->id;
    if (knot) ++row.knotsAdded; else ++row.paramsAdded;
    return n;
}

void AppendTopLevel(DynamicRow &row, Node *n) {
    TreeBlock *b = BoxOf(n)->block;
    if (!row.root) {
        row.root = n;
        b->lastTop = n;
        return;
    }
    Node *last = b->linked && b->lastTop ? b->lastTop : LastInList(row.root);
    last->next = n;
    n->back = last;
    b->lastTop = n;
}

// Appends `n` as the last child of knot `k`.
void AppendChild(Node *k, Node *n) {
    TreeBlock *b = BoxOf(k)->block;
    if (!k->top) {
        k->top = n;
        n->back = k;
    } else {
        Node *last = b->linked && BoxOf(k)->last ? BoxOf(k)->last : LastInList(k->top);
        last->next = n;
        n->back = last;
    }
    BoxOf(k)->last = n;
    BoxOf(n)->parent = k;
    if (n->knot) SaturatingIncrement(k->knots); else SaturatingIncrement(k->params);
}

// Appends `n` after the last node of the list that param `p` belongs to.
void AppendSibling(Node *p, Node *n) {
    TreeBlock *b = BoxOf(p)->block;
    if (!b->linked) {
        Node *last = LastInList(p);
        last->next = n;
        n->back = last;
        return;
    }
    Node *parent = BoxOf(p)->parent;
    Node *last = parent ? BoxOf(parent)->last : b->lastTop;
    last->next = n;
    n->back = last;
    BoxOf(n)->parent = parent;
    if (parent) BoxOf(parent)->last = n; else b->lastTop = n;
}

unsigned int AddNode(DynamicRow &row, unsigned int id, bool knot, const char *name, size_t len) {
    Node *target = nullptr;
    if (row.root) {
        target = FindOrRoot(row, id);
        if (!target) return 0;
    }
    Node *n = MakeNode(row, knot, name, len);
    if (!n) return 0;
    if (!target) AppendTopLevel(row, n);
    else if (target->knot) AppendChild(target, n);
    else AppendSibling(target, n);
    return n->id;
}

unsigned int AddNode(DynamicRow &row, unsigned int id, bool knot, const char *name) {
    return AddNode(row, id, knot, name ? name : "", name ? std::strlen(name) : 0);
}

// Releases one node: out of the index, and freed unless raw edits may still link to it.
void Release(Node *n) {
    NodeBox *box = BoxOf(n);
    TreeBlock *b = box->block;
    IndexErase(b, n);
    if (b->live) --b->live;
    if (!b->linked) return;
    delete box;
    if (b->live == 0) delete b;
}

// Every node below `knot`, in pre-order; descends only into knots, as the walks do.
std::vector<Node *> Below(Node *knot) {
    std::vector<Node *> out;
    if (!knot->top) return out;
    Walk(knot->top, WalkBudget(knot), [&](Node *n) {
        out.push_back(n);
        return true;
    });
    return out;
}

// The name search over one list. The first list (from `first`) is walked to its end; lists
// below it also stop at a node whose `back` is not the node before it.
unsigned int SearchList(Node *first, const Zarvik_string &name, bool checkFirstLevel) {
    struct Frame {
        Node *cur;
        Node *prev;
        unsigned int found;  // deeper match remembered for this list
        bool checkBack;
    };
    if (!first) return 0;
    size_t budget = WalkBudget(first), seen = 0;
    std::vector<Frame> stack;
    stack.push_back(Frame{first, nullptr, 0, checkFirstLevel});
    unsigned int result = 0;
    bool finished = false;  // the innermost list has a result to hand to its parent
    while (!stack.empty()) {
        Frame &f = stack.back();
        if (finished) {
            if (result) f.found = result;
            finished = false;
        }
        Node *n = f.cur;
        bool ended = !n || (f.checkBack && f.prev && n->back != f.prev) || ++seen > budget;
        if (!ended && n->name == name) {
            result = n->id;  // a direct match ends this list at once
        } else if (ended) {
            result = f.found;
        } else {
            f.prev = n;
            f.cur = n->next;
            if (n->knot && n->top) stack.push_back(Frame{n->top, nullptr, 0, true});
            continue;
        }
        stack.pop_back();
        finished = true;
    }
    return result;
}

// Appends the record of `n` to `out`; the counts are those of the children written.
bool PutRecord(std::string &out, Node *n, unsigned int params, unsigned int knots) {
    const char *name = n->name.getChars();
    const void *end = std::memchr(name, 0, Zarvik_string::CAPACITY);
    size_t len = end ? static_cast<size_t>(static_cast<const char *>(end) - name) : kMaxName;
    if (params + knots > kCounterMax) return false;  // the 16-bit child count cannot hold it
    unsigned char head[2] = {static_cast<unsigned char>(len & 0xFF),
                             static_cast<unsigned char>(len >> 8)};
    unsigned char tail[5] = {n->knot,
                             static_cast<unsigned char>(params & 0xFF),
                             static_cast<unsigned char>(params >> 8),
                             static_cast<unsigned char>(knots & 0xFF),
                             static_cast<unsigned char>(knots >> 8)};
    out.append(reinterpret_cast<const char *>(head), 2);
    out.append(name, len);
    out.append(reinterpret_cast<const char *>(tail), 5);
    return true;
}

// Writes `start`, its following siblings and their descendants. False on a write error or a
// knot whose children the format cannot count.
bool WriteNodes(FILE *file, Node *start) {
    if (!file) return false;
    std::string buf;
    bool ok = true;
    size_t budget = WalkBudget(start);
    Walk(start, budget, [&](Node *n) {
        unsigned int params = n->params, knots = n->knots;
        if (n->knot && n->top) {
            params = knots = 0;
            size_t steps = 0;
            for (Node *c = n->top; c && steps++ <= budget; c = c->next) {
                if (c->knot) ++knots; else ++params;
            }
        } else if (n->knot) {
            params = knots = 0;
        }
        if (!PutRecord(buf, n, params, knots)) { ok = false; return false; }
        if (buf.size() >= 1 << 16) {
            if (std::fwrite(buf.data(), 1, buf.size(), file) != buf.size()) ok = false;
            buf.clear();
        }
        return ok;
    });
    if (ok && !buf.empty() && std::fwrite(buf.data(), 1, buf.size(), file) != buf.size()) ok = false;
    return ok;
}

bool ReadExact(FILE *file, void *dst, size_t n) { return n == 0 || std::fread(dst, 1, n, file) == n; }

unsigned short U16(const unsigned char *p) {
    return static_cast<unsigned short>(p[0] | (p[1] << 8));
}

// Reads records and adds them. With `count` 0 it reads top-level records (added at id 0) until
// the end of the file; otherwise `count` records with descendants below `parentId`. False when
// the file is malformed: a name longer than 1023 bytes, a file ending inside a record, or
// fewer child records than a knot promises. What was read stays in the tree.
bool ReadRecords(DynamicRow &row, FILE *file, unsigned int parentId, unsigned short count) {
    struct Pending {
        unsigned int parent;
        unsigned int left;
    };
    std::vector<Pending> stack;
    bool topLevel = count == 0;
    if (!topLevel) stack.push_back(Pending{parentId, count});
    char name[Zarvik_string::CAPACITY];
    for (;;) {
        if (!topLevel && stack.empty()) return true;
        unsigned char len16[2];
        size_t got = std::fread(len16, 1, 2, file);
        // A clean end only between top-level records; a read error (a folder) is no end.
        if (got != 2) return stack.empty() && !std::ferror(file);
        size_t len = U16(len16);
        if (len > kMaxName) return false;
        unsigned char rest[5];
        if (!ReadExact(file, name, len) || !ReadExact(file, rest, 5)) return false;
        name[len] = 0;
        bool knot = rest[0] != 0;
        unsigned int parent = stack.empty() ? 0 : stack.back().parent;
        unsigned int id = AddNode(row, parent, knot, name, len);
        if (!id) return false;  // out of memory or ids
        if (!stack.empty()) --stack.back().left;
        unsigned short children = static_cast<unsigned short>(U16(rest + 1) + U16(rest + 3));
        if (knot && children) stack.push_back(Pending{id, children});
        while (!stack.empty() && stack.back().left == 0) stack.pop_back();
    }
}

// "<target>.<process id>.tmp": beside the target, so the rename stays on one file system.
std::string TempNameBeside(const std::string &target) {
#ifdef _WIN32
    unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    return target + "." + std::to_string(pid) + ".tmp";
}

// True when the save may replace `target` whole: a regular file or a name not there yet. A
// link is followed, so the file it names is replaced and the link stays. Anything else (a
// device, a pipe) is written in place.
bool ReplaceableTarget(std::string &target) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(target.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) return true;
    if (S_ISLNK(st.st_mode)) {
        char *real = realpath(target.c_str(), nullptr);
        if (!real) return true;  // a dangling link: replaced by the file
        target = real;
        std::free(real);
        if (stat(target.c_str(), &st) != 0) return true;
    }
    return S_ISREG(st.st_mode);
#endif
}

// Renames `from` over `to`, replacing a file that is there.
bool ReplaceWith(const std::string &from, const std::string &to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Tree files load only from regular files (filestamp::OpenRegular).
FILE *OpenRegularFile(Zarvik_string &path) {
    return filestamp::OpenRegular(winpath::Map(path.getChars()).c_str(), "rb");
}

}  // namespace

DynamicRow::DynamicRow() : lastId(0), knotsAdded(0), paramsAdded(0), root(nullptr) {}

DynamicRow::DynamicRow(const DynamicRow &other)
    : lastId(other.lastId), knotsAdded(other.knotsAdded), paramsAdded(other.paramsAdded),
      root(other.root) {}

DynamicRow::~DynamicRow() {}

DynamicRow &DynamicRow::operator=(DynamicRow const &other) {
    lastId = other.lastId;
    knotsAdded = other.knotsAdded;
    paramsAdded = other.paramsAdded;
    root = other.root;
    return *this;
}

void DynamicRow::fresh() {
    lastId = knotsAdded = paramsAdded = 0;
    root = nullptr;
}

unsigned int DynamicRow::AddKnot(Zarvik_string name) { return AddKnot(name.getChars()); }
unsigned int DynamicRow::AddKnot(char *name) { return AddKnot(static_cast<const char *>(name)); }
unsigned int DynamicRow::AddKnot(const char *name) {
    Node *n = MakeNode(*this, true, name ? name : "", name ? std::strlen(name) : 0);
    if (!n) return 0;
    AppendTopLevel(*this, n);
    return n->id;
}

void DynamicRow::AddParam(Zarvik_string name) {
    Node *n = MakeNode(*this, false, name.getChars(), std::strlen(name.getChars()));
    if (n) AppendTopLevel(*this, n);
}

unsigned int DynamicRow::AddToId(unsigned int id, bool knot, Zarvik_string name) {
    return AddNode(*this, id, knot, name.getChars());
}
unsigned int DynamicRow::AddToId(unsigned int id, bool knot, char *name) {
    return AddNode(*this, id, knot, name);
}
unsigned int DynamicRow::AddToId(unsigned int id, bool knot, const char *name) {
    return AddNode(*this, id, knot, name);
}
unsigned int DynamicRow::AddToId(unsigned int id, Zarvik_string name) {
    return AddNode(*this, id, false, name.getChars());
}
unsigned int DynamicRow::AddToId(unsigned int id, char *name) { return AddNode(*this, id, false, name); }
unsigned int DynamicRow::AddToId(unsigned int id, const char *name) {
    return AddNode(*this, id, false, name);
}

void DynamicRow::AddToIdSeparated(unsigned int id, Zarvik_string text, char sep) {
    AddToIdSeparated(id, static_cast<const char *>(text.getChars()), sep);
}
void DynamicRow::AddToIdSeparated(unsigned int id, char *text, char sep) {
    AddToIdSeparated(id, static_cast<const char *>(text), sep);
}
void DynamicRow::AddToIdSeparated(unsigned int id, const char *text, char sep) {
    if (!text) text = "";
    const char *piece = text;
    for (const char *p = text;; ++p) {
        if (*p == sep || *p == 0) {
            AddNode(*this, id, false, piece, static_cast<size_t>(p - piece));
            if (*p == 0) break;
            piece = p + 1;
        }
    }
}

bool DynamicRow::DeleteById(unsigned int id) {
    if (!root) return false;
    if (id == 0) return true;
    Node *n = Find(*this, id);
    if (!n) return false;
    TreeBlock *b = BoxOf(n)->block;
    Node *parent = ParentOf(n);
    if (parent) {
        if (n->knot) SaturatingDecrement(parent->knots); else SaturatingDecrement(parent->params);
    }
    bool wasRoot = n == root;
    if (wasRoot) {
        root = n->next;
        if (root) root->back = nullptr;
    } else {
        Node *p = n->back;
        if (p && p->knot && p->top == n) p->top = n->next;
        else if (p) p->next = n->next;
        if (n->next) n->next->back = n->back;
    }
    if (b->linked) {
        Node *before = (wasRoot || n->back == parent) ? nullptr : n->back;
        if (parent && BoxOf(parent)->last == n) BoxOf(parent)->last = before;
        if (!parent && b->lastTop == n) b->lastTop = before;
    }
    if (n->knot) DestroyKnot(n);
    Release(n);
    return true;
}

bool DynamicRow::iChangeById(unsigned int id, Zarvik_string name) {
    Node *n = Find(*this, id);
    if (!n) return false;
    n->name = name;
    return true;
}

bool DynamicRow::iChangeKnot(unsigned int id, bool knot) {
    Node *n = Find(*this, id);
    if (!n) return false;
    unsigned char flag = knot ? 1 : 0;
    // Walks descend only into knots: hiding or showing children changes what they reach.
    if (n->top && n->knot != flag) DropIndex(BoxOf(n)->block);
    n->knot = flag;
    return true;
}

bool DynamicRow::isKnot(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->knot;
}

bool DynamicRow::chkById(unsigned int id) { return Find(*this, id) != nullptr; }

Zarvik_string DynamicRow::iLookName(unsigned int id) {
    Node *n = Find(*this, id);
    if (n) return n->name;
    Zarvik_string none;
    none = "none";
    return none;
}

unsigned int DynamicRow::iLookId(Zarvik_string name) { return SearchList(root, name, false); }
unsigned int DynamicRow::iLookId(char *name) { return iLookId(static_cast<const char *>(name)); }
unsigned int DynamicRow::iLookId(const char *name) {
    Zarvik_string s;
    s = name;
    return SearchList(root, s, false);
}

unsigned int DynamicRow::iLookInFor(unsigned int id, Zarvik_string name) {
    Node *n = FindOrRoot(*this, id);
    return n ? SearchList(n->top, name, false) : 0;
}
unsigned int DynamicRow::iLookInFor(unsigned int id, char *name) {
    return iLookInFor(id, static_cast<const char *>(name));
}
unsigned int DynamicRow::iLookInFor(unsigned int id, const char *name) {
    Zarvik_string s;
    s = name;
    return iLookInFor(id, s);
}

unsigned int DynamicRow::iCountParams(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->knot && n->top ? n->params : 0;
}

unsigned int DynamicRow::iCountKnots(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->knot && n->top ? n->knots : 0;
}

bool DynamicRow::iTakeParams(unsigned int id, unsigned int n, Zarvik_string *out) {
    Node *k = FindOrRoot(*this, id);
    if (!k || !k->knot || !k->top || k->params < 1 || k->params < n || n < 1) return false;
    Node *c = k->top;
    for (unsigned int i = 1; i < n && c; ++i) c = c->next;
    if (!c) return false;
    if (out) *out = c->name;
    return true;
}

unsigned int DynamicRow::iLookParamId(unsigned int id, unsigned int n, bool wantKnots) {
    Node *k = FindOrRoot(*this, id);
    if (!k || !k->knot || !k->top || k->params < 1) return 0;
    if (static_cast<unsigned int>(k->params) + k->knots < n || n == 0) return 0;
    size_t budget = WalkBudget(k), steps = 0;
    unsigned int seen = 0;
    for (Node *c = k->top; c && steps++ <= budget; c = c->next) {
        if ((c->knot != 0) == wantKnots && ++seen == n) return c->id;
    }
    return 0;
}

unsigned int DynamicRow::TopId(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->top ? n->top->id : 0;
}

unsigned int DynamicRow::NextId(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->next ? n->next->id : 0;
}

unsigned int DynamicRow::PrevId(unsigned int id) {
    Node *n = Find(*this, id);
    return n && n->back ? n->back->id : 0;
}

bool DynamicRow::LinkNextToId(unsigned int a, unsigned int b) {
    Node *na = Find(*this, a), *nb = Find(*this, b);
    if (!na || !nb) return false;
    GoRaw(BoxOf(na)->block);
    na->next = nb;
    return true;
}

bool DynamicRow::LinkBackToId(unsigned int a, unsigned int b) {
    Node *na = Find(*this, a), *nb = Find(*this, b);
    if (!na || !nb) return false;
    GoRaw(BoxOf(na)->block);
    na->back = nb;
    return true;
}

bool DynamicRow::LinkTopToId(unsigned int a, unsigned int b) {
    Node *na = Find(*this, a), *nb = Find(*this, b);
    if (!na || !nb) return false;
    GoRaw(BoxOf(na)->block);
    if (na->knot && na->top) DestroyKnot(na);
    na->top = nb;
    na->knot = 1;
    na->params = 0;
    return true;
}

// The whole tree goes to a temporary file beside the target, which replaces the target only
// once complete: a failed save leaves the previous file as it was.
bool DynamicRow::iSaveToFile(Zarvik_string path) {
    std::string target = winpath::Map(path.getChars());
    if (target.empty()) return false;
    bool replace = ReplaceableTarget(target);
    std::string temp = replace ? TempNameBeside(target) : target;
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool empty = root == nullptr;
    bool written = empty || WriteNodes(f, root);
    if (std::fflush(f) != 0 || std::ferror(f)) written = false;
    if (std::fclose(f) != 0) written = false;  // buffered data that cannot be written fails here
    if (replace && (!written || !ReplaceWith(temp, target))) {
        int reason = errno;   // what failed, not the clean-up
        std::remove(temp.c_str());
        errno = reason;
        return false;
    }
    return written && !empty;  // an empty tree leaves an empty file and reports false
}

bool DynamicRow::iLoadFromFile(Zarvik_string path) {
    FILE *f = OpenRegularFile(path);
    if (!f) return false;
    bool ok = ReadRecords(*this, f, 0, 0);
    std::fclose(f);
    return ok;
}

void DynamicRow::WriteToFile(FILE *file, NODE_TYP *node) {
    if (node) WriteNodes(file, node);
}

void DynamicRow::ReadFromFile(FILE *file, unsigned int parentId, unsigned short count) {
    if (file && count) ReadRecords(*this, file, parentId, count);
}

void DynamicRow::GetById(unsigned int id, NODE_TYP *start, NODE_TYP **out) {
    if (!start || !out) return;
    if (start == root && BoxOf(start)->block->indexed) {
        if (Node *n = Find(*this, id)) *out = n;
        return;
    }
    Walk(start, WalkBudget(start), [&](Node *n) {
        if (n->id == id) *out = n;
        return true;
    });
}

bool DynamicRow::chkId(unsigned int id, NODE_TYP *start) {
    Node *found = nullptr;
    GetById(id, start, &found);
    return found != nullptr;
}

unsigned int DynamicRow::iLookId_Knot(NODE_TYP *knot, Zarvik_string name) {
    return knot ? SearchList(knot->top, name, true) : 0;
}

bool DynamicRow::DestroyKnot(NODE_TYP *knot) {
    if (!knot || !knot->knot || !knot->top) return false;
    std::vector<Node *> below = Below(knot);
    // Children go before their knots; the walk order is pre-order, so release in reverse.
    for (size_t i = below.size(); i-- > 0;) Release(below[i]);
    return true;
}
