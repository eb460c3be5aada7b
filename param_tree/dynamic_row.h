// DynamicRow: a tree of named nodes addressed by unsigned ids, and its binary file format.
// A knot has children; a param is a leaf whose name is its value. Id 0 means "none", and for
// the add and search-below operations the root node. A missing node's name reads as "none".
// A DynamicRow is a handle: copies share the nodes and see each other's changes. Nodes are
// allocated and released only inside this library; the destructor and fresh() release nothing.
// Lookup by id and appending a child take constant time through an index that the shared nodes
// carry; raw link edits switch that tree to plain walks.
#pragma once

#include <cstdio>

#include "strings/zarvik_string.h"

#if defined(_WIN32)
#if defined(DYNROWS_BUILDING)
#define DYNROWS_API __declspec(dllexport)
#else
#define DYNROWS_API __declspec(dllimport)
#endif
#else
#define DYNROWS_API __attribute__((visibility("default")))
#endif

class DYNROWS_API DynamicRow {
public:
    struct NODE_TYP {
        unsigned int id;        // unique within the tree, issued from 1
        Zarvik_string name;     // a knot's name or a param's value
        unsigned char knot;     // 1 knot, 0 param
        unsigned short params;  // param children of a knot (stays at 65535 once there)
        unsigned short knots;   // knot children of a knot (stays at 65535 once there)
        NODE_TYP *top;          // first child; none for a param or a knot without children
        NODE_TYP *next;         // next sibling; none at the end of a list
        NODE_TYP *back;         // previous sibling, the parent for a first child, none for root
    };

    unsigned int lastId;       // id most recently issued; 0 in a new tree
    unsigned int knotsAdded;   // knots created by the add operations
    unsigned int paramsAdded;  // params created by the add operations
    NODE_TYP *root;            // first node of the top-level list; none when empty

    DynamicRow();
    DynamicRow(const DynamicRow &other);  // shares the nodes
    ~DynamicRow();
    DynamicRow &operator=(DynamicRow const &other);  // shares the nodes
    void fresh();  // empty handle; the nodes are forgotten, not released

    // Adding. Each `char *` form has a const twin for literals; both behave alike.
    unsigned int AddKnot(Zarvik_string name);
    unsigned int AddKnot(char *name);
    unsigned int AddKnot(const char *name);
    void AddParam(Zarvik_string name);
    // Adds below a knot (as its last child) or after the last sibling of a param; id 0 targets
    // the root node, and an empty tree takes the node as its root. New id, 0 for an absent id.
    unsigned int AddToId(unsigned int id, bool knot, Zarvik_string name);
    unsigned int AddToId(unsigned int id, bool knot, char *name);
    unsigned int AddToId(unsigned int id, bool knot, const char *name);
    unsigned int AddToId(unsigned int id, Zarvik_string name);  // a param
    unsigned int AddToId(unsigned int id, char *name);          // a param
    unsigned int AddToId(unsigned int id, const char *name);    // a param
    // One param per piece of `text` cut at every `sep`; empty pieces give empty params.
    void AddToIdSeparated(unsigned int id, Zarvik_string text, char sep);
    void AddToIdSeparated(unsigned int id, char *text, char sep);
    void AddToIdSeparated(unsigned int id, const char *text, char sep);

    // Removes the node and its subtree. False for an empty tree or an absent id; true for 0.
    bool DeleteById(unsigned int id);
    bool iChangeById(unsigned int id, Zarvik_string name);
    bool iChangeKnot(unsigned int id, bool knot);  // flag only; children and counters stay
    bool isKnot(unsigned int id);
    bool chkById(unsigned int id);

    Zarvik_string iLookName(unsigned int id);  // "none" for 0 or an absent id
    // Name search: a match in the list being walked wins over deeper ones; among deeper
    // matches the last one found wins.
    unsigned int iLookId(Zarvik_string name);
    unsigned int iLookId(char *name);
    unsigned int iLookId(const char *name);
    unsigned int iLookInFor(unsigned int id, Zarvik_string name);
    unsigned int iLookInFor(unsigned int id, char *name);
    unsigned int iLookInFor(unsigned int id, const char *name);
    unsigned int iCountParams(unsigned int id);
    unsigned int iCountKnots(unsigned int id);
    // Name of the n-th child (from 1, every kind counts) of a knot with params >= n.
    bool iTakeParams(unsigned int id, unsigned int n, Zarvik_string *out);
    // Id of the n-th child (from 1) of the asked kind.
    unsigned int iLookParamId(unsigned int id, unsigned int n, bool wantKnots);
    unsigned int TopId(unsigned int id);
    unsigned int NextId(unsigned int id);
    unsigned int PrevId(unsigned int id);

    // Raw link edits; after one, the tree no longer uses its index and released nodes are kept
    // allocated, so shared or circular links never lead to freed memory. Walks over such links
    // stop after as many steps as the tree ever had nodes.
    bool LinkNextToId(unsigned int a, unsigned int b);
    bool LinkBackToId(unsigned int a, unsigned int b);
    bool LinkTopToId(unsigned int a, unsigned int b);

    // Tree files: records of name length (u16), name bytes, knot flag (u8), param count (u16)
    // and knot count (u16), little-endian, in pre-order. Saving fails on an unopenable path, an
    // empty tree, a write error or a knot with more than 65535 children (errno then tells why
    // the file could not be opened or written); loading adds to the tree and fails only on an
    // unopenable path or a malformed file, keeping what was read.
    bool iSaveToFile(Zarvik_string path);
    bool iLoadFromFile(Zarvik_string path);
    // Writes `node`, its following siblings and all their descendants at the stream position.
    void WriteToFile(FILE *file, NODE_TYP *node);
    // Reads `count` records with their descendants as children of `parentId`.
    void ReadFromFile(FILE *file, unsigned int parentId, unsigned short count);

protected:
    // Pre-order search from `start` along `next`; stores the match in *out, else leaves it.
    void GetById(unsigned int id, NODE_TYP *start, NODE_TYP **out);
    bool chkId(unsigned int id, NODE_TYP *start);
    // Name search among the children of `knot` and below.
    unsigned int iLookId_Knot(NODE_TYP *knot, Zarvik_string name);
    // Releases everything below `knot`; false for a param or a knot without children.
    bool DestroyKnot(NODE_TYP *knot);
};
