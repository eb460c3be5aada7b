// Trees the scene reads from a file for one use. A DynamicRow handle releases nothing when it
// goes, so without this each manager's copy of the level would stay in memory for the run.
#pragma once

#include "param_tree/dynamic_row.h"

// Releases every node of `tree`, which was read into a fresh handle (so its root node has id 1
// and the other top-level nodes follow it), and leaves the handle empty.
inline void ReleaseTree(DynamicRow& tree)
{
    unsigned int id = tree.lastId != 0 ? 1 : 0;
    while (id != 0) {
        unsigned int next = tree.NextId(id);
        if (!tree.DeleteById(id)) break;
        id = next;
    }
    tree.fresh();
}
